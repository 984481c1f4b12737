// Message boxes, as the programs call them.
#pragma once

#include "platform/win_window.h"

// Buttons (the low four bits of the type) and icons.
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_RETRYCANCEL = 0x5;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// A modal message box when a real display is present (owned by the owner window when it is one
// of the program's); closing it answers as its Cancel (or No) button would. Without a display
// (none at all, or SDL's dummy or offscreen driver, as in tests) the text goes to standard
// error and the first button answers, so no run can hang on a dialog nobody sees. The texts
// are Shift-JIS. Tests script the answers (platform/impl/window_seams.h).
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
