// The input part of the engine settings, shared by the game and the settings program: the 34 key
// assignment slots, their default keys and the key names both programs read and write as
// "Assign{<slot name>}" values of the [input] section.
#pragma once

#include <cstddef>
#include <cstdint>

// Input codes of an assignment slot.
constexpr std::int32_t INPUT_CODE_NONE = -1;          // slot unassigned
constexpr std::int32_t INPUT_CODE_MOUSE_BUTTON = 256; // 256-258 mouse buttons 0-2
constexpr std::int32_t INPUT_CODE_NO_INPUT = 259;     // 259-262 "---" (259 is mouse button 3 for MOUSE_DIR)
constexpr std::int32_t INPUT_CODE_PAD_BUTTON = 263;   // 263 and up: controller button (code - 263)

enum KeySlot : std::int32_t {
    KEY_ACTION,
    KEY_JUMP,
    KEY_SHOT,
    KEY_USE,
    KEY_MENU,
    KEY_WALK,
    KEY_SWORD_REVD,
    KEY_SWORD_REVU,
    KEY_SWORD0,
    KEY_SWORD1,
    KEY_SWORD2,
    KEY_UP,
    KEY_DOWN,
    KEY_LEFT,
    KEY_RIGHT,
    KEY_UPLEFT,
    KEY_UPRIGHT,
    KEY_DOWNLEFT,
    KEY_DOWNRIGHT,
    MOUSE_DIR,
    PAD_ACTION,
    PAD_JUMP,
    PAD_SHOT,
    PAD_USE,
    PAD_MENU,
    PAD_WALK,
    PAD_SWORD_REVD,
    PAD_SWORD_REVU,
    MOUSE_ACTION,
    MOUSE_JUMP,
    MOUSE_SHOT,
    MOUSE_USE,
    MOUSE_MENU,
    MOUSE_WALK,
    KEY_SLOT_COUNT
};

// One input code per slot, in slot order.
struct KeyAssignTable {
    std::int32_t codes[KEY_SLOT_COUNT];
};
static_assert(sizeof(KeyAssignTable) == 136);

// A slot's name is the ini key suffix of "Assign{%s}".
struct KeySlotName {
    const char* name;
    KeySlot slot;
};

inline constexpr KeySlotName g_key_slot_table[KEY_SLOT_COUNT] = {
    {"KEY_ACTION", KEY_ACTION},
    {"KEY_JUMP", KEY_JUMP},
    {"KEY_SHOT", KEY_SHOT},
    {"KEY_USE", KEY_USE},
    {"KEY_MENU", KEY_MENU},
    {"KEY_WALK", KEY_WALK},
    {"KEY_SWORD_REVD", KEY_SWORD_REVD},
    {"KEY_SWORD_REVU", KEY_SWORD_REVU},
    {"KEY_SWORD0", KEY_SWORD0},
    {"KEY_SWORD1", KEY_SWORD1},
    {"KEY_SWORD2", KEY_SWORD2},
    {"KEY_UP", KEY_UP},
    {"KEY_DOWN", KEY_DOWN},
    {"KEY_LEFT", KEY_LEFT},
    {"KEY_RIGHT", KEY_RIGHT},
    {"KEY_UPLEFT", KEY_UPLEFT},
    {"KEY_UPRIGHT", KEY_UPRIGHT},
    {"KEY_DOWNLEFT", KEY_DOWNLEFT},
    {"KEY_DOWNRIGHT", KEY_DOWNRIGHT},
    {"MOUSE_DIR", MOUSE_DIR},
    {"PAD_ACTION", PAD_ACTION},
    {"PAD_JUMP", PAD_JUMP},
    {"PAD_SHOT", PAD_SHOT},
    {"PAD_USE", PAD_USE},
    {"PAD_MENU", PAD_MENU},
    {"PAD_WALK", PAD_WALK},
    {"PAD_SWORD_REVD", PAD_SWORD_REVD},
    {"PAD_SWORD_REVU", PAD_SWORD_REVU},
    {"MOUSE_ACTION", MOUSE_ACTION},
    {"MOUSE_JUMP", MOUSE_JUMP},
    {"MOUSE_SHOT", MOUSE_SHOT},
    {"MOUSE_USE", MOUSE_USE},
    {"MOUSE_MENU", MOUSE_MENU},
    {"MOUSE_WALK", MOUSE_WALK},
};

// A slot's code in a key preset and the label the settings program shows for the slot.
struct KeyAssignPreset {
    std::int32_t code;
    const char* label;
};

