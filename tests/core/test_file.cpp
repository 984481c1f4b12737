#include "core/file.h"

#include "core/errors.h"
#include "core/sys.h"

#include "platform/impl/win_handles.h"
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr int k_plain_generation = OS_GENERATION_NT5 - 1;

// Runs each case on the plain path and on the overlapped path, chosen by the generation.
class FileOnBothPaths : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        saved_generation = g_os_generation;
        g_os_generation = GetParam();
    }
    void TearDown() override { g_os_generation = saved_generation; }

    std::string path(const std::string& relative) const { return folder.windows(relative); }
    void write_bytes(const std::string& relative, std::size_t count)
    {
        std::string bytes(count, '\0');
        for (std::size_t i = 0; i < count; ++i)
            bytes[i] = static_cast<char>(i);
        write_host_file(folder.path() / relative, bytes);
    }

    TempFolder folder;
    int saved_generation = 0;
};

std::string path_name(const ::testing::TestParamInfo<int>& info)
{
    return info.param >= OS_GENERATION_NT5 ? "Overlapped" : "Plain";
}

} // namespace

INSTANTIATE_TEST_SUITE_P(File, FileOnBothPaths, ::testing::Values(k_plain_generation, OS_GENERATION_NT5),
                         path_name);

TEST_P(FileOnBothPaths, GenerationSelectsTheOverlappedPath)
{
    write_bytes("a.bin", 1);
    File file;
    ASSERT_EQ(file.OpenRead(path("a.bin").c_str(), FILE_FLAG_SEQUENTIAL_SCAN), S_OK);
    EXPECT_EQ(file.IsOverlapped(), GetParam() >= OS_GENERATION_NT5);
}

TEST_P(FileOnBothPaths, ReadsComeShortAtTheEndAndThenReportNothing)
{
    write_bytes("hundred.bin", 100);
    File file;
    ASSERT_EQ(file.OpenRead(path("hundred.bin").c_str(), FILE_FLAG_SEQUENTIAL_SCAN), S_OK);
    ASSERT_EQ(file.Seek(90, FILE_BEGIN), S_OK);
    unsigned char buffer[100] = {};
    DWORD done = 1234;
    EXPECT_EQ(file.Read(buffer, 100, &done), S_OK);
    EXPECT_EQ(done, 10u);
    EXPECT_EQ(buffer[0], 90);
    EXPECT_EQ(buffer[9], 99);
    if (file.IsOverlapped()) {
        EXPECT_EQ(file.Position(), 100u);
    }
    EXPECT_EQ(file.Read(buffer, 100, &done), S_OK);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(file.Read(buffer, 0, nullptr), S_OK);
}

TEST_P(FileOnBothPaths, SeekMovesFromEachOrigin)
{
    write_bytes("hundred.bin", 100);
    File file;
    ASSERT_EQ(file.OpenRead(path("hundred.bin").c_str(), 0), S_OK);
    unsigned char byte = 0;
    DWORD done = 0;
    ASSERT_EQ(file.Seek(40, FILE_BEGIN), S_OK);
    ASSERT_EQ(file.Seek(5, FILE_CURRENT), S_OK);
    ASSERT_EQ(file.Read(&byte, 1, &done), S_OK);
    EXPECT_EQ(byte, 45);
    // The end origin counts backwards on the overlapped path, forwards from the end on the plain.
    ASSERT_EQ(file.Seek(file.IsOverlapped() ? 10 : -10, FILE_END), S_OK);
    ASSERT_EQ(file.Read(&byte, 1, &done), S_OK);
    EXPECT_EQ(byte, 90);
}

TEST_P(FileOnBothPaths, UnknownSeekMethodFailsAndKeepsThePosition)
{
    write_bytes("hundred.bin", 100);
    File file;
    ASSERT_EQ(file.OpenRead(path("hundred.bin").c_str(), 0), S_OK);
    ASSERT_EQ(file.Seek(30, FILE_BEGIN), S_OK);
    EXPECT_EQ(file.Seek(5, 3), ERR_SEEK_FILE);
    unsigned char byte = 0;
    DWORD done = 0;
    ASSERT_EQ(file.Read(&byte, 1, &done), S_OK);
    EXPECT_EQ(byte, 30);
}

