#include "app/app_settings.h"

#include "app_fixture.h"
#include "core/sys.h"
#include "lib/ini_writer.h"
#include "lowlv/audio/audio_mgr.h"
#include "lowlv/d3d/d3d_core.h"
#include "platform/win_file.h"
#include "platform/win_kernel.h"
#include "platform/win_sync.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

// Shift-JIS texts of the hero's names.
const std::string k_japanese_default =
    "\x83\x75\x83\x89\x83\x80\x81\x81\x83\x94\x83\x40\x83\x8b\x83\x68\x83\x8a\x83\x62\x83\x4e";
// The same but for the first trail byte, 0x55 in place of 0x75 (another character, not another case).
const std::string k_japanese_other =
    "\x83\x55\x83\x89\x83\x80\x81\x81\x83\x94\x83\x40\x83\x8b\x83\x68\x83\x8a\x83\x62\x83\x4e";
const std::string k_other_given = "\x83\x55\x83\x89\x83\x80";
const std::string k_japanese_family = "\x83\x94\x83\x40\x83\x8b\x83\x68\x83\x8a\x83\x62\x83\x4e";
const std::string k_equals = "\x81\x81";
const std::string k_jon = "\x83\x57\x83\x87\x83\x93";
const std::string k_sumisu = "\x83\x58\x83\x7e\x83\x58";

HWND test_window()
{
    return reinterpret_cast<HWND>(std::uintptr_t{0x1234});
}

class GameSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        app_reset_settings();
        g_window_origin = WindowOrigin{};
    }
    void TearDown() override
    {
        app_reset_settings();
        g_window_origin = WindowOrigin{};
    }

    std::string Folder() const { return m_temp.windows(); }
    std::string Saved() const { return read_host_file(m_temp.path() / "kro_win.ini"); }

    void Put(const IniWriter& writer) { ASSERT_TRUE(writer.Save(m_temp.path() / "kro_win.ini")); }

    IniFile Load()
    {
        IniFile ini("kro_win.ini");
        ini.LoadFile(Folder().c_str());
        return ini;
    }

    // The reads of the start-up chain: the kernel switches and the game settings only for a
    // current file, the engine settings always.
    EngineParams StartUp(const IniWriter& writer)
    {
        Put(writer);
        IniFile ini = Load();
        bool current = app_read_ini_version(ini) == APP_INI_VERSION;
        if (current) app_read_kernel_settings(ini);
        EngineParams params{};
        app_read_engine_settings(ini, test_window(), params);
        if (current) app_read_game_settings(ini);
        return params;
    }

    // The write-back of the shutdown into a freshly loaded file; returns what was saved.
    std::string ShutDown()
    {
        IniFile ini = Load();
        app_write_kernel_settings(ini);
        app_write_settings(ini);
        EXPECT_EQ(ini.SaveFile(Folder().c_str()), S_OK);
        return Saved();
    }

    TempFolder m_temp;
};

IniWriter current_file()
{
    IniWriter writer;
    writer.Hex("IniVersion", APP_INI_VERSION);
    return writer;
}

const RendererSettings& renderer()
{
    return g_engine_settings.renderer;
}
const InputSettings& input()
{
    return g_engine_settings.input;
}
const AudioParams& audio()
{
    return g_engine_settings.audio;
}

void add_line(std::string& text, const char* name, double value)
{
    char line[96];
    std::snprintf(line, sizeof line, "%s=%.9g\n", name, value);
    text += line;
}

// The game's own settings, as one text, so two readings can be compared whole.
std::string game_snapshot()
{
    std::string text;
    auto add = [&](const char* name, double value) { add_line(text, name, value); };
    auto add_text = [&](const char* name, const char* value) {
        text += std::string(name) + "=" + value + "\n";
    };
    const std::pair<const char*, const std::uint8_t*> bytes[] = {
        {"windowed", &g_app_windowed},
        {"high_reso_text", &g_high_reso_text},
        {"dp3_bump", &g_dp3_bump},
        {"show_fps", &g_show_fps},
        {"low_reso_shadow", &g_low_reso_shadow},
        {"render_shadow", &g_render_shadow},
        {"fire_blur", &g_fire_blur},
        {"reverb", &g_reverb},
        {"play_bgm", &g_play_bgm},
        {"play_effect", &g_play_effect},
        {"pad_analog", &g_pad_analog},
        {"dash_control", &g_dash_control},
        {"atk_btn_magic", &g_atk_btn_magic},
        {"always_dash_ok", &g_always_dash_ok},
        {"force_feedback", &g_force_feedback},
        {"game_pad", &g_game_pad},
        {"bloody_effect_level", &g_bloody_effect_level},
        {"save_file_no", &g_save_file_no},
        {"title_cursor_index", &g_title_cursor_index},
        {"title_game_difficulty", &g_title_game_difficulty},
        {"title_time_attack_index", &g_title_time_attack_index},
        {"game_first_play", &g_game_first_play},
        {"game_clear_flag", &g_game_clear_flag},
        {"game_clear_flag_nightmare", &g_game_clear_flag_nightmare},
        {"game_clear_flag_easy", &g_game_clear_flag_easy},
    };
    for (const auto& [name, value] : bytes)
        add(name, *value);
    add("gubb_love", g_gubb_love);
    add_text("full_name", g_player_full_name);
    add_text("given_name", g_player_given_name);
    add_text("family_name", g_player_family_name);
    add_text("separator", g_name_separator);
    add_text("dictionary", g_text_filter_dictionary);
    add_text("delimiter", g_text_filter_delimiter);
    add_text("sstp_host", g_sstp_target.host);
    return text;
}

