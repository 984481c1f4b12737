// Shared by the window-layer tests: a private runtime folder per test and a recording window
// procedure.
#pragma once

#include "platform/impl/window_seams.h"
#include "platform/win_kernel.h"
#include "platform/win_window.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct SeenMessage {
    HWND window;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};

// What the recording procedure saw, and an optional answer that replaces the default procedure.
inline std::vector<SeenMessage> g_seen;
inline std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)> g_answer;

inline LRESULT recording_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    g_seen.push_back({window, message, wparam, lparam});
    if (g_answer)
        if (auto answer = g_answer(window, message, wparam, lparam)) return *answer;
    return DefWindowProcA(window, message, wparam, lparam);
}

// Points XDG_RUNTIME_DIR at a fresh folder, so no other test sees its windows and atoms.
class RuntimeFolder {
public:
    std::string path() const { return m_folder.host(); }

private:
    TempFolder m_folder;
    EnvOverride m_environment{"XDG_RUNTIME_DIR", m_folder.host()};
};

// A test with its own runtime folder and a window class "KroTest" of the recording procedure;
// windows still alive at the end are destroyed.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_seen.clear();
        g_answer = nullptr;
        WNDCLASSEXA window_class{};
        window_class.cbSize = sizeof window_class;
        window_class.lpfnWndProc = recording_proc;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
        window_class.lpszClassName = "KroTest";
        ASSERT_NE(RegisterClassExA(&window_class), 0);
    }

    void TearDown() override
    {
        g_answer = nullptr;
        for (HWND window : m_windows)
            if (IsWindow(window)) DestroyWindow(window);
        drain();
        UnregisterClassA("KroTest", GetModuleHandleA(nullptr));
    }

    // By default the game's windowed window: a 640 x 480 client area.
    HWND create(DWORD style = 0x10CB0000, int x = 100, int y = 50, int width = 0, int height = 0)
    {
        if (width == 0) {
            RECT rect{0, 0, 640, 480};
            AdjustWindowRect(&rect, style & ~WS_VISIBLE, FALSE);
            width = rect.right - rect.left;
            height = rect.bottom - rect.top;
        }
        HWND window = CreateWindowExA(0, "KroTest", "Test window", style, x, y, width, height, nullptr,
                                      nullptr, GetModuleHandleA(nullptr), nullptr);
        m_windows.push_back(window);
        return window;
    }

    // Dispatches everything waiting, as a message loop would.
    static void drain()
    {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }

    static std::vector<SeenMessage> seen_of(UINT message)
    {
        std::vector<SeenMessage> found;
        for (const SeenMessage& seen : g_seen)
            if (seen.message == message) found.push_back(seen);
        return found;
    }

    static std::vector<UINT> seen_sequence()
    {
        std::vector<UINT> sequence;
        for (const SeenMessage& seen : g_seen)
            sequence.push_back(seen.message);
        return sequence;
    }

    RuntimeFolder m_runtime;
    std::vector<HWND> m_windows;
};
