// Surroundings for tests that run the game: a user of its own (data home and runtime folder
// in a fresh temporary folder), so runs in parallel never see each other's windows, mutexes,
// settings or store.
#pragma once

#include "app/app_entry.h"
#include "app/app_window.h"
#include "core/sys.h"
#include "lib/archive_writer.h"
#include "lib/demo_writer.h"
#include "lib/ini_writer.h"
#include "lowlv/d3d/d3d_shader.h"
#include "platform/win_crt.h"
#include "platform/win_window.h"
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

class GameUser {
public:
    std::filesystem::path data_home() const { return m_folder.path() / "data"; }
    std::filesystem::path user_folder() const { return data_home() / "CORVAN" / "kro_win"; }

private:
    TempFolder m_folder;
    bool m_made = std::filesystem::create_directories(m_folder.path() / "run") &&
                  std::filesystem::create_directories(m_folder.path() / "data");
    EnvOverride m_runtime{"XDG_RUNTIME_DIR", m_folder.host("run")};
    EnvOverride m_data{"XDG_DATA_HOME", m_folder.host("data")};
};

// The game installed as a player has it: the program in a folder of its own with its
// "common.ini" pointing at the demo data. The program finds "common.ini" beside itself, so
// each install is a copy and parallel runs never share one.
class GameInstall {
public:
    GameInstall()
    {
        std::filesystem::create_directories(m_folder.path() / "program");
        std::filesystem::copy_file(KRO_WIN_PATH, program());
        EXPECT_TRUE(demo_write_data(data_folder(), shader_file_names()));
        write_text(m_folder.path() / "program" / "common.ini", demo_common_ini(data_folder()));
    }
    std::filesystem::path program() const { return m_folder.path() / "program" / "kro_win"; }
    std::filesystem::path data_folder() const { return m_folder.path() / "data"; }

    static void write_text(const std::filesystem::path& path, const std::string& text)
    {
        std::filesystem::create_directories(path.parent_path());
        EXPECT_TRUE(
            tools_write_file(path, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}));
    }

private:
    TempFolder m_folder;
};

// The demo's game settings with music and effects switched on or off.
inline std::string game_ini_with_sound(bool play_bgm, bool play_effect)
{
    IniWriter ini;
    ini.Hex("IniVersion", 0x103);
    ini.Section("renderer").Int("Windowed", 1);
    ini.Section("audio").Int("PlayBgm", play_bgm).Int("PlayEffect", play_effect);
    return ini.Text("\r\n");
}

// The shutdown only hides the game's window, as the process ends right after it. A test that ran
// the game in this process destroys the window, so the next start there finds no game running,
// and drops the quit message the window posts as it goes, so the next main loop does not end at once.
inline void destroy_hidden_game_window()
{
    if (HWND window = FindWindowA(APP_WINDOW_CLASS, nullptr)) {
        DestroyWindow(window);
        MSG quit;
        while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
    UnregisterClassA(APP_WINDOW_CLASS, g_hinstance);
}

// The game started in this process as the program body starts it, on the demo data beside the
// test program, for a user whose "kro_win.ini" holds `game_ini`; shut down again at the end.
class StartedGame {
public:
    explicit StartedGame(const std::string& game_ini = demo_game_ini())
    {
        GameInstall::write_text(m_user.user_folder() / "kro_win.ini", game_ini);
    }
    ~StartedGame() { shut_down(); }
    StartedGame(const StartedGame&) = delete;
    StartedGame& operator=(const StartedGame&) = delete;

    // The start-up chain's result; a failing step's text is in g_error_text.
    HRESULT start()
    {
        char name[] = "kro_win";
        char* arguments[] = {name};
        crt_set_arguments(1, arguments);
        g_hinstance = nullptr;
        g_error_text[0] = '\0';
        g_game_ran = false;
        sys_startup(APP_WORK_BLOCK_SIZE);
        m_started = true;
        return app_startup(g_error_text);
    }
    // The shutdown chain, which writes the settings back when g_game_ran is set.
    void shut_down()
    {
        if (!m_started) return;
        m_started = false;
        app_shutdown();
        destroy_hidden_game_window();
        g_game_ran = false;
    }
    const GameUser& user() const { return m_user; }

private:
    GameUser m_user;
    bool m_started = false;
};

// The real program, started headless with arguments; its output is collected when it ends.
class GameProcess {
public:
    GameProcess(const GameInstall& install, const std::string& arguments)
    {
        std::string command = install.program().string() + " " + arguments + " 2>&1";
        m_pipe = popen(command.c_str(), "r");
    }
    ~GameProcess()
    {
        if (m_pipe) finish();
    }
    GameProcess(const GameProcess&) = delete;
    GameProcess& operator=(const GameProcess&) = delete;

    // Waits until the program's window exists; null when it did not come within the time.
    static HWND wait_for_window(const char* window_class = "Corvan")
    {
        for (int tries = 0; tries < 500; ++tries) {
            if (HWND window = FindWindowA(window_class, nullptr)) return window;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return nullptr;
    }

    // Waits for the end; the exit code, -1 when it did not exit normally.
    int finish()
    {
        std::array<char, 256> chunk;
        while (std::size_t n = std::fread(chunk.data(), 1, chunk.size(), m_pipe))
            m_output.append(chunk.data(), n);
        int status = pclose(m_pipe);
        m_pipe = nullptr;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    const std::string& output() const { return m_output; }

private:
    FILE* m_pipe = nullptr;
    std::string m_output;
};
