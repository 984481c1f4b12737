// The shops and the blacksmith.
#pragma once

#include "object/go_base.h"

#include <cstdint>

enum ShopKind : std::int32_t {
    SHOP_KIND_FIRST = 0, // 0-3: the four shops
    SHOP_KIND_BLACKSMITH = 4,
};

class GoWndShop2 : public GoBase {
public:
    GoWndShop2() : GoBase(go_next_object_id(GO_CLASS_WNDSHOP2), GO_CLASS_WNDSHOP2) {}

    // Opens the kind's shop on its start page: the blacksmith's upgrades, else the buy list.
    void Open(std::int32_t kind);
    // As the camp menu's: a close request kills it; on whole ticks the panels run, and while the
    // shop stays open the status is recomputed and the input taken from the world.
    void Update() override;
    // False once the shop closed this tick: cancel clears the shop bit and it dies.
    bool RunPanels();

    std::uint8_t close_request = 0;
    std::int32_t kind = SHOP_KIND_FIRST;
    std::int32_t page = 0;
    std::int32_t tick_count = 0; // whole ticks since opening, up to MENU_DEAF_TICKS
};
