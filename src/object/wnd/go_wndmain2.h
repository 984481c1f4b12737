// The camp menu, and the save, load and options pages the title opens through it. The shop runs
// on the same panel framework: both read the input on whole ticks, ignore it for the first two
// ticks after opening, and take it from everything behind them while they stay open.
#pragma once

#include "lowlv/input/input_state.h"
#include "object/go_base.h"

#include <cstdint>

enum Main2Mode : std::int32_t {
    MAIN2_MODE_CAMP = 0,
    MAIN2_MODE_SAVE = 1,
    MAIN2_MODE_TITLE_LOAD = 2,
    MAIN2_MODE_TITLE_OPTIONS = 4,
};

// The page number all panels share; this one closes the menu.
constexpr std::int32_t MENU_PAGE_CLOSE = -1;
// The ticks after opening whose input the panels never see: the key that opened the menu cannot
// also choose in it.
constexpr std::int32_t MENU_DEAF_TICKS = 2;
constexpr std::int32_t MENU_SOUND_CANCEL = 1;

class GoWndMain2 : public GoBase {
public:
    GoWndMain2() : GoBase(go_next_object_id(GO_CLASS_WNDMAIN2), GO_CLASS_WNDMAIN2) {}

    // Opens on the mode's start page (modes outside the table: the camp menu's). The first three
    // pictures of the gallery are unlocked when the first is not yet.
    void Open(std::int32_t mode);
    // A close request kills it. On whole ticks the panels run; while the menu stays open the
    // status is recomputed and the input is taken from the world.
    void Update() override;
    // False once the menu closed this tick. Cancel closes it: the matching equipment set is
    // noted, the time-attack clocks restart, the camp-menu bit is cleared and it dies.
    bool RunPanels();

    std::uint8_t close_request = 0;
    std::int32_t mode = MAIN2_MODE_CAMP;
    std::int32_t page = 0;
    std::int32_t tick_count = 0; // whole ticks since opening, up to MENU_DEAF_TICKS
};

// What the panels see this tick: the current input record, or nothing while the menu is still
// deaf (which counts the tick).
InputRecord menu_panel_input(std::int32_t& tick_count);
// After the panels of a menu that stays open: the whole status is recomputed, and the direction,
// magnitude, button and step words of the input record are cleared for what runs behind it.
void menu_after_panels();