// "Preset Type 1 [Arrows/ZXCV]": the game's default assignments.
inline constexpr KeyAssignPreset g_key_preset_arrows[KEY_SLOT_COUNT] = {
    {44, "Attack/OK"},     {45, "Jump/Cancel"},  {46, "Use Magic"},       {47, "Use Boost"},
    {57, "Camp Menu"},     {42, "Walk/Run"},     {31, "Prev. Bracelet"},  {32, "Next Bracelet"},
    {2, "Bracelet 1"},     {3, "Bracelet 2"},    {4, "Bracelet 3"},       {72, "Move Up"},
    {80, "Move Down"},     {75, "Move Left"},    {77, "Move Right"},      {71, "Move Up-Left"},
    {73, "Move Up-Right"}, {79, "Move Dn-Left"}, {81, "Move Dn-Right"},   {256, "Mouse Movement"},
    {263, "Attack/OK"},    {264, "Jump/Cancel"}, {265, "Use Magic"},      {266, "Use Boost"},
    {272, "Camp Menu"},    {271, "Walk/Run"},    {267, "Prev. Bracelet"}, {270, "Next Bracelet"},
    {259, "Attack/OK"},    {257, "Jump/Cancel"}, {260, "Use Magic"},      {258, "Use Boost"},
    {261, "Camp Menu"},    {262, "Walk/Run"},
};

// The codes of a preset as an assignment table.
constexpr KeyAssignTable input_preset_codes(const KeyAssignPreset (&preset)[KEY_SLOT_COUNT])
{
    KeyAssignTable table{};
    for (int slot = 0; slot < KEY_SLOT_COUNT; ++slot)
        table.codes[slot] = preset[slot].code;
    return table;
}

// Device flag bits of InputSettings.
constexpr std::uint32_t INPUT_DEVICE_KEYBOARD = 0x1;
constexpr std::uint32_t INPUT_DEVICE_MOUSE = 0x2;
constexpr std::uint32_t INPUT_DEVICE_GAME_CONTROLLER = 0x4;
constexpr std::uint32_t INPUT_DEVICE_RESERVED = 0x8; // set by default, read by nothing
constexpr std::uint32_t INPUT_DEVICE_KEYBOARD_EXCLUSIVE = 0x10;
constexpr std::uint32_t INPUT_DEVICE_MOUSE_EXCLUSIVE = 0x20;

// The [input] settings block handed to the engine start-up. A value-initialised block holds the
// defaults.
struct InputSettings {
    std::uint32_t devices =
        INPUT_DEVICE_KEYBOARD | INPUT_DEVICE_MOUSE | INPUT_DEVICE_GAME_CONTROLLER | INPUT_DEVICE_RESERVED;
    KeyAssignTable keys = input_preset_codes(g_key_preset_arrows);
    std::int32_t double_click_polls = 12;     // "DoubleClickFrame"
    float dead_zone = 0.35f;                  // "DeadZone", fraction of the full stick throw
    float run_walk_threshold = 0.5f;          // "RunWalkThreshold"
    float mouse_sensitivity = 1.0f;           // "MouseSensitivity"; kept, not applied by the poll
    std::uint8_t mouse_buttons_ok_cancel = 1; // "MouseButtonAlwaysOkCancel"
    std::uint8_t pad_analog = 0;              // "PadAnalog": the stick behaves like an eight-way pad
    // The game keeps its own copies of these three; the engine does not read them.
    std::uint8_t dash_control = 1;   // "DashControl"
    std::uint8_t atk_btn_magic = 0;  // "AtkBtnMagic"
    std::uint8_t always_dash_ok = 0; // "AlwaysDashOK"
};
static_assert(sizeof(InputSettings) == 164);

// An input code and its name as assignments spell it.
struct KeyName {
    std::int32_t code;
    const char* name;
};

constexpr std::size_t KEY_NAME_COUNT = 131;
constexpr std::size_t KEY_NAME_SIZE = 32; // an "Assign{%s}" value, terminator included

// In ascending code order. Codes 259-262 all read "---", so "---" reads back as 259.
extern const KeyName g_key_name_table[KEY_NAME_COUNT];

// The name of a code; null for a code without one (-1 among them).
const char* input_key_name(std::int32_t code);
// The code an assignment value names: blanks and tabs are ignored on both sides and letter case
// does not count; the first entry in table order wins. False, `code` unchanged, for no match.
bool input_key_code_from_name(const char* text, std::int32_t& code);
// The value written for a code: its name without blanks ("Page Up" -> "PageUp"); empty for a
// code without a name.
void input_key_ini_text(std::int32_t code, char (&text)[KEY_NAME_SIZE]);
