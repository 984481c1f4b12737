// A visible window of a class of its own, for tests that need a real window handle.
#pragma once

#include "platform/win_kernel.h"
#include "platform/win_window.h"

// Registers `class_name` with `proc` and makes a window of that class whose outer size (frame
// and caption included) is this size; null when either step fails.
inline HWND test_window_create(const char* class_name, WNDPROC proc, int width, int height)
{
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = proc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = class_name;
    if (!RegisterClassExA(&window_class)) return nullptr;
    return CreateWindowExA(0, class_name, class_name, 0x10CB0000, 0, 0, width, height, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}