// With the engine settings whose values are written back.
std::string snapshot(const EngineParams& params)
{
    std::string text = game_snapshot();
    auto add = [&](const char* name, double value) { add_line(text, name, value); };
    add("gamma", renderer().gamma);
    add("bgm_volume", audio().bgm_volume);
    add("effect_volume", audio().effect_volume);
    add("input_pad_analog", input().pad_analog);
    add("window_x", params.window_x);
    add("window_y", params.window_y);
    return text;
}

struct KeyCase {
    const char* section;
    const char* key;
    const char* value;
    double fallback;
    double read;
    std::function<double(const EngineParams&)> field;
};

TEST_F(GameSettings, EveryKeyHasItsDefaultAndReachesItsField)
{
    using P = const EngineParams&;
    const KeyCase cases[] = {
        {"kernel", "HighResoText", "0", 1, 0, [](P) { return g_high_reso_text; }},
        {"kernel", "ClampInternalFrameRateMin", "100", 5, 100, [](P p) { return p.frame_rate_min; }},
        {"kernel", "ClampInternalFrameRateMax", "200", 10000, 200, [](P p) { return p.frame_rate_max; }},
        {"kernel", "ProcessPriorityClass", "0x80", 0, 0x80, [](P p) { return p.priority_class; }},
        {"kernel", "ProcessAffinityMask", "3", 0, 3, [](P p) { return p.process_affinity; }},
        {"kernel", "ThreadAffinityMask_Main", "1", 0, 1, [](P p) { return p.main_thread_affinity; }},
        {"kernel", "ThreadAffinityMask_BGM", "0b10", 0, 2, [](P p) { return p.audio_thread_affinity; }},
        {"kernel", "AccessArchiveViaMemoryMappedFile", "0", 1, 0, [](P p) { return p.archive_mapped; }},
        {"kernel", "WindowPosX", "-20", 0, -20, [](P p) { return p.window_x; }},
        {"kernel", "WindowPosY", "40", 0, 40, [](P p) { return p.window_y; }},
        {"renderer", "Windowed", "1", 0, 1, [](P) { return g_app_windowed; }},
        {"renderer", "Windowed", "1", 0, 1, [](P) { return renderer().windowed; }},
        {"renderer", "Windowed", "1", 0, 1, [](P p) { return p.windowed; }},
        {"renderer", "Windowed", "256", 0, 0, [](P) { return g_app_windowed; }},
        {"renderer", "Device", "0", -1, 0, [](P) { return renderer().device_type; }},
        {"renderer", "Adapter", "1", 0, 1, [](P) { return renderer().adapter; }},
        {"renderer", "BackBufferWidth", "1280", 640, 1280, [](P) { return renderer().back_buffer_width; }},
        {"renderer", "BackBufferHeight", "960", 480, 960, [](P) { return renderer().back_buffer_height; }},
        {"renderer", "BackBufferFormat32", "257", 0, 1, [](P) { return renderer().back_buffer_32bit; }},
        {"renderer", "RefreshRate", "75", 0, 75, [](P) { return renderer().refresh_rate; }},
        {"renderer", "MultiSampleType", "4", 0, 4, [](P) { return renderer().multisample_type; }},
        {"renderer", "TextureFilter", "1", 2, 1, [](P) { return renderer().texture_filter; }},
        {"renderer", "Anisotropy", "8", 1, 8, [](P) { return renderer().anisotropy; }},
        {"renderer", "ForceMultiThreaded", "1", 0, 1, [](P) { return renderer().force_multithreaded; }},
        {"renderer", "WaitVSync", "1", 0, 1, [](P) { return renderer().wait_vsync; }},
        {"renderer", "TripleBuffer", "1", 0, 1, [](P) { return renderer().triple_buffer; }},
        {"renderer", "CompressedTexture", "1", 0, 1, [](P) { return renderer().compressed_texture; }},
        {"renderer", "LowResoTexture", "1", 0, 1, [](P) { return renderer().low_reso_texture; }},
        {"renderer", "SortAlphaTexture", "0", 1, 0, [](P) { return renderer().sort_alpha_texture; }},
        {"renderer", "ForceSoftwareVP", "1", 0, 1, [](P) { return renderer().force_software_vp; }},
        {"renderer", "GammaEnable", "1", 0, 1, [](P) { return renderer().gamma_enable; }},
        {"renderer", "GammaValue", "1.25", 1.0, 1.25, [](P) { return renderer().gamma; }},
        {"renderer", "GammaValue", "\"0.5\"", 1.0, 0.5, [](P) { return renderer().gamma; }},
        {"renderer", "GammaValue", "bright", 1.0, 1.0, [](P) { return renderer().gamma; }},
        {"renderer", "WindVS", "1", 0, 1, [](P) { return renderer().wind_vs; }},
        {"renderer", "WaterVS", "1", 0, 1, [](P) { return renderer().water_vs; }},
        {"renderer", "CloudVS", "1", 0, 1, [](P) { return renderer().cloud_vs; }},
        {"renderer", "PointLightVS", "1", 0, 1, [](P) { return renderer().point_light_vs; }},
        {"renderer", "Mipmap", "0", 1, 0, [](P) { return renderer().mipmap; }},
        {"renderer", "DP3Bump", "1", 0, 1, [](P) { return g_dp3_bump; }},
        {"renderer", "ShowFPS", "2", 0, 2, [](P) { return g_show_fps; }},
        {"renderer", "LowResoShadow", "1", 0, 1, [](P) { return g_low_reso_shadow; }},
        {"renderer", "RenderShadow", "0", 1, 0, [](P) { return g_render_shadow; }},
        {"renderer", "FireBlur", "1", 0, 1, [](P) { return g_fire_blur; }},
        {"audio", "Device", "2", 0, 2, [](P) { return audio().device; }},
        {"audio", "BgmVolume", "300", 512, 300, [](P) { return audio().bgm_volume; }},
        {"audio", "EffectVolume", "700", 512, 700, [](P) { return audio().effect_volume; }},
        {"audio", "Reverb", "1", 0, 1, [](P) { return audio().reverb; }},
        {"audio", "Reverb", "1", 0, 1, [](P) { return g_reverb; }},
        {"audio", "PlayBgm", "0", 1, 0, [](P) { return g_play_bgm; }},
        {"audio", "PlayBgm", "0", 0, 0, [](P) { return audio().no_sound; }},
        {"audio", "PlayEffect", "0", 1, 0, [](P) { return g_play_effect; }},
        {"audio", "UseWuVorbis", "0", 1, 0, [](P) { return audio().use_wu_vorbis; }},
        {"audio", "ForceSoftwareSoundBuffer", "1", 0, 1, [](P) { return audio().force_software_buffer; }},
        {"input", "MouseButtonAlwaysOkCancel", "0", 1, 0, [](P) { return input().mouse_buttons_ok_cancel; }},
        {"input", "PadAnalog", "1", 0, 1, [](P) { return input().pad_analog; }},
        {"input", "PadAnalog", "1", 0, 1, [](P) { return g_pad_analog; }},
        {"input", "DashControl", "0", 1, 0, [](P) { return input().dash_control; }},
        {"input", "DashControl", "0", 1, 0, [](P) { return g_dash_control; }},
        {"input", "AtkBtnMagic", "1", 0, 1, [](P) { return input().atk_btn_magic; }},
        {"input", "AtkBtnMagic", "1", 0, 1, [](P) { return g_atk_btn_magic; }},
        {"input", "AlwaysDashOK", "1", 0, 1, [](P) { return input().always_dash_ok; }},
        {"input", "AlwaysDashOK", "1", 0, 1, [](P) { return g_always_dash_ok; }},
        {"input", "ForceFeedback", "0", 1, 0, [](P) { return g_force_feedback; }},
        {"input", "GamePad", "0", 1, 0, [](P) { return g_game_pad; }},
        {"input", "DeadZone", "0.5", 0.35f, 0.5, [](P) { return input().dead_zone; }},
        {"input", "RunWalkThreshold", "0.25", 0.5, 0.25, [](P) { return input().run_walk_threshold; }},
        {"input", "MouseSensitivity", "+2.5", 1.0, 2.5, [](P) { return input().mouse_sensitivity; }},
        {"input", "DoubleClickFrame", "20", 12, 20, [](P) { return input().double_click_polls; }},
        {"debug", "NoInitializeGameCtrl", "1", 0xF, 0xB, [](P) { return input().devices; }},
        {"game", "BloodyEffectLevel", "2", 0, 2, [](P) { return g_bloody_effect_level; }},
        {"game", "SaveFileNo", "63", 0, 63, [](P) { return g_save_file_no; }},
        {"game", "TitleCursorIndex", "1", 0, 1, [](P) { return g_title_cursor_index; }},
        {"game", "TitleGameDifficulty", "2", 0, 2, [](P) { return g_title_game_difficulty; }},
        {"game", "TitleTimeAttackIndex", "255", 0, 255, [](P) { return g_title_time_attack_index; }},
        {"game", "GameFirstPlay", "1", 0, 1, [](P) { return g_game_first_play; }},
        {"game", "GameClearFlag", "3", 0, 3, [](P) { return g_game_clear_flag; }},
        {"game", "GameClearFlagNightMare", "1", 0, 1, [](P) { return g_game_clear_flag_nightmare; }},
        {"game", "GameClearFlagEasy", "1", 0, 1, [](P) { return g_game_clear_flag_easy; }},
        {"game", "GubbLove", "48213", 0, 48213, [](P) { return g_gubb_love; }},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(std::string(c.section) + " " + c.key + "=" + c.value);
        app_reset_settings();
        EngineParams params = StartUp(current_file());
        EXPECT_EQ(c.field(params), c.fallback);
        app_reset_settings();
        params = StartUp(current_file().Section(c.section).Entry(c.key, c.value));
        EXPECT_EQ(c.field(params), c.read);
    }
}

