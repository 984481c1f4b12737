// The time-attack board with the leaderboard browser.
#pragma once

#include "object/go_base.h"

class GoWndZzz : public GoBase {
public:
    GoWndZzz() : GoBase(go_next_object_id(GO_CLASS_WNDZZZ), GO_CLASS_WNDZZZ) {}
};
