// The title screen and the title movies.
#pragma once

#include "object/go_base.h"

#include <cstdint>

enum WndDemoMode : std::int32_t {
    WNDDEMO_TITLE = 0,
    WNDDEMO_MOVIE = 1,
};

class GoWndDemo : public GoBase {
public:
    GoWndDemo() : GoBase(go_next_object_id(GO_CLASS_WNDDEMO), GO_CLASS_WNDDEMO) {}

    WndDemoMode mode = WNDDEMO_TITLE;
    std::int32_t next_scene = 0; // the scene-list entry that follows
};