TEST_P(FileOnBothPaths, OpenFailuresLeaveTheFileClosed)
{
    File file;
    EXPECT_EQ(file.OpenRead(path("absent.bin").c_str(), 0), ERR_OPEN_FILE);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.OpenUpdate(path("absent.bin").c_str(), 0), ERR_OPEN_FILE);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(fs::exists(folder.path() / "absent.bin"));
    fs::create_directory(folder.path() / "dir");
    EXPECT_EQ(file.OpenWrite(path("dir").c_str(), 0), ERR_OPEN_FILE);
    EXPECT_EQ(file.Flush(), E_FAIL);
    EXPECT_EQ(file.Close(), S_OK);
    DWORD done = 7;
    char byte;
    EXPECT_EQ(file.Read(&byte, 1, &done), ERR_READ_FILE);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(file.Write(&byte, 1, &done), ERR_WRITE_FILE);
}

TEST_P(FileOnBothPaths, OpenWriteCreatesMissingFolders)
{
    File file;
    ASSERT_EQ(file.OpenWrite(path("User\\Player\\save.dat").c_str(), FILE_FLAG_SEQUENTIAL_SCAN), S_OK);
    DWORD done = 0;
    EXPECT_EQ(file.Write("slot", 4, &done), S_OK);
    EXPECT_EQ(done, 4u);
    EXPECT_EQ(file.Flush(), S_OK);
    EXPECT_EQ(file.Close(), S_OK);
    EXPECT_EQ(read_host_file(folder.path() / "User" / "Player" / "save.dat"), "slot");
}

TEST_P(FileOnBothPaths, WholeFileWriteReplacesTheOldFileOnlyWhenClosed)
{
    write_host_file(folder.path() / "kro_win.ini", "old settings");
    File file;
    ASSERT_EQ(file.OpenWrite(path("KRO_WIN.INI").c_str(), FILE_FLAG_SEQUENTIAL_SCAN), S_OK);
    EXPECT_EQ(file.Write("new", 3, nullptr), S_OK);
    EXPECT_EQ(file.Write(" settings", 9, nullptr), S_OK);
    EXPECT_EQ(read_host_file(folder.path() / "kro_win.ini"), "old settings");
    EXPECT_EQ(file.Close(), S_OK);
    EXPECT_EQ(folder_names(folder.path()), std::vector<std::string>{"kro_win.ini"});
    EXPECT_EQ(read_host_file(folder.path() / "kro_win.ini"), "new settings");
}

TEST_P(FileOnBothPaths, FailedWriteKeepsTheOldFileAndIsReportedAtClose)
{
    write_host_file(folder.path() / "record.ta", "old record");
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto saved_handler = signal(SIGXFSZ, SIG_IGN);
    File file;
    ASSERT_EQ(file.OpenWrite(path("record.ta").c_str(), 0), S_OK);
    rlimit small = saved;
    small.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &small);
    std::string big(100, 'x');
    HRESULT write = file.Write(big.data(), static_cast<DWORD>(big.size()), nullptr);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, saved_handler);
    EXPECT_EQ(write, ERR_WRITE_FILE);
    EXPECT_EQ(file.Write("more", 4, nullptr), S_OK) << "later writes still go to the temporary file";
    EXPECT_EQ(file.Close(), ERR_WRITE_FILE);
    EXPECT_EQ(folder_names(folder.path()), std::vector<std::string>{"record.ta"});
    EXPECT_EQ(read_host_file(folder.path() / "record.ta"), "old record");
}

