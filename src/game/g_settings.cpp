#include "game/g_settings.h"

std::uint8_t g_high_reso_text;
std::uint8_t g_dp3_bump;
std::uint8_t g_show_fps;
std::uint8_t g_low_reso_shadow;
std::uint8_t g_render_shadow;
std::uint8_t g_fire_blur;

std::uint8_t g_reverb;
std::uint8_t g_play_bgm;
std::uint8_t g_play_effect;

std::uint8_t g_pad_analog;
std::uint8_t g_dash_control;
std::uint8_t g_atk_btn_magic;
std::uint8_t g_always_dash_ok;
std::uint8_t g_force_feedback;
std::uint8_t g_game_pad;

std::uint8_t g_bloody_effect_level;
std::uint8_t g_save_file_no;
std::uint8_t g_title_cursor_index;
std::uint8_t g_title_game_difficulty;
std::uint8_t g_title_time_attack_index;
std::uint8_t g_game_first_play;
std::uint8_t g_game_clear_flag;
std::uint8_t g_game_clear_flag_nightmare;
std::uint8_t g_game_clear_flag_easy;
std::int32_t g_gubb_love;

std::uint8_t g_title_easy;
std::uint8_t g_title_very_easy;
std::uint8_t g_title_inferno;

char g_player_full_name[39];
char g_player_given_name[12];
char g_player_family_name[20];
char g_name_separator[3];

char g_text_filter_dictionary[MAX_PATH];
char g_text_filter_delimiter[8];
