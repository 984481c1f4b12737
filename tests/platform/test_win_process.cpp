#include "platform/impl/sjis.h"
#include "platform/impl/win_process_internal.h"
#include "platform/impl/window_seams.h"
#include "platform/win_kernel.h"
#include "platform/win_process.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A folder standing in for the running program's, holding a "config" program that writes its
// working folder (a line) and its arguments (each NUL-terminated) to $KRO_ARGS_OUT.
class ProgramFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        write_host_file(m_folder.path() / "config",
                        "#!/bin/sh\npwd > \"$KRO_ARGS_OUT\"\nprintf '%s\\0' \"$@\" >> \"$KRO_ARGS_OUT\"\n");
        std::filesystem::permissions(m_folder.path() / "config", std::filesystem::perms::owner_all);
        seam_set_program_folder(m_folder.host());
    }
    void TearDown() override { seam_set_program_folder({}); }

    // Runs the command line to the end; the program's folder and arguments.
    std::vector<std::string> run(std::string command_line, const char* current_dir = nullptr)
    {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        EXPECT_TRUE(CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   current_dir, &startup, &info));
        int status = -1;
        waitpid(static_cast<pid_t>(info.dwProcessId), &status, 0);
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(CloseHandle(info.hThread));
        EXPECT_TRUE(CloseHandle(info.hProcess));
        std::ifstream in(m_out.c_str());
        std::string folder;
        std::getline(in, folder);
        std::vector<std::string> lines{folder};
        std::string argument;
        while (std::getline(in, argument, '\0'))
            lines.push_back(argument);
        return lines;
    }

    TempFolder m_folder;
    std::string m_out = m_folder.host("args.out");
    EnvOverride m_out_variable{"KRO_ARGS_OUT", m_out};
};

} // namespace

TEST(CommandLineSplit, FollowsThePlatformsQuotingRules)
{
    struct Case {
        const char* line;
        std::vector<std::string> arguments;
    };
    const Case cases[] = {
        {"config.exe -o -v\"text with blanks\"", {"config.exe", "-o", "-vtext with blanks"}},
        {"config.exe -v\"line one\r\nline two\"", {"config.exe", "-vline one\r\nline two"}},
        {"config.exe a\r\nb", {"config.exe", "a\r\nb"}},
        {"\"C:\\Program Files\\config.exe\" -s", {"C:\\Program Files\\config.exe", "-s"}},
        {"p a\\\\b \"c\\\\\" d", {"p", "a\\\\b", "c\\", "d"}},
        {"p \\\"quoted\\\"", {"p", "\"quoted\""}},
        {"p \"say \"\"hi\"\"\"", {"p", "say \"hi\""}},
        {"p \"\" x", {"p", "", "x"}},
        {"p \t a \t", {"p", "a"}},
        {"p \"unclosed text", {"p", "unclosed text"}},
        // A Shift-JIS character whose trail byte is a backslash does not escape the quote after it.
        {"config.exe -v\"\x83\x5C\"", {"config.exe", "-v\x83\x5C"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(cmdline_split(c.line), c.arguments);
    }
}

TEST_F(ProgramFolder, StartsTheProgramBesideWithItsArgumentsInHostForm)
{
    auto lines = run("config.exe -o -v\"failed: Subsys D3D::Initialize\r\n\x83\x5C\"");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "-o");
    EXPECT_EQ(lines[2], sjis_to_utf8("-vfailed: Subsys D3D::Initialize\r\n\x83\x5C"));
}

TEST_F(ProgramFolder, ProgramNameIsMatchedWithoutCaseAndKeepsTheFolderAsked)
{
    auto lines = run("CONFIG.EXE -s", "/tmp");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "/tmp");
    EXPECT_EQ(lines[1], "-s");
}

TEST_F(ProgramFolder, ProgramsNotBesideAreNotSearchedFor)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    for (const char* line : {"prefs_dx9.exe -o -v\"x\"", "sh.exe -c true", "true"}) {
        SCOPED_TRACE(line);
        std::string command_line = line;
        EXPECT_FALSE(CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                    nullptr, &startup, &info));
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    }
    std::string command_line = "config.exe";
    EXPECT_FALSE(CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0x10, nullptr, nullptr,
                                &startup, &info));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}
