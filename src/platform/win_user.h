// User-interface services of the platform, as the game calls them.
#pragma once

#include "platform/win_types.h"

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_ICONERROR = 0x10;
constexpr int IDOK = 1;

// A modal message box when a real display is present; without one (no display, or SDL's
// dummy or offscreen driver, as in tests) the text goes to standard error instead, so no
// run can hang on a dialog nobody sees. The texts are Shift-JIS.
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
