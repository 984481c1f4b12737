#include "app/app_entry.h"

#include "app_fixture.h"
#include "core/sys.h"
#include "platform/impl/test_seams.h"
#include "platform/win_crt.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void set_arguments(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "kro_win");
    std::vector<char*> pointers;
    for (std::string& argument : arguments)
        pointers.push_back(argument.data());
    crt_set_arguments(static_cast<int>(pointers.size()), pointers.data());
}

} // namespace

TEST(CommandLine, AcceptsOnlyResetSwitches)
{
    struct Case {
        std::vector<std::string> arguments;
        const char* error; // null when accepted
    };
    const Case cases[] = {
        {{}, nullptr},
        {{"-r2"}, nullptr},
        {{"/R1"}, nullptr},
        {{"-R"}, nullptr},
        {{"-R2", "/r1"}, nullptr},
        {{"-x"}, "Wha? ->-x\n"},
        {{"-R1", "R1"}, "Wha? ->R1\n"},
        {{"--R"}, "Wha? ->--R\n"},
    };
    for (const Case& c : cases) {
        set_arguments(c.arguments);
        try {
            EXPECT_EQ(app_parse_command_line(), S_OK);
            EXPECT_EQ(c.error, nullptr);
        } catch (const RuntimeError& error) {
            ASSERT_NE(c.error, nullptr) << error.text;
            EXPECT_STREQ(error.text, c.error);
        }
    }
}

TEST(CommandLine, LongArgumentIsCutTo300Bytes)
{
    set_arguments({std::string(1000, 'y')});
    try {
        app_parse_command_line();
        FAIL();
    } catch (const RuntimeError& error) {
        EXPECT_EQ(std::string(error.text), "Wha? ->" + std::string(299 - 7, 'y') + "\n");
    }
}

TEST(ProgramBody, ShutsDownAfterAFailureAndKeepsTheText)
{
    GameUser user;
    set_arguments({"-x"});
    EXPECT_EQ(app_main(nullptr), 0);
    EXPECT_STREQ(g_error_text, "Wha? ->-x\n");
    EXPECT_EQ(seam_timer_periods(), 0);
    EXPECT_EQ(g_work_block.memory, nullptr);
    EXPECT_EQ(g_instance_mutex, nullptr);
    EXPECT_EQ(FindWindowA("Corvan", nullptr), nullptr);
    EXPECT_FALSE(g_game_ran);
}

TEST(Program, BadArgumentIsShownAfterShutdownAndExitsWithZero)
{
    GameUser user;
    GameInstall install;
    GameProcess game(install, "-x");
    EXPECT_EQ(game.finish(), 0);
    EXPECT_NE(game.output().find("Wha? ->-x"), std::string::npos) << game.output();
}

TEST(Program, ClosingTheWindowEndsCleanlyAndWritesTheSettings)
{
    GameUser user;
    GameInstall install;
    GameProcess game(install, "-R2 /r1");
    HWND window = GameProcess::wait_for_window();
    ASSERT_NE(window, nullptr);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(game.finish(), 0);
    EXPECT_EQ(game.output(), "");
    std::string ini = read_host_file(user.user_folder() / "kro_win.ini");
    EXPECT_EQ(ini.rfind("IniVersion=0x103\r\n", 0), 0u) << ini;
}

TEST(Program, ASecondStartEndsSilentlyAndLeavesTheFirstRunning)
{
    GameUser user;
    GameInstall install;
    GameProcess first(install, "");
    HWND window = GameProcess::wait_for_window();
    ASSERT_NE(window, nullptr);
    GameProcess second(install, "");
    EXPECT_EQ(second.finish(), 0);
    EXPECT_EQ(second.output(), "");
    EXPECT_TRUE(IsWindow(window));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.finish(), 0);
}
