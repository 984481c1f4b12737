// The message window of the event scripts.
#pragma once

#include "object/go_base.h"

#include <cstdint>

class GoWndText : public GoBase {
public:
    GoWndText() : GoBase(go_next_object_id(GO_CLASS_WNDTEXT), GO_CLASS_WNDTEXT) {}

    std::int32_t face_set = 0; // -1: no face
    std::int32_t face_index = 0;
    float fade = 0.0f; // 1.0 while fully shown
    std::uint8_t show_request = 0;
    std::uint8_t close_request = 0;
    std::uint8_t done = 0; // the player dismissed the last page
};