TEST_F(GameSettings, FrameRateBoundsAreClamped)
{
    const struct {
        const char* min;
        const char* max;
        std::int32_t read_min;
        std::int32_t read_max;
    } cases[] = {
        {nullptr, "30", 5, 60},    {"100", nullptr, 100, 10000}, {"200", "100", 100, 100},
        {"1", "20000", 1, 10000},  {"90", "30", 60, 60},         {"0", nullptr, 5, 10000},
        {"-4", nullptr, 5, 10000}, {"-4", "60", 5, 60},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.min ? c.min : "-") + " " + (c.max ? c.max : "-"));
        IniWriter writer = current_file();
        writer.Section("kernel");
        if (c.min) writer.Entry("ClampInternalFrameRateMin", c.min);
        if (c.max) writer.Entry("ClampInternalFrameRateMax", c.max);
        EngineParams params = StartUp(writer);
        EXPECT_EQ(params.frame_rate_min, c.read_min);
        EXPECT_EQ(params.frame_rate_max, c.read_max);
    }
}

TEST_F(GameSettings, EngineRecordsCarryTheWindowAndTheFixedAudioFormat)
{
    TempFolder working;
    WorkingDirectoryGuard back;
    std::filesystem::current_path(working.path());
    EngineParams params = StartUp(IniWriter());
    char current[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(sizeof current, current), 0u);

    EXPECT_EQ(std::string(audio().music_dir), std::string(current) + "\\release\\music\\");
    EXPECT_EQ(audio().window, test_window());
    EXPECT_EQ(audio().channels, 2u);
    EXPECT_EQ(audio().sample_rate, 44100u);
    EXPECT_EQ(audio().bits_per_sample, 16u);
    EXPECT_EQ(audio().sound_groups, 484u);
    EXPECT_EQ(renderer().window, test_window());
    EXPECT_EQ(params.window, test_window());
    EXPECT_EQ(params.renderer_settings, &g_engine_settings.renderer);
    EXPECT_EQ(params.input_settings, &g_engine_settings.input);
    EXPECT_EQ(params.audio_settings, &g_engine_settings.audio);
}

