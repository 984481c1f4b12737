#include "lowlv/input/input_settings.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The documented scan codes 1-83, 87, 88, 125, 144-146, 156, 157, 181, 183, 184, 197, 199-201, 203,
// 205, 207-211 and 219-221, then the mouse and controller codes 256-278.
std::vector<std::int32_t> documented_codes()
{
    std::vector<std::int32_t> codes;
    auto range = [&](int first, int last) {
        for (int code = first; code <= last; ++code)
            codes.push_back(code);
    };
    range(1, 83);
    range(87, 88);
    range(125, 125);
    range(144, 146);
    range(156, 157);
    range(181, 181);
    range(183, 184);
    range(197, 197);
    range(199, 201);
    range(203, 203);
    range(205, 205);
    range(207, 211);
    range(219, 221);
    range(256, 278);
    return codes;
}

std::string ini_text(std::int32_t code)
{
    char text[KEY_NAME_SIZE];
    input_key_ini_text(code, text);
    return text;
}

} // namespace

TEST(KeyNameTable, HoldsEveryDocumentedCodeOnceInAscendingOrder)
{
    std::vector<std::int32_t> codes;
    for (const KeyName& entry : g_key_name_table)
        codes.push_back(entry.code);
    EXPECT_EQ(codes, documented_codes());
}

TEST(KeyNameTable, NamesTheCodesStoredSettingsDependOn)
{
    const struct {
        std::int32_t code;
        const char* name;
    } cases[] = {
        {1, "Esc"},         {11, "0"},         {43, "_"},          {57, "Space"},
        {74, "Numpad -"},   {83, "Numpad ."},  {125, "\\"},        {183, "Print Screen"},
        {201, "Page Down"}, {209, "Page Up"},  {256, "L-Button"},  {259, "---"},
        {262, "---"},       {263, "Button 1"}, {278, "Button 16"},
    };
    for (const auto& c : cases) {
        ASSERT_NE(input_key_name(c.code), nullptr) << c.code;
        EXPECT_STREQ(input_key_name(c.code), c.name) << c.code;
    }
    EXPECT_EQ(input_key_name(INPUT_CODE_NONE), nullptr);
    EXPECT_EQ(input_key_name(84), nullptr);
    EXPECT_EQ(input_key_name(279), nullptr);
}

TEST(KeyNameTable, EveryWrittenNameReadsBackToItsCode)
{
    for (const KeyName& entry : g_key_name_table) {
        std::string text = ini_text(entry.code);
        EXPECT_EQ(text.find(' '), std::string::npos) << entry.name;
        // The four "---" codes share one name, and the first of them wins.
        std::int32_t expected = std::strcmp(entry.name, "---") == 0 ? INPUT_CODE_NO_INPUT : entry.code;
        for (std::string spelling : {text, std::string(entry.name)}) {
            for (char& c : spelling)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            std::int32_t code = -2;
            EXPECT_TRUE(input_key_code_from_name(spelling.c_str(), code)) << spelling;
            EXPECT_EQ(code, expected) << spelling;
        }
    }
}

TEST(KeyNameTable, AssignmentValuesMatchWhateverTheirBlanksAndCase)
{
    const struct {
        const char* text;
        bool found;
        std::int32_t code;
    } cases[] = {
        {"Page Up", true, 209},
        {"PAGEUP", true, 209},
        {" p a g e\tu p ", true, 209},
        {"pagedown", true, 201},
        {"Numpad-", true, 74},
        {"-", true, 12},
        {"button10", true, 272},
        {"Button1", true, 263},
        {"---", true, 259},
        {"PageUpX", false, 0},
        {"", false, 0},
        {"Page", false, 0},
        {"this text is far longer than any assignment value can be", false, 0},
    };
    for (const auto& c : cases) {
        std::int32_t code = 0;
        EXPECT_EQ(input_key_code_from_name(c.text, code), c.found) << c.text;
        EXPECT_EQ(code, c.code) << c.text;
    }
}

TEST(KeyNameTable, CodesWithoutANameAreWrittenEmpty)
{
    EXPECT_EQ(ini_text(INPUT_CODE_NONE), "");
    EXPECT_EQ(ini_text(300), "");
    EXPECT_EQ(ini_text(183), "PrintScreen");
    EXPECT_EQ(ini_text(156), "NumpadEnter");
}

TEST(InputSettings, DefaultsAreTheArrowsPreset)
{
    InputSettings settings{};
    EXPECT_EQ(settings.devices, 0xFu);
    for (int slot = 0; slot < KEY_SLOT_COUNT; ++slot) {
        EXPECT_EQ(g_key_slot_table[slot].slot, slot);
        EXPECT_EQ(settings.keys.codes[slot], g_key_preset_arrows[slot].code) << g_key_slot_table[slot].name;
        EXPECT_NE(input_key_name(settings.keys.codes[slot]), nullptr) << g_key_slot_table[slot].name;
    }
    EXPECT_STREQ(input_key_name(settings.keys.codes[KEY_ACTION]), "Z");
    EXPECT_STREQ(input_key_name(settings.keys.codes[KEY_WALK]), "L-Shift");
    EXPECT_STREQ(input_key_name(settings.keys.codes[KEY_UP]), "Numpad 8");
    EXPECT_STREQ(input_key_name(settings.keys.codes[MOUSE_DIR]), "L-Button");
    EXPECT_STREQ(input_key_name(settings.keys.codes[PAD_MENU]), "Button 10");
    EXPECT_STREQ(g_key_slot_table[MOUSE_WALK].name, "MOUSE_WALK");
    EXPECT_STREQ(g_key_preset_arrows[KEY_DOWNLEFT].label, "Move Dn-Left");
    EXPECT_EQ(settings.double_click_polls, 12);
    EXPECT_EQ(settings.dead_zone, 0.35f);
    EXPECT_EQ(settings.run_walk_threshold, 0.5f);
    EXPECT_EQ(settings.mouse_sensitivity, 1.0f);
    EXPECT_EQ(settings.mouse_buttons_ok_cancel, 1);
    EXPECT_EQ(settings.pad_analog, 0);
    EXPECT_EQ(settings.dash_control, 1);
    EXPECT_EQ(settings.atk_btn_magic, 0);
    EXPECT_EQ(settings.always_dash_ok, 0);
}
