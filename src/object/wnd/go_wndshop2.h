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

    std::uint8_t close_request = 0;
};