TEST_F(GameSettings, SoundIsOffOnlyWhenMusicAndEffectsAreOff)
{
    const struct {
        const char* play_bgm;
        const char* play_effect;
        bool no_sound;
    } cases[] = {
        {"0", "0", true}, {"1", "0", false}, {"0", "1", false}, {nullptr, "0", false}, {"0x100", "0", true},
    };
    for (const auto& c : cases) {
        IniWriter writer = current_file();
        writer.Section("audio");
        if (c.play_bgm) writer.Entry("PlayBgm", c.play_bgm);
        if (c.play_effect) writer.Entry("PlayEffect", c.play_effect);
        StartUp(writer);
        EXPECT_EQ(audio().no_sound != 0, c.no_sound)
            << (c.play_bgm ? c.play_bgm : "-") << " " << c.play_effect;
    }
}

TEST_F(GameSettings, SoftwareSoundBuffersTurnTheReverbOff)
{
    StartUp(current_file().Section("audio").Int("Reverb", 1).Int("ForceSoftwareSoundBuffer", 1));
    EXPECT_EQ(audio().reverb, 0);
    EXPECT_EQ(audio().force_software_buffer, 1);
    EXPECT_EQ(g_reverb, 1); // the game's own switch keeps the file's value
}

TEST_F(GameSettings, ReadsTheDeviceIdentifierOnlyWhenWellFormed)
{
    StartUp(
        IniWriter().Section("renderer").String("DeviceIdentifier", "<01234567-89AB-CDEF-0123-456789ABCDEF>"));
    const GUID& id = renderer().device_identifier;
    EXPECT_EQ(id.Data1, 0x01234567u);
    EXPECT_EQ(id.Data2, 0x89AB);
    EXPECT_EQ(id.Data3, 0xCDEF);
    const std::uint8_t bytes[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(id.Data4[i], bytes[i]) << i;

    StartUp(IniWriter().Section("renderer").String("DeviceIdentifier", "<01234567-89AB>"));
    EXPECT_EQ(renderer().device_identifier.Data1, 0u);
}

struct AssignCase {
    const char* value; // null: no key
    bool preset_chosen;
    KeySlot slot;
    std::int32_t code;
};

TEST_F(GameSettings, KeyAssignmentsResolveByName)
{
    const AssignCase cases[] = {
        {"\"Page Up\"", false, KEY_MENU, 209},  {"\"pAgE   uP\"", false, KEY_MENU, 209},
        {"page up", false, KEY_MENU, 209},      {"\"\tPage\tUp \"", false, KEY_MENU, 209},
        {"\"PageDown\"", true, KEY_MENU, 201},  {"\"---\"", true, MOUSE_DIR, 259},
        {"\"Button16\"", true, PAD_MENU, 278},  {"\"\\\"", true, KEY_USE, 125},
        {"\"Nonsense\"", true, KEY_ACTION, 44}, {"\"\"", true, KEY_ACTION, INPUT_CODE_NONE},
        {"\"\"", false, KEY_ACTION, 44},        {nullptr, true, MOUSE_JUMP, INPUT_CODE_NONE},
        {nullptr, false, MOUSE_JUMP, 257},
    };
    for (const AssignCase& c : cases) {
        SCOPED_TRACE(std::string(c.value ? c.value : "(none)") + (c.preset_chosen ? " with FileIndex" : ""));
        IniWriter writer = current_file();
        writer.Section("input");
        if (c.preset_chosen) writer.Int("FileIndex", 1);
        std::string key = std::string("Assign{") + g_key_slot_table[c.slot].name + "}";
        if (c.value) writer.Entry(key, c.value);
        StartUp(writer);
        EXPECT_EQ(input().keys.codes[c.slot], c.code);
    }
}

TEST_F(GameSettings, ChosenPresetWithoutAssignmentsLeavesEverySlotEmpty)
{
    StartUp(IniWriter().Section("input").Int("FileIndex", 0).String("Assign{KEY_JUMP}", "Space"));
    for (int slot = 0; slot < KEY_SLOT_COUNT; ++slot)
        EXPECT_EQ(input().keys.codes[slot], slot == KEY_JUMP ? 57 : INPUT_CODE_NONE) << slot;
}

struct NameCase {
    const char* what;
    std::optional<std::string> name;
    std::optional<std::string> separator;
    std::string full, given, family, separator_after;
};

TEST_F(GameSettings, HeroNamesAreSplitFromPlayerName)
{
    const std::string long_name = "Maximilianus Featherstonehaughington";
    const std::string cut_name = std::string(37, 'a') + "\x83\x57";
    const NameCase cases[] = {
        {"no keys", {}, {}, "Bram Valdrick", "Bram", "Valdrick", " "},
        {"Japanese default", k_japanese_default, {}, "Bram Valdrick", "Bram", "Valdrick", " "},
        {"Japanese default, full-width separator", k_japanese_default, k_equals, "Bram Valdrick", "Bram",
         "Valdrick", " "},
        {"trail byte differs only in letter case", k_japanese_other, k_equals, k_japanese_other,
         k_other_given, k_japanese_family, k_equals},
        {"default in other case with full-width separator", "bram valdrick", k_equals, "bram valdrick",
         "bram", "valdrick", " "},
        {"no blank and no separator", "Alice", {}, "Alice", "Bram", "Valdrick", " "},
        {"single-byte separator ignored", "Kim-Lee", "-", "Kim-Lee", "Bram", "Valdrick", " "},
        {"full-width separator", k_jon + k_equals + k_sumisu, k_equals, k_jon + k_equals + k_sumisu, k_jon,
         k_sumisu, k_equals},
        {"family after the last blank",
         "Anna Maria Schmidt",
         {},
         "Anna Maria Schmidt",
         "Anna",
         "Schmidt",
         " "},
        {"blank with a full-width separator set", "John Smith", k_equals, "John Smith", "John", "Smith",
         k_equals},
        {"parts cut to their limits", long_name, {}, long_name, "Maximilian", "Featherstonehaughin", " "},
        {"full name cut before a double-byte character",
         cut_name,
         {},
         std::string(37, 'a'),
         "Bram",
         "Valdrick",
         " "},
        {"empty name", "", {}, "Bram Valdrick", "Bram", "Valdrick", " "},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.what);
        app_reset_settings();
        IniWriter writer = current_file();
        writer.Section("game");
        if (c.name) writer.String("PlayerName", *c.name);
        if (c.separator) writer.String("AlternateNameSeparator", *c.separator);
        StartUp(writer);
        EXPECT_EQ(std::string(g_player_full_name), c.full);
        EXPECT_EQ(std::string(g_player_given_name), c.given);
        EXPECT_EQ(std::string(g_player_family_name), c.family);
        EXPECT_EQ(std::string(g_name_separator), c.separator_after);
    }
}

