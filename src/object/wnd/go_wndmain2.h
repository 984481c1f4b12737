// The camp menu, and the save, load and options pages the title opens through it.
#pragma once

#include "object/go_base.h"

#include <cstdint>

enum Main2Mode : std::int32_t {
    MAIN2_MODE_CAMP = 0,
    MAIN2_MODE_SAVE = 1,
};

class GoWndMain2 : public GoBase {
public:
    GoWndMain2() : GoBase(go_next_object_id(GO_CLASS_WNDMAIN2), GO_CLASS_WNDMAIN2) {}

    std::uint8_t close_request = 0;
};
