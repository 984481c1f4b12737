#include "app/app_settings.h"

#include "lowlv/audio/audio_mgr.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/input/input_state.h"
#include "scenegraph/render_target.h"

#include "core/sstp.h"
#include "core/text.h"
#include "platform/win_file.h"
#include "platform/win_kernel.h"
#include "platform/win_sync.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>

EngineSettings g_engine_settings;
SstpTarget g_sstp_target;

std::uint8_t g_app_windowed;

namespace {

constexpr char k_default_full_name[] = "Bram Valdrick";
constexpr char k_default_given_name[] = "Bram";
constexpr char k_default_family_name[] = "Valdrick";
// The hero's name in Japanese script, given and family name joined by a full-width equals sign.
constexpr char k_japanese_full_name[] =
    "\x83\x75\x83\x89\x83\x80\x81\x81\x83\x94\x83\x40\x83\x8b\x83\x68\x83\x8a\x83\x62\x83\x4e";
constexpr char k_full_width_equals[] = "\x81\x81";

constexpr std::size_t k_player_name_read_size = 50;
constexpr std::size_t k_separator_read_size = 10;
constexpr char k_dictionary_comment[] = "; use osaka.exe for dictionary";

constexpr std::int32_t k_frame_rate_min_default = 5;
constexpr std::int32_t k_frame_rate_max_default = 10000;
constexpr std::int32_t k_frame_rate_max_lowest = 60;

// A one-byte switch of the game, its default and where it is read.
struct ByteSetting {
    const char* section;
    const char* key;
    std::uint8_t* target;
    std::uint8_t fallback;
};

const ByteSetting k_kernel_switches[] = {
    {"kernel", "HighResoText", &g_high_reso_text, 1},
    {"renderer", "Windowed", &g_app_windowed, 0},
};

const ByteSetting k_game_bytes[] = {
    {"game", "BloodyEffectLevel", &g_bloody_effect_level, 0},
    {"game", "SaveFileNo", &g_save_file_no, 0},
    {"game", "TitleCursorIndex", &g_title_cursor_index, 0},
    {"game", "TitleGameDifficulty", &g_title_game_difficulty, 0},
    {"game", "TitleTimeAttackIndex", &g_title_time_attack_index, 0},
    {"game", "GameFirstPlay", &g_game_first_play, 0},
    {"game", "GameClearFlag", &g_game_clear_flag, 0},
    {"game", "GameClearFlagNightMare", &g_game_clear_flag_nightmare, 0},
    {"game", "GameClearFlagEasy", &g_game_clear_flag_easy, 0},
};

const ByteSetting k_device_switches[] = {
    {"input", "ForceFeedback", &g_force_feedback, 1},
    {"input", "GamePad", &g_game_pad, 1},
};

// Put back to their defaults before each reading of the [input] section.
const ByteSetting k_game_input_switches[] = {
    {"input", "PadAnalog", &g_pad_analog, 0},
    {"input", "DashControl", &g_dash_control, 1},
    {"input", "AtkBtnMagic", &g_atk_btn_magic, 0},
    {"input", "AlwaysDashOK", &g_always_dash_ok, 0},
};

const ByteSetting k_audio_switches[] = {
    {"audio", "PlayBgm", &g_play_bgm, 1},
    {"audio", "PlayEffect", &g_play_effect, 1},
    {"audio", "Reverb", &g_reverb, 0},
};

const ByteSetting k_renderer_switches[] = {
    {"renderer", "DP3Bump", &g_dp3_bump, 0},
    {"renderer", "ShowFPS", &g_show_fps, 0},
    {"renderer", "LowResoShadow", &g_low_reso_shadow, 0},
    {"renderer", "RenderShadow", &g_render_shadow, 1},
    {"renderer", "FireBlur", &g_fire_blur, 0},
};

const std::span<const ByteSetting> k_byte_settings[] = {
    k_kernel_switches,     k_game_bytes,     k_device_switches,
    k_game_input_switches, k_audio_switches, k_renderer_switches,
};

// Reads keys of one section; when the file has no such section every key keeps its value.
class SectionReader {
public:
    SectionReader(IniFile& ini, const char* section) : m_ini(ini), m_section(section) {}

    bool Has(const char* key) { return Enter() && m_ini.FindKey(key); }