TEST_F(GameSettings, SstpTargetNeedsTheSwitchAndARunningMascot)
{
    const struct {
        const char* what;
        bool current;
        const char* enable;
        const char* mutex;
        bool target;
    } cases[] = {
        {"mascot mutex sakura", true, "1", "sakura", true},
        {"mascot mutex ssp", true, "1", "ssp", true},
        {"no mascot", true, "1", nullptr, false},
        {"other mutex only", true, "1", "MutexKroGame", false},
        {"switch off", true, "0", "sakura", false},
        {"switch missing", true, nullptr, "sakura", false},
        {"old file", false, "1", "sakura", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        app_reset_settings();
        TempFolder runtime;
        EnvOverride use_runtime("XDG_RUNTIME_DIR", runtime.host());
        HANDLE mutex = c.mutex ? CreateMutexA(nullptr, FALSE, c.mutex) : nullptr;
        IniWriter writer = c.current ? current_file() : IniWriter();
        writer.Section("kernel");
        if (c.enable) writer.Entry("SSTPEnable", c.enable);
        StartUp(writer);
        EXPECT_EQ(std::string(g_sstp_target.host), c.target ? "127.0.0.1" : "");
        EXPECT_EQ(g_sstp_target.port, c.target ? 9801 : 0);
        if (mutex) CloseHandle(mutex);
    }
}

// Every key that needs the current version, set away from its default.
IniWriter file_with_current_keys(std::optional<std::string> version)
{
    IniWriter writer;
    if (version) writer.Entry("IniVersion", *version);
    writer.Section("kernel").Int("HighResoText", 0).Int("WindowPosX", 30);
    writer.Section("renderer")
        .Int("Windowed", 1)
        .Int("BackBufferWidth", 800)
        .Int("DP3Bump", 1)
        .Int("ShowFPS", 1)
        .Int("LowResoShadow", 1)
        .Int("RenderShadow", 0)
        .Int("FireBlur", 1);
    writer.Section("audio").Int("PlayBgm", 0).Int("PlayEffect", 0).Int("Reverb", 1);
    writer.Section("input")
        .Int("ForceFeedback", 0)
        .Int("GamePad", 0)
        .Int("PadAnalog", 1)
        .Int("DashControl", 0);
    writer.Section("game")
        .Int("BloodyEffectLevel", 2)
        .Int("SaveFileNo", 4)
        .Int("TitleCursorIndex", 1)
        .Int("TitleGameDifficulty", 2)
        .Int("TitleTimeAttackIndex", 3)
        .Int("GameClearFlag", 2)
        .String("PlayerName", "Alice Liddell")
        .String("AlternateNameSeparator", k_equals)
        .String("TextFilter_Dictionary", "words.txt")
        .String("TextFilter_Delimiter", ",");
    return writer;
}

TEST_F(GameSettings, CurrentVersionKeysNeedIniVersion103)
{
    const struct {
        std::optional<std::string> version;
        bool current;
    } cases[] = {{"0x103", true}, {"259", true}, {"0x102", false}, {{}, false}, {"0x104", false}};
    std::string defaults = game_snapshot();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version ? *c.version : "no version");
        app_reset_settings();
        EngineParams params = StartUp(file_with_current_keys(c.version));
        EXPECT_EQ(g_app_windowed, c.current);
        EXPECT_EQ(params.windowed, c.current ? 1u : 0u);
        EXPECT_EQ(renderer().windowed, c.current);
        EXPECT_EQ(g_show_fps, c.current);
        EXPECT_EQ(g_high_reso_text, c.current ? 0 : 1);
        EXPECT_EQ(g_bloody_effect_level, c.current ? 2 : 0);
        EXPECT_EQ(std::string(g_player_full_name), c.current ? "Alice Liddell" : "Bram Valdrick");
        EXPECT_EQ(g_pad_analog, c.current);
        // Keys read always.
        EXPECT_EQ(renderer().back_buffer_width, 800u);
        EXPECT_EQ(input().pad_analog, 1);
        EXPECT_EQ(audio().no_sound, 1);
        EXPECT_EQ(params.window_x, 30);
        if (!c.current) {
            EXPECT_EQ(game_snapshot(), defaults);
        }
    }
}

