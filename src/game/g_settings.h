// The switches and keys of "kro_win.ini" that the game, its graphics and its objects read. The
// program shell reads them at start-up, only from a file of the current "IniVersion" (older files
// leave the defaults), writes part of them back at a normal end and resets them.
#pragma once

#include "platform/win_types.h"

#include <cstddef>
#include <cstdint>

// [kernel] and [renderer] switches.
extern std::uint8_t g_high_reso_text;  // "HighResoText": fonts and glyphs follow the back buffer
extern std::uint8_t g_dp3_bump;        // "DP3Bump"
extern std::uint8_t g_show_fps;        // "ShowFPS": 0 off, 1 and 2 frame-rate display
extern std::uint8_t g_low_reso_shadow; // "LowResoShadow"
extern std::uint8_t g_render_shadow;   // "RenderShadow"
extern std::uint8_t g_fire_blur;       // "FireBlur"

// [audio] switches.
extern std::uint8_t g_reverb;      // "Reverb"
extern std::uint8_t g_play_bgm;    // "PlayBgm"
extern std::uint8_t g_play_effect; // "PlayEffect"

// [input] switches the game keeps for itself.
extern std::uint8_t g_pad_analog;     // "PadAnalog"
extern std::uint8_t g_dash_control;   // "DashControl"
extern std::uint8_t g_atk_btn_magic;  // "AtkBtnMagic"
extern std::uint8_t g_always_dash_ok; // "AlwaysDashOK"
extern std::uint8_t g_force_feedback; // "ForceFeedback"
extern std::uint8_t g_game_pad;       // "GamePad"

// [game].
extern std::uint8_t g_bloody_effect_level;
extern std::uint8_t g_save_file_no; // last save slot used
extern std::uint8_t g_title_cursor_index;
extern std::uint8_t g_title_game_difficulty;
extern std::uint8_t g_title_time_attack_index; // 255 is written back as 0
extern std::uint8_t g_game_first_play;
extern std::uint8_t g_game_clear_flag; // number of clears, 0..3
extern std::uint8_t g_game_clear_flag_nightmare;
extern std::uint8_t g_game_clear_flag_easy;
extern std::int32_t g_gubb_love; // written back only as the unlock value

// The title's variant choices for the next new game; title state, not ini keys.
extern std::uint8_t g_title_easy;
extern std::uint8_t g_title_very_easy;
extern std::uint8_t g_title_inferno;

constexpr std::int32_t GUBB_LOVE_UNLOCKED = 48213;

// The hero's names (Shift-JIS) that the message texts use. Each limit is the longest text the
// name parser stores; the buffers are large enough for every user of the names.
constexpr std::size_t PLAYER_FULL_NAME_MAX = 38;
constexpr std::size_t PLAYER_GIVEN_NAME_MAX = 10;
constexpr std::size_t PLAYER_FAMILY_NAME_MAX = 19;
extern char g_player_full_name[39];
extern char g_player_given_name[12];
extern char g_player_family_name[20];
extern char g_name_separator[3]; // one character of one or two bytes

// The text filter's files and word delimiters.
extern char g_text_filter_dictionary[MAX_PATH];
extern char g_text_filter_delimiter[8];
