#include "object/go_script.h"

std::int32_t g_event_lock_count[EVENT_LOCK_MODES] = {};
