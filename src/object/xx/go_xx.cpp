#include "object/xx/go_xx.h"

std::int32_t g_goxx_live_count[GOXX_SUBTYPE_COUNT] = {};

GoXx::GoXx() : GoBase(go_next_object_id(GO_CLASS_XX), GO_CLASS_XX) {}

GoXx::~GoXx()
{
    if (role < GOXX_SUBTYPE_COUNT) --g_goxx_live_count[role];
}

void goxx_set_subtype(GoXx& object, GoXxSubtype subtype)
{
    object.role = subtype;
    ++g_goxx_live_count[subtype];
}