    void Int(const char* key, std::int32_t& target)
    {
        if (Enter()) m_ini.GetInt(key, target);
    }
    void Uint(const char* key, std::uint32_t& target)
    {
        std::int32_t value = static_cast<std::int32_t>(target);
        Int(key, value);
        target = static_cast<std::uint32_t>(value);
    }
    // An integer kept in its low 8 bits.
    void Flag(const char* key, std::uint8_t& target)
    {
        std::int32_t value = target;
        Int(key, value);
        target = static_cast<std::uint8_t>(value);
    }
    // A decimal number; a text that holds none leaves the target as it was.
    void Float(const char* key, float& target)
    {
        char text[64] = "";
        Text(key, text, sizeof text, false);
        const char* begin = text[0] == '+' ? text + 1 : text;
        float value = 0.0f;
        auto [end, error] = std::from_chars(begin, text + std::strlen(text), value);
        if (error == std::errc() && end != begin && std::isfinite(value)) target = value;
    }
    void Text(const char* key, char* buffer, std::size_t size, bool unescape)
    {
        if (Enter()) m_ini.GetString(key, buffer, size, unescape);
    }
    void DeviceIdentifier(GUID& target)
    {
        if (Enter()) m_ini.GetDeviceIdentifier(target);
    }

private:
    bool Enter() { return m_ini.FindSection(m_section) != nullptr; }

    IniFile& m_ini;
    const char* m_section;
};

void read_byte_settings(IniFile& ini, std::span<const ByteSetting> settings)
{
    for (const ByteSetting& setting : settings)
        SectionReader(ini, setting.section).Flag(setting.key, *setting.target);
}

void reset_byte_settings(std::span<const ByteSetting> settings)
{
    for (const ByteSetting& setting : settings)
        *setting.target = setting.fallback;
}

// The first or the last occurrence of the character `c` (one or two bytes) in `text`, never
// starting on a trail byte; null when there is none.
const char* find_character(const char* text, std::string_view c, bool last)
{
    const char* found = nullptr;
    for (const char* p = text; *p != '\0';) {
        bool lead = sys_is_lead_byte(*p);
        if (lead && p[1] == '\0') break;
        std::size_t width = lead ? 2 : 1;
        if (std::string_view(p, width) == c) {
            found = p;
            if (!last) break;
        }
        p += width;
    }
    return found;
}

// "PlayerName" over the current full name, then the given and family names split from it.
void read_player_names(SectionReader& game)
{
    char name[k_player_name_read_size];
    sys_copy_string(name, g_player_full_name, sizeof name);
    game.Text("PlayerName", name, sizeof name, false);
    bool replaced = sys_names_equal(name, k_japanese_full_name);
    if (replaced) sys_copy_string(name, k_default_full_name, sizeof name);

    char separator[k_separator_read_size];
    sys_copy_string(separator, g_name_separator, sizeof separator);
    game.Text("AlternateNameSeparator", separator, sizeof separator, false);
    if (sys_is_lead_byte(separator[0]) && separator[1] != '\0') {
        sys_copy_string(g_name_separator, separator, sizeof g_name_separator);
    }
    if (replaced || (sys_names_equal(name, k_default_full_name) &&
                     std::strcmp(g_name_separator, k_full_width_equals) == 0)) {
        sys_copy_string(g_name_separator, " ", sizeof g_name_separator);
    }

    if (name[0] == '\0') return;
    sys_copy_string(g_player_full_name, name, PLAYER_FULL_NAME_MAX + 1);
    const char* split = find_character(name, " ", false);
    if (!split) split = find_character(name, g_name_separator, false);
    if (!split) return;
    // With no separator from the split on, it was made at a blank: the family name follows that.
    const char* last = find_character(split, g_name_separator, true);
    const char* family = last ? last + std::strlen(g_name_separator) : split + 1;
    sys_copy_string(g_player_family_name, family, PLAYER_FAMILY_NAME_MAX + 1);
    name[split - name] = '\0';
    sys_copy_string(g_player_given_name, name, PLAYER_GIVEN_NAME_MAX + 1);
}

bool mascot_running()
{
    for (const char* name : {"sakura", "ssp"}) {
        if (HANDLE mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name)) {
            CloseHandle(mutex);
            return true;
        }
    }
    return false;
}

void set_sstp_target(bool enabled)
{
    g_sstp_target = SstpTarget{};
    if (!enabled || !mascot_running()) return;
    sys_copy_string(g_sstp_target.host, SSTP_HOST, sizeof g_sstp_target.host);
    g_sstp_target.port = SSTP_PORT;
}

