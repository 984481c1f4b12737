// Choice dialogs and message boxes; two can be open at once, the newer one takes the input.
#pragma once

#include "object/go_base.h"

#include <cstdint>

constexpr int WNDDIALOG_ENTRIES = 18; // the title and 17 selectable entries
constexpr int WNDDIALOG_TEXT_SIZE = 256;

struct WndDialogEntry {
    char text[WNDDIALOG_TEXT_SIZE];
    float x;
    float y;
    float height;
};

class GoWndDialog : public GoBase {
public:
    GoWndDialog() : GoBase(go_next_object_id(GO_CLASS_WNDDIALOG), GO_CLASS_WNDDIALOG) {}

    WndDialogEntry entries[WNDDIALOG_ENTRIES] = {}; // entry 0: the title, and the dialog's place
    std::uint8_t shown = 0;
    std::uint32_t show_time = 0; // the frame clock's milliseconds when it was shown
    std::uint8_t active = 0;
    std::uint8_t focus = 0; // written by the tick before each update
    std::uint8_t close_request = 0;
    std::uint8_t done = 0;
    float fade = 0.0f;
};
