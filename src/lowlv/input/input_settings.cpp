#include "lowlv/input/input_settings.h"

#include "core/text.h"

#include <cstring>

// Codes 201 and 209 carry "Page Down" and "Page Up" in this order; stored settings depend on it.
const KeyName g_key_name_table[KEY_NAME_COUNT] = {
    {1, "Esc"},         {2, "1"},           {3, "2"},
    {4, "3"},           {5, "4"},           {6, "5"},
    {7, "6"},           {8, "7"},           {9, "8"},
    {10, "9"},          {11, "0"},          {12, "-"},
    {13, "="},          {14, "BackSpace"},  {15, "Tab"},
    {16, "Q"},          {17, "W"},          {18, "E"},
    {19, "R"},          {20, "T"},          {21, "Y"},
    {22, "U"},          {23, "I"},          {24, "O"},
    {25, "P"},          {26, "["},          {27, "]"},
    {28, "Enter"},      {29, "L-Ctrl"},     {30, "A"},
    {31, "S"},          {32, "D"},          {33, "F"},
    {34, "G"},          {35, "H"},          {36, "J"},
    {37, "K"},          {38, "L"},          {39, ";"},
    {40, "'"},          {41, "`"},          {42, "L-Shift"},
    {43, "_"},          {44, "Z"},          {45, "X"},
    {46, "C"},          {47, "V"},          {48, "B"},
    {49, "N"},          {50, "M"},          {51, ","},
    {52, "."},          {53, "/"},          {54, "R-Shift"},
    {55, "*"},          {56, "L-Alt"},      {57, "Space"},
    {58, "CapsLock"},   {59, "F1"},         {60, "F2"},
    {61, "F3"},         {62, "F4"},         {63, "F5"},
    {64, "F6"},         {65, "F7"},         {66, "F8"},
    {67, "F9"},         {68, "F10"},        {69, "NumLock"},
    {70, "ScrollLock"}, {71, "Numpad 7"},   {72, "Numpad 8"},
    {73, "Numpad 9"},   {74, "Numpad -"},   {75, "Numpad 4"},
    {76, "Numpad 5"},   {77, "Numpad 6"},   {78, "Numpad +"},
    {79, "Numpad 1"},   {80, "Numpad 2"},   {81, "Numpad 3"},
    {82, "Numpad 0"},   {83, "Numpad ."},   {87, "F11"},
    {88, "F12"},        {125, "\\"},        {144, "^"},
    {145, "@"},         {146, ":"},         {156, "Numpad Enter"},
    {157, "R-Ctrl"},    {181, "Numpad /"},  {183, "Print Screen"},
    {184, "R-Alt"},     {197, "Pause"},     {199, "Home"},
    {200, "Up"},        {201, "Page Down"}, {203, "Left"},
    {205, "Right"},     {207, "End"},       {208, "Down"},
    {209, "Page Up"},   {210, "Insert"},    {211, "Delete"},
    {219, "L-Win"},     {220, "R-Win"},     {221, "Apps"},
    {256, "L-Button"},  {257, "R-Button"},  {258, "M-Button"},
    {259, "---"},       {260, "---"},       {261, "---"},
    {262, "---"},       {263, "Button 1"},  {264, "Button 2"},
    {265, "Button 3"},  {266, "Button 4"},  {267, "Button 5"},
    {268, "Button 6"},  {269, "Button 7"},  {270, "Button 8"},
    {271, "Button 9"},  {272, "Button 10"}, {273, "Button 11"},
    {274, "Button 12"}, {275, "Button 13"}, {276, "Button 14"},
    {277, "Button 15"}, {278, "Button 16"},
};

namespace {

char fold_case(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// `text` holds no blanks; the name's blanks are skipped. Key names are plain ASCII.
bool matches_without_blanks(const char* text, const char* name)
{
    for (;; ++name) {
        if (*name == ' ') continue;
        if (fold_case(*text) != fold_case(*name)) return false;
        if (*name == '\0') return true;
        ++text;
    }
}

} // namespace

const char* input_key_name(std::int32_t code)
{
    for (const KeyName& entry : g_key_name_table) {
        if (entry.code == code) return entry.name;
    }
    return nullptr;
}

bool input_key_code_from_name(const char* text, std::int32_t& code)
{
    char compact[KEY_NAME_SIZE];
    sys_copy_string(compact, text, sizeof compact);
    sys_strip_blanks(compact);
    for (const KeyName& entry : g_key_name_table) {
        if (matches_without_blanks(compact, entry.name)) {
            code = entry.code;
            return true;
        }
    }
    return false;
}

void input_key_ini_text(std::int32_t code, char (&text)[KEY_NAME_SIZE])
{
    std::size_t used = 0;
    if (const char* name = input_key_name(code)) {
        for (; *name != '\0' && used + 1 < sizeof text; ++name) {
            if (*name != ' ') text[used++] = *name;
        }
    }
    text[used] = '\0';
}