// "<current directory>\release\music\", or the same folder as a relative path when the current
// directory cannot be had in full.
void set_music_dir(char (&dir)[MAX_PATH])
{
    constexpr char music[] = "release\\music\\";
    char current[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    if (length == 0 || length >= sizeof current) current[0] = '\0';
    path_make_dir(current, sizeof current);
    int needed = std::snprintf(dir, sizeof dir, "%s%s", current, music);
    if (needed < 0 || static_cast<std::size_t>(needed) >= sizeof dir) sys_copy_string(dir, music, sizeof dir);
}

void read_audio(IniFile& ini, AudioParams& audio)
{
    SectionReader reader(ini, "audio");
    reader.Int("Device", audio.device);
    reader.Int("BgmVolume", audio.bgm_volume);
    reader.Int("EffectVolume", audio.effect_volume);
    reader.Flag("Reverb", audio.reverb);
    std::uint8_t play_bgm = 1;
    std::uint8_t play_effect = 1;
    reader.Flag("PlayBgm", play_bgm);
    reader.Flag("PlayEffect", play_effect);
    audio.no_sound = play_bgm == 0 && play_effect == 0;
    reader.Flag("UseWuVorbis", audio.use_wu_vorbis);
    reader.Flag("ForceSoftwareSoundBuffer", audio.force_software_buffer);
    if (audio.force_software_buffer) audio.reverb = 0;
}

void read_renderer(IniFile& ini, RendererSettings& renderer)
{
    SectionReader reader(ini, "renderer");
    reader.Int("Device", renderer.device_type);
    reader.Uint("Adapter", renderer.adapter);
    reader.Uint("BackBufferWidth", renderer.back_buffer_width);
    reader.Uint("BackBufferHeight", renderer.back_buffer_height);
    reader.Flag("BackBufferFormat32", renderer.back_buffer_32bit);
    reader.Uint("RefreshRate", renderer.refresh_rate);
    reader.Uint("MultiSampleType", renderer.multisample_type);
    reader.Uint("TextureFilter", renderer.texture_filter);
    reader.Uint("Anisotropy", renderer.anisotropy);
    reader.Flag("ForceMultiThreaded", renderer.force_multithreaded);
    reader.Flag("WaitVSync", renderer.wait_vsync);
    reader.Flag("TripleBuffer", renderer.triple_buffer);
    reader.Flag("CompressedTexture", renderer.compressed_texture);
    reader.Flag("LowResoTexture", renderer.low_reso_texture);
    reader.Flag("SortAlphaTexture", renderer.sort_alpha_texture);
    reader.Flag("ForceSoftwareVP", renderer.force_software_vp);
    reader.DeviceIdentifier(renderer.device_identifier);
    reader.Flag("GammaEnable", renderer.gamma_enable);
    reader.Float("GammaValue", renderer.gamma);
    reader.Flag("WindVS", renderer.wind_vs);
    reader.Flag("WaterVS", renderer.water_vs);
    reader.Flag("CloudVS", renderer.cloud_vs);
    reader.Flag("PointLightVS", renderer.point_light_vs);
    reader.Flag("Mipmap", renderer.mipmap);
}

// The frame-rate bounds, the process and thread tuning and the window position.
void read_kernel(IniFile& ini, EngineParams& params)
{
    SectionReader reader(ini, "kernel");
    std::int32_t min_rate = k_frame_rate_min_default;
    std::int32_t max_rate = k_frame_rate_max_default;
    reader.Int("ClampInternalFrameRateMin", min_rate);
    reader.Int("ClampInternalFrameRateMax", max_rate);
    max_rate = std::clamp(max_rate, k_frame_rate_max_lowest, k_frame_rate_max_default);
    // The frame timer divides by the minimum as an unsigned number: zero or less would make
    // every frame the shortest possible step.
    if (min_rate <= 0) min_rate = k_frame_rate_min_default;
    params.frame_rate_min = std::min(min_rate, max_rate);
    params.frame_rate_max = max_rate;
    params.priority_class = params.process_affinity = params.main_thread_affinity = 0;
    params.audio_thread_affinity = 0;
    params.window_x = params.window_y = 0;
    reader.Uint("ProcessPriorityClass", params.priority_class);
    reader.Uint("ProcessAffinityMask", params.process_affinity);
    reader.Uint("ThreadAffinityMask_Main", params.main_thread_affinity);
    reader.Uint("ThreadAffinityMask_BGM", params.audio_thread_affinity);
    reader.Int("WindowPosX", params.window_x);
    reader.Int("WindowPosY", params.window_y);
}

// A value naming no key keeps the slot's default; a missing or empty one clears the slot when the
// file carries a chosen key preset ("FileIndex").
void read_assignment(SectionReader& reader, const KeySlotName& slot, bool preset_chosen, std::int32_t& code)
{
    char key[64];
    std::snprintf(key, sizeof key, "Assign{%s}", slot.name);
    char value[KEY_NAME_SIZE] = "";
    reader.Text(key, value, sizeof value, false);
    if (value[0] == '\0') {
        if (preset_chosen) code = INPUT_CODE_NONE;
        return;
    }
    input_key_code_from_name(value, code);
}

void read_input(IniFile& ini, InputSettings& input)
{
    reset_byte_settings(k_game_input_switches);
    SectionReader reader(ini, "input");
    reader.Flag("MouseButtonAlwaysOkCancel", input.mouse_buttons_ok_cancel);
    reader.Flag("PadAnalog", input.pad_analog);
    reader.Flag("DashControl", input.dash_control);
    reader.Flag("AtkBtnMagic", input.atk_btn_magic);
    reader.Flag("AlwaysDashOK", input.always_dash_ok);
    bool preset_chosen = reader.Has("FileIndex");
    for (const KeySlotName& slot : g_key_slot_table)
        read_assignment(reader, slot, preset_chosen, input.keys.codes[slot.slot]);
    reader.Float("DeadZone", input.dead_zone);
    reader.Float("RunWalkThreshold", input.run_walk_threshold);
    reader.Float("MouseSensitivity", input.mouse_sensitivity);
    reader.Int("DoubleClickFrame", input.double_click_polls);
}

void set_decimal(IniFile& ini, const char* key, std::int32_t value)
{
    ini.SetInt(key, value, 10);
}

void set_decimal_if_nonzero(IniFile& ini, const char* key, std::int32_t value)
{
    if (value != 0) set_decimal(ini, key, value);
}

void write_game(IniFile& ini)
{
    ini.SelectSection("game");
    set_decimal(ini, "BloodyEffectLevel", g_bloody_effect_level);
    set_decimal(ini, "SaveFileNo", g_save_file_no);
    set_decimal(ini, "TitleCursorIndex", g_title_cursor_index);
    set_decimal(ini, "TitleGameDifficulty", g_title_game_difficulty);
    set_decimal_if_nonzero(ini, "GameFirstPlay", g_game_first_play);
    set_decimal_if_nonzero(ini, "GameClearFlag", g_game_clear_flag);
    set_decimal_if_nonzero(ini, "GameClearFlagNightMare", g_game_clear_flag_nightmare);
    set_decimal_if_nonzero(ini, "GameClearFlagEasy", g_game_clear_flag_easy);
    if (g_gubb_love == GUBB_LOVE_UNLOCKED) set_decimal(ini, "GubbLove", g_gubb_love);
    if (g_title_time_attack_index == 255) g_title_time_attack_index = 0;
    set_decimal(ini, "TitleTimeAttackIndex", g_title_time_attack_index);
    // The name goes out unquoted; the reader takes it back the same either way.
    ini.AddKey("PlayerName").value = g_player_full_name;
    ini.SetString("AlternateNameSeparator", g_name_separator, false);
    ini.SetString("TextFilter_Delimiter", g_text_filter_delimiter, true);
    bool had_dictionary = ini.FindKey("TextFilter_Dictionary") != nullptr;
    ini.SetString("TextFilter_Dictionary", g_text_filter_dictionary, false);
    if (!had_dictionary) ini.SetString(nullptr, k_dictionary_comment, false);
}

// The device and the audio manager hold the live gamma and master volumes; without them (no
// sound, a start-up that never got that far) what was read at start stands.
float current_gamma()
{
    return g_d3d_device ? g_device_settings.settings.gamma : g_engine_settings.renderer.gamma;
}

std::int32_t current_volume(std::int32_t (*live_volume)(), std::int32_t read_volume)
{
    return audio_stream(0) ? live_volume() : read_volume;
}

// Sets the settings to their defaults before anything else of the program runs.
struct DefaultsAtStart {
    DefaultsAtStart() { app_reset_settings(); }
} g_defaults_at_start;

} // namespace