TEST_F(GameSettings, OldFileIsBroughtUpToDateAtExit)
{
    StartUp(file_with_current_keys("0x102"));
    ShutDown();
    IniFile saved = Load();
    saved.FindSection("");
    EXPECT_EQ(saved.FindKey("IniVersion")->value, "0x103");
    saved.FindSection("game");
    const std::pair<const char*, const char*> written[] = {
        {"BloodyEffectLevel", "0"},          {"SaveFileNo", "0"},
        {"TitleCursorIndex", "0"},           {"TitleGameDifficulty", "0"},
        {"TitleTimeAttackIndex", "0"},       {"PlayerName", "Bram Valdrick"},
        {"AlternateNameSeparator", "\" \""}, {"TextFilter_Delimiter", "\" \\t\""},
        {"TextFilter_Dictionary", "\"\""},
    };
    for (const auto& [key, value] : written) {
        ASSERT_NE(saved.FindKey(key), nullptr) << key;
        EXPECT_EQ(saved.FindKey(key)->value, value) << key;
    }
    // Written only when set: the file keeps what it had.
    EXPECT_EQ(saved.FindKey("GameClearFlag")->value, "2");
    saved.FindSection("renderer");
    EXPECT_EQ(saved.FindKey("ShowFPS")->value, "0");
}

