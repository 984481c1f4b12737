// Surroundings for tests that run the game: a user of its own (data home and runtime folder
// in a fresh temporary folder), so runs in parallel never see each other's windows, mutexes,
// settings or store.
#pragma once

#include "app/app_entry.h"
#include "app/app_loop.h"
#include "app/app_window.h"
#include "core/sys.h"
#include "core/timer.h"
#include "game/g_game.h"
#include "game/g_pointer.h"
#include "lib/archive_writer.h"
#include "lib/demo_writer.h"
#include "lib/ini_writer.h"
#include "lowlv/d3d/d3d_shader.h"
#include "lowlv/input/input_poll.h"
#include "lowlv/input/input_state.h"
#include "platform/impl/d3d8_seams.h"
#include "platform/impl/dinput_seams.h"
#include "platform/impl/test_seams.h"
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
        hud_pointer_init();
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

// Frames of the started game run one at a time on a fake clock: 1000 counts of the performance
// counter are one tick. Without sound no audio thread reads the clock beside the test.
constexpr std::int64_t k_counts_per_second = 60000;
constexpr std::int64_t k_tick = 1000;
constexpr BYTE k_key_z = 44; // the action key by default

class FramePass : public ::testing::Test {
protected:
    void SetUp() override
    {
        seam_set_counter([this] { return m_counter; }, k_counts_per_second);
        ASSERT_EQ(m_game.start(), S_OK) << g_error_text;
        app_restore_device_objects();
        // What start-up left queued is handled first, as the main loop would before its first
        // frame; the frames then start active, from an empty accumulator with nothing held.
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        g_app_active = 1;
        g_app_request = 0;
        g_skip_step = 0;
        g_scene_pending = 0;
        start_frame_from_rest();
    }
    void TearDown() override
    {
        m_game.shut_down();
        seam_set_counter(nullptr, 0);
        dinput_seam_reset();
        d3d8_seam_reset();
    }

    // No input held or pressed, no part of a tick carried; the next poll sees the Z key newly down,
    // and any poll after it sees it released.
    static void start_frame_from_rest()
    {
        dinput_seam_reset();
        dinput_seam_script_input(true);
        input_reset();
        g_tick_accum = 0.0f;
        dinput_seam_queue_keys({k_key_z});
        dinput_seam_queue_keys({});
    }
    // Lets `counts` pass on the clock and runs one frame.
    void run_frame(std::int64_t counts)
    {
        m_counter += counts;
        ASSERT_EQ(app_run_frame(), S_OK);
    }
    void run_pass(std::int64_t counts)
    {
        m_counter += counts;
        ASSERT_TRUE(app_run_pass());
    }
    static const InputRecord& current_record() { return g_input_ring.records[g_input_ring.current]; }

    std::int64_t m_counter = 3600 * k_counts_per_second;
    StartedGame m_game{game_ini_with_sound(false, false)};
};
