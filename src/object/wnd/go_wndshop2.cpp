#include "object/wnd/go_wndshop2.h"

#include "game/g_rules.h"
#include "game/g_sound.h"
#include "game/g_tick.h"
#include "lowlv/audio/audio_params.h"
#include "object/wnd/go_wndmain2.h"

namespace {

constexpr std::int32_t k_buy_list_page = 1;
constexpr std::int32_t k_upgrade_page = 4;

} // namespace

void GoWndShop2::Open(std::int32_t open_kind)
{
    kind = open_kind;
    page = open_kind == SHOP_KIND_BLACKSMITH ? k_upgrade_page : k_buy_list_page;
}

void GoWndShop2::Update()
{
    if (close_request) {
        go_kill(*this);
        return;
    }
    if (g_whole_tick && RunPanels()) menu_after_panels();
}

bool GoWndShop2::RunPanels()
{
    const InputRecord input = menu_panel_input(tick_count);
    if (input.pressed & INPUT_CANCEL) {
        sound_play(MENU_SOUND_CANCEL, AUDIO_VOLUME_MAX);
        page = MENU_PAGE_CLOSE;
    }
    if (page != MENU_PAGE_CLOSE) return true;
    game_toggle_shop(MENU_PAGE_CLOSE);
    go_kill(*this);
    return false;
}