std::int32_t app_read_ini_version(IniFile& ini)
{
    std::int32_t version = 0;
    SectionReader(ini, "").Int("IniVersion", version);
    return version;
}

void app_read_kernel_settings(IniFile& ini)
{
    std::uint8_t sstp_enable = 0;
    SectionReader(ini, "kernel").Flag("SSTPEnable", sstp_enable);
    set_sstp_target(sstp_enable != 0);
    read_byte_settings(ini, k_kernel_switches);
}

void app_read_game_settings(IniFile& ini)
{
    read_byte_settings(ini, k_game_bytes);
    SectionReader game(ini, "game");
    game.Int("GubbLove", g_gubb_love);
    read_player_names(game);
    game.Text("TextFilter_Dictionary", g_text_filter_dictionary, sizeof g_text_filter_dictionary, false);
    game.Text("TextFilter_Delimiter", g_text_filter_delimiter, sizeof g_text_filter_delimiter, true);

    reset_byte_settings(k_game_input_switches);
    read_byte_settings(ini, k_device_switches);
    read_byte_settings(ini, k_game_input_switches);
    g_input_force_feedback = g_force_feedback;
    g_input_game_pad = g_game_pad;
    read_byte_settings(ini, k_audio_switches);
    read_byte_settings(ini, k_renderer_switches);
    // The device is up by the time the game settings are read; a device without dot-product
    // bump mapping turns the switch off.
    if (g_d3d_device && !(g_device_caps.TextureOpCaps & D3DTEXOPCAPS_DOTPRODUCT3)) g_dp3_bump = 0;
    g_render_texture_options = {g_render_shadow != 0, g_low_reso_shadow != 0};
}