TEST_F(GameSettings, WritesBackInItsOrderAndForms)
{
    g_window_origin.remembered_x = 12;
    g_window_origin.remembered_y = -3;
    g_bloody_effect_level = 1;
    g_save_file_no = 5;
    g_title_cursor_index = 2;
    g_title_game_difficulty = 1;
    g_game_first_play = 1;
    g_game_clear_flag = 2;
    g_game_clear_flag_easy = 1;
    g_gubb_love = GUBB_LOVE_UNLOCKED;
    g_title_time_attack_index = 255;
    g_show_fps = 2;
    g_engine_settings.renderer.gamma = 0.75f;
    g_engine_settings.audio.bgm_volume = 300;
    g_engine_settings.audio.effect_volume = 1024;
    g_pad_analog = 1;
    g_dash_control = 0;
    g_atk_btn_magic = 1;

    std::string saved = ShutDown();
    IniWriter expected;
    expected.Hex("IniVersion", 0x103).Blank();
    expected.Section("kernel").Int("WindowPosX", 12).Int("WindowPosY", -3).Blank();
    expected.Section("game")
        .Int("BloodyEffectLevel", 1)
        .Int("SaveFileNo", 5)
        .Int("TitleCursorIndex", 2)
        .Int("TitleGameDifficulty", 1)
        .Int("GameFirstPlay", 1)
        .Int("GameClearFlag", 2)
        .Int("GameClearFlagEasy", 1)
        .Int("GubbLove", 48213)
        .Int("TitleTimeAttackIndex", 0)
        .Entry("PlayerName", "Bram Valdrick")
        .String("AlternateNameSeparator", " ")
        .String("TextFilter_Delimiter", " \t")
        .String("TextFilter_Dictionary", "")
        .Line("; use osaka.exe for dictionary")
        .Blank();
    expected.Section("renderer").Int("ShowFPS", 1).Entry("GammaValue", "0.75000000").Blank();
    expected.Section("audio").Int("BgmVolume", 300).Int("EffectVolume", 1024).Blank();
    expected.Section("input")
        .Int("PadAnalog", 1)
        .Int("DashControl", 0)
        .Int("AtkBtnMagic", 1)
        .Int("AlwaysDashOK", 0);
    EXPECT_EQ(saved, expected.Text());
    EXPECT_EQ(g_title_time_attack_index, 0);
}

TEST_F(GameSettings, ConditionalGameKeysLeaveTheFilesValueWhenUnset)
{
    const struct {
        const char* key;
        std::int32_t* gubb_love;
        std::uint8_t* flag;
        std::int32_t value;
        std::optional<std::string> in_file;
        std::optional<std::string> written;
    } cases[] = {
        {"GubbLove", &g_gubb_love, nullptr, 7, "3", "3"},
        {"GubbLove", &g_gubb_love, nullptr, 7, {}, {}},
        {"GubbLove", &g_gubb_love, nullptr, GUBB_LOVE_UNLOCKED, "3", "48213"},
        {"GameFirstPlay", nullptr, &g_game_first_play, 0, "1", "1"},
        {"GameFirstPlay", nullptr, &g_game_first_play, 1, {}, "1"},
        {"GameClearFlag", nullptr, &g_game_clear_flag, 0, "2", "2"},
        {"GameClearFlag", nullptr, &g_game_clear_flag, 3, "2", "3"},
        {"GameClearFlagNightMare", nullptr, &g_game_clear_flag_nightmare, 0, {}, {}},
        {"GameClearFlagEasy", nullptr, &g_game_clear_flag_easy, 1, "0", "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + std::to_string(c.value) + " over " +
                     c.in_file.value_or("none"));
        app_reset_settings();
        IniWriter writer;
        writer.Section("game");
        if (c.in_file) writer.Entry(c.key, *c.in_file);
        Put(writer);
        if (c.gubb_love) *c.gubb_love = c.value;
        if (c.flag) *c.flag = static_cast<std::uint8_t>(c.value);
        ShutDown();
        IniFile saved = Load();
        saved.FindSection("game");
        const IniEntry* entry = saved.FindKey(c.key);
        EXPECT_EQ(entry ? std::optional<std::string>(entry->value) : std::nullopt, c.written);
    }
}

