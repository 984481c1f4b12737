#include "object/wnd/go_wndmain2.h"

#include "game/g_play_state.h"
#include "game/g_play_status.h"
#include "game/g_rules.h"
#include "game/g_scene.h"
#include "game/g_sound.h"
#include "game/g_tick.h"
#include "lowlv/audio/audio_params.h"

#include <cstddef>
#include <cstring>

namespace {

struct ModePage {
    std::int32_t mode;
    std::int32_t start_page;
};
constexpr ModePage k_start_pages[] = {
    {MAIN2_MODE_CAMP, 0}, {MAIN2_MODE_SAVE, 4}, {MAIN2_MODE_TITLE_LOAD, 8}, {MAIN2_MODE_TITLE_OPTIONS, 17}};
constexpr int k_first_pictures = 3; // unlocked from the start
constexpr std::int32_t k_set_weapon_first = 1;
constexpr std::int32_t k_set_weapon_last = 5;
constexpr std::int32_t k_set_shield_step = 6;  // the set's shield is its weapon + 6
constexpr std::int32_t k_set_armour_step = 12; // and its armour its weapon + 12

std::int32_t start_page(std::int32_t mode)
{
    for (const ModePage& row : k_start_pages)
        if (row.mode == mode) return row.start_page;
    return 0;
}

// A complete set of weapon w, shield w + 6 and armour w + 12 is worn; weapon 0 has no set.
std::int32_t equipment_set()
{
    const std::int32_t* flags = g_play_state.game_flags;
    const std::int32_t weapon = flags[GF_WEAPON];
    const bool complete = weapon >= k_set_weapon_first && weapon <= k_set_weapon_last &&
                          flags[GF_SHIELD] == weapon + k_set_shield_step &&
                          flags[GF_ARMOUR] == weapon + k_set_armour_step;
    return complete ? weapon : 0;
}

InputRecord& current_input()
{
    return g_input_ring.records[g_input_ring.current];
}

} // namespace

InputRecord menu_panel_input(std::int32_t& tick_count)
{
    if (tick_count < MENU_DEAF_TICKS) {
        ++tick_count;
        return {};
    }
    return current_input();
}

void menu_after_panels()
{
    g_play_state.recompute_bits |= PLAY_RECOMPUTE_ALL;
    play_update_status();
    InputRecord& input = current_input();
    constexpr std::size_t k_from = offsetof(InputRecord, direction);
    std::memset(reinterpret_cast<std::byte*>(&input) + k_from, 0, sizeof input - k_from);
}

void GoWndMain2::Open(std::int32_t open_mode)
{
    mode = open_mode;
    page = start_page(open_mode);
    std::uint8_t(&gallery)[PLAY_GALLERY_COUNT] = g_play_state.gallery;
    if (gallery[0] == 0)
        for (int i = 0; i < k_first_pictures; ++i)
            gallery[i] = 1;
}

void GoWndMain2::Update()
{
    if (close_request) {
        go_kill(*this);
        return;
    }
    if (g_whole_tick && RunPanels()) menu_after_panels();
}

bool GoWndMain2::RunPanels()
{
    const InputRecord input = menu_panel_input(tick_count);
    if (input.pressed & INPUT_CANCEL) {
        sound_play(MENU_SOUND_CANCEL, AUDIO_VOLUME_MAX);
        page = MENU_PAGE_CLOSE;
    }
    if (page != MENU_PAGE_CLOSE) return true;
    g_play_state.game_flags[GF_EQUIP_SET] = equipment_set();
    g_timeattack_stage_ticks = 0;
    g_timeattack_total_ticks = 0;
    game_toggle_main_menu(MENU_PAGE_CLOSE);
    go_kill(*this);
    return false;
}
