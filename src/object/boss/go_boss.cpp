#include "object/boss/go_boss.h"

GoBoss::GoBoss(std::uint8_t class_code) : GoBase(go_next_object_id(class_code), class_code) {}