TEST_F(GameSettings, RoundTripKeepsEveryGameValueAndTheOtherProgramsKeys)
{
    IniWriter writer = current_file();
    writer.Section("kernel").Int("SSTPEnable", 0).Int("WindowPosX", 100).Int("WindowPosY", 50);
    writer.Section("game")
        .Int("BloodyEffectLevel", 2)
        .Int("SaveFileNo", 12)
        .Int("TitleCursorIndex", 3)
        .Int("TitleGameDifficulty", 2)
        .Int("TitleTimeAttackIndex", 5)
        .Int("GameFirstPlay", 1)
        .Int("GameClearFlag", 3)
        .Int("GameClearFlagNightMare", 1)
        .Int("GameClearFlagEasy", 1)
        .Int("GubbLove", 7)
        .String("PlayerName", k_jon + k_equals + k_sumisu)
        .String("AlternateNameSeparator", k_equals)
        .Entry("TextFilter_Dictionary", "\"data\\dict.txt\"")
        .String("TextFilter_Delimiter", " ,\t");
    writer.Section("renderer").Int("Device", 1).Entry("GammaValue", "0.8").Int("ShowFPS", 1);
    writer.Section("audio").Int("BgmVolume", 100).Int("EffectVolume", 900);
    writer.Section("input")
        .Int("PadAnalog", 1)
        .Int("DashControl", 0)
        .Int("AtkBtnMagic", 1)
        .Int("AlwaysDashOK", 1)
        .Int("FileIndex", 1)
        .String("Assign{KEY_ACTION}", "PageUp");
    EngineParams params = StartUp(writer);
    std::string first = snapshot(params);
    g_window_origin.remembered_x = params.window_x;
    g_window_origin.remembered_y = params.window_y;
    ShutDown();

    IniFile saved = Load();
    saved.FindSection("game");
    EXPECT_EQ(saved.FindKey("GubbLove")->value, "7");
    EXPECT_EQ(saved.FindKey("TextFilter_Dictionary")->value, "\"data\\dict.txt\"");
    EXPECT_EQ(saved.FindKey("TextFilter_Delimiter")->value, "\" ,\\t\"");
    saved.FindSection("renderer");
    EXPECT_EQ(saved.FindKey("Device")->value, "1");
    EXPECT_EQ(saved.FindKey("GammaValue")->value, "0.80000001");
    saved.FindSection("input");
    EXPECT_EQ(saved.FindKey("FileIndex")->value, "1");
    EXPECT_EQ(saved.FindKey("Assign{KEY_ACTION}")->value, "\"PageUp\"");
    EXPECT_EQ(Saved().find("osaka"), std::string::npos);

    app_reset_settings();
    IniFile again = Load();
    ASSERT_EQ(app_read_ini_version(again), APP_INI_VERSION);
    app_read_kernel_settings(again);
    EngineParams params_again{};
    app_read_engine_settings(again, test_window(), params_again);
    app_read_game_settings(again);
    EXPECT_EQ(snapshot(params_again), first);
}

// A running game writes back its device's gamma and its audio manager's master volumes as they
// are at the end; without sound there is no manager and the volumes read at start stand.
TEST(SettingsWriteBack, WritesTheRunningGamesGammaAndMasterVolumes)
{
    const struct {
        const char* name;
        bool sound;
        const char* bgm_volume;
        const char* effect_volume;
    } cases[] = {
        {"with sound", true, "BgmVolume=300\r\n", "EffectVolume=1000\r\n"},
        {"without sound", false, "BgmVolume=100\r\n", "EffectVolume=900\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IniWriter writer = current_file();
        writer.Section("renderer").Int("Windowed", 1).Entry("GammaValue", "0.8");
        writer.Section("audio")
            .Int("BgmVolume", 100)
            .Int("EffectVolume", 900)
            .Int("PlayBgm", c.sound)
            .Int("PlayEffect", c.sound);
        StartedGame game(writer.Text("\r\n"));
        ASSERT_EQ(game.start(), S_OK) << g_error_text;
        g_device_settings.settings.gamma = 1.5f;
        d3d_set_gamma(true);
        audio_set_bgm_volume(300);
        audio_set_effect_volume(1000);
        g_game_ran = true;
        game.shut_down();
        std::string saved = read_host_file(game.user().user_folder() / "kro_win.ini");
        EXPECT_NE(saved.find("GammaValue=1.50000000\r\n"), std::string::npos) << saved;
        EXPECT_NE(saved.find(c.bgm_volume), std::string::npos) << saved;
        EXPECT_NE(saved.find(c.effect_volume), std::string::npos) << saved;
    }
}

} // namespace