void app_read_engine_settings(IniFile& ini, HWND window, EngineParams& params)
{
    EngineSettings& settings = g_engine_settings;
    settings = EngineSettings{};
    settings.audio.window = window;
    set_music_dir(settings.audio.music_dir);
    settings.renderer.window = window;
    settings.renderer.windowed = g_app_windowed;

    read_audio(ini, settings.audio);
    read_renderer(ini, settings.renderer);
    read_kernel(ini, params);
    read_input(ini, settings.input);
    std::uint8_t no_game_controller = 0;
    SectionReader(ini, "debug").Flag("NoInitializeGameCtrl", no_game_controller);
    if (no_game_controller) settings.input.devices &= ~INPUT_DEVICE_GAME_CONTROLLER;
    std::uint8_t archive_mapped = 1;
    SectionReader(ini, "kernel").Flag("AccessArchiveViaMemoryMappedFile", archive_mapped);

    params.window = window;
    params.windowed = g_app_windowed != 0;
    params.renderer_settings = &settings.renderer;
    params.input_settings = &settings.input;
    params.audio_settings = &settings.audio;
    params.archive_mapped = archive_mapped != 0;
}

void app_write_kernel_settings(IniFile& ini)
{
    ini.SelectSection("");
    ini.SetInt("IniVersion", APP_INI_VERSION, 16);
    ini.SelectSection("kernel");
    set_decimal(ini, "WindowPosX", g_window_origin.remembered_x);
    set_decimal(ini, "WindowPosY", g_window_origin.remembered_y);
}

void app_write_settings(IniFile& ini)
{
    write_game(ini);
    ini.SelectSection("renderer");
    set_decimal(ini, "ShowFPS", g_show_fps != 0);
    ini.SetGammaValue(current_gamma());
    ini.SelectSection("audio");
    set_decimal(ini, "BgmVolume", current_volume(audio_bgm_volume, g_engine_settings.audio.bgm_volume));
    set_decimal(ini, "EffectVolume",
                current_volume(audio_effect_volume, g_engine_settings.audio.effect_volume));
    ini.SelectSection("input");
    for (const ByteSetting& setting : k_game_input_switches)
        set_decimal(ini, setting.key, *setting.target);
}

void app_reset_settings()
{
    for (std::span<const ByteSetting> settings : k_byte_settings)
        reset_byte_settings(settings);
    g_gubb_love = 0;
    sys_copy_string(g_player_full_name, k_default_full_name, sizeof g_player_full_name);
    sys_copy_string(g_player_given_name, k_default_given_name, sizeof g_player_given_name);
    sys_copy_string(g_player_family_name, k_default_family_name, sizeof g_player_family_name);
    sys_copy_string(g_name_separator, " ", sizeof g_name_separator);
    g_text_filter_dictionary[0] = '\0';
    sys_copy_string(g_text_filter_delimiter, " \t", sizeof g_text_filter_delimiter);
    g_engine_settings = EngineSettings{};
    g_sstp_target = SstpTarget{};
}