TEST_P(FileOnBothPaths, FailedReplaceDiscardsTheNewFile)
{
    File file;
    ASSERT_EQ(file.OpenWrite(path("slot.dat").c_str(), 0), S_OK);
    EXPECT_EQ(file.Write("new", 3, nullptr), S_OK);
    fs::create_directories(folder.path() / "slot.dat" / "inside");
    EXPECT_EQ(file.Close(), ERR_WRITE_FILE);
    EXPECT_EQ(folder_names(folder.path()), std::vector<std::string>{"slot.dat"});
    EXPECT_TRUE(fs::is_directory(folder.path() / "slot.dat"));
}

TEST_P(FileOnBothPaths, WriteAbandonedByAnExceptionIsDiscarded)
{
    write_host_file(folder.path() / "save.dat", "old");
    try {
        File file;
        ASSERT_EQ(file.OpenWrite(path("save.dat").c_str(), 0), S_OK);
        file.Write("half", 4, nullptr);
        throw RuntimeError{};
    } catch (const RuntimeError&) {
    }
    EXPECT_EQ(folder_names(folder.path()), std::vector<std::string>{"save.dat"});
    EXPECT_EQ(read_host_file(folder.path() / "save.dat"), "old");
}

TEST_P(FileOnBothPaths, DestructionCommitsACompleteWrite)
{
    {
        File file;
        ASSERT_EQ(file.OpenWrite(path("done.dat").c_str(), 0), S_OK);
        file.Write("whole", 5, nullptr);
    }
    EXPECT_EQ(read_host_file(folder.path() / "done.dat"), "whole");
}

TEST_P(FileOnBothPaths, OpenUpdateWritesInPlace)
{
    write_host_file(folder.path() / "slot.dat", "0123456789");
    File file;
    ASSERT_EQ(file.OpenUpdate(path("SLOT.DAT").c_str(), 0), S_OK);
    ASSERT_EQ(file.Seek(4, FILE_BEGIN), S_OK);
    EXPECT_EQ(file.Write("ab", 2, nullptr), S_OK);
    EXPECT_EQ(read_host_file(folder.path() / "slot.dat"), "0123ab6789");
    EXPECT_EQ(file.Close(), S_OK);
    EXPECT_EQ(folder_names(folder.path()), std::vector<std::string>{"slot.dat"});
}

TEST_P(FileOnBothPaths, OpeningAnOpenFileClosesTheOldHandle)
{
    write_bytes("a.bin", 4);
    write_bytes("b.bin", 8);
    int live = handle_live_count();
    File file;
    ASSERT_EQ(file.OpenRead(path("a.bin").c_str(), 0), S_OK);
    ASSERT_EQ(file.OpenRead(path("b.bin").c_str(), 0), S_OK);
    EXPECT_EQ(handle_live_count(), live + 1);
    unsigned char buffer[16];
    DWORD done = 0;
    EXPECT_EQ(file.Read(buffer, 16, &done), S_OK);
    EXPECT_EQ(done, 8u);
    file.Close();
    EXPECT_EQ(handle_live_count(), live);
}

TEST(FileThrottle, PlainTransfersPauseAfterTwoMebibytes)
{
    TempFolder folder;
    write_host_file(folder.path() / "a.bin", "abcd");
    int saved_generation = g_os_generation;
    for (int generation : {k_plain_generation, OS_GENERATION_NT5}) {
        g_os_generation = generation;
        File file;
        ASSERT_EQ(file.OpenRead(folder.windows("a.bin").c_str(), 0), S_OK);
        char buffer[4];
        g_file_io_throttle = FILE_IO_THROTTLE_LIMIT - 2;
        file.Read(buffer, 2, nullptr);
        EXPECT_EQ(g_file_io_throttle,
                  generation < OS_GENERATION_NT5 ? FILE_IO_THROTTLE_LIMIT : FILE_IO_THROTTLE_LIMIT - 2);
        file.Read(buffer, 1, nullptr);
        EXPECT_EQ(g_file_io_throttle, generation < OS_GENERATION_NT5 ? 0u : FILE_IO_THROTTLE_LIMIT - 2);
    }
    g_os_generation = saved_generation;
    g_file_io_throttle = 0;
}
