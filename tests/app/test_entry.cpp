#include "app/app_entry.h"

#include "core/sys.h"
#include "platform/test_seams.h"
#include "platform/win_crt.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace
{

void set_arguments(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "kro_win");
    std::vector<char*> pointers;
    for (std::string& argument : arguments)
        pointers.push_back(argument.data());
    crt_set_arguments(static_cast<int>(pointers.size()), pointers.data());
}

struct RunResult {
    int exit_code;
    std::string output;
};

// Runs the real program headless and collects what it printed.
RunResult run_kro_win(const std::string& arguments)
{
    std::string command =
        std::string("SDL_VIDEODRIVER=offscreen ") + KRO_WIN_PATH + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    RunResult result{-1, ""};
    if (!pipe) return result;
    std::array<char, 256> chunk;
    while (std::size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe))
        result.output.append(chunk.data(), n);
    int status = pclose(pipe);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
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
    set_arguments({"-x"});
    EXPECT_EQ(app_main(nullptr), 0);
    EXPECT_STREQ(g_error_text, "Wha? ->-x\n");
    EXPECT_EQ(seam_timer_periods(), 0);
    EXPECT_EQ(g_work_block.memory, nullptr);
    EXPECT_FALSE(g_game_ran);
}

TEST(Program, BadArgumentIsShownAfterShutdownAndExitsWithZero)
{
    RunResult result = run_kro_win("-x");
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_NE(result.output.find("Wha? ->-x"), std::string::npos) << result.output;
}

TEST(Program, ResetSwitchesRunCleanly)
{
    for (const char* arguments : {"", "-R2", "/r1"}) {
        RunResult result = run_kro_win(arguments);
        EXPECT_EQ(result.exit_code, 0) << arguments;
        EXPECT_EQ(result.output, "") << arguments;
    }
}
