#include "platform/impl/win_handles.h"
#include "platform/win_file.h"
#include "platform/win_kernel.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

class WinFile : public ::testing::Test {
protected:
    void SetUp() override { live_at_start = handle_live_count(); }
    void TearDown() override { EXPECT_EQ(handle_live_count(), live_at_start) << "a handle leaked"; }

    HANDLE open(const std::string& relative, DWORD access, DWORD disposition, DWORD flags = 0)
    {
        return CreateFileA(folder.windows(relative).c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                           flags, nullptr);
    }

    TempFolder folder;
    int live_at_start = 0;
};

struct Completion {
    OVERLAPPED overlapped{};
    DWORD error = 0xFFFF;
    DWORD bytes = 0xFFFF;
};

void record_completion(DWORD error, DWORD bytes, OVERLAPPED* overlapped)
{
    auto* completion = reinterpret_cast<Completion*>(overlapped);
    completion->error = error;
    completion->bytes = bytes;
}

} // namespace

TEST_F(WinFile, MissingFileAndMissingFolderFailDifferently)
{
    EXPECT_EQ(open("absent.bin", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(open("absent\\absent.bin", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    fs::create_directory(folder.path() / "dir");
    EXPECT_EQ(open("dir", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(WinFile, CreateAlwaysTruncatesTheExistingFileUnderItsOwnName)
{
    write_host_file(folder.path() / "kro_win.ini", "old contents");
    HANDLE file = open("KRO_WIN.INI", GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(file, "new", 3, &done, nullptr));
    EXPECT_EQ(done, 3u);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(folder_names(folder.path()), std::vector<std::string>{"kro_win.ini"});
    EXPECT_EQ(read_host_file(folder.path() / "kro_win.ini"), "new");
}

TEST_F(WinFile, PlainReadsFollowTheFilePointerAndComeShortAtTheEnd)
{
    write_host_file(folder.path() / "ten.bin", "0123456789");
    HANDLE file = open("ten.bin", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), 10u);
    char buffer[16] = {};
    DWORD done = 0;
    EXPECT_EQ(SetFilePointer(file, 6, nullptr, FILE_BEGIN), 6u);
    EXPECT_TRUE(ReadFile(file, buffer, 8, &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), "6789");
    EXPECT_TRUE(ReadFile(file, buffer, 8, &done, nullptr));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(SetFilePointer(file, -3, nullptr, FILE_END), 7u);
    EXPECT_EQ(SetFilePointer(file, 1, nullptr, FILE_CURRENT), 8u);
    EXPECT_EQ(SetFilePointer(file, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, 7), INVALID_SET_FILE_POINTER);
    EXPECT_FALSE(WriteFile(file, "x", 1, &done, nullptr)) << "opened for reading only";
    EXPECT_FALSE(FlushFileBuffers(file));
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(WinFile, OverlappedTransfersCompleteBeforeTheCallReturns)
{
    HANDLE file = open("async.bin", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, FILE_FLAG_OVERLAPPED);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    char buffer[16] = {};
    EXPECT_FALSE(ReadFile(file, buffer, 4, &done, nullptr)) << "an overlapped handle needs a request record";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    Completion write;
    write.overlapped.Offset = 4;
    ASSERT_TRUE(WriteFileEx(file, "abcd", 4, &write.overlapped, record_completion));
    EXPECT_EQ(write.error, ERROR_SUCCESS);
    EXPECT_EQ(write.bytes, 4u);
    EXPECT_EQ(GetFileSize(file, nullptr), 8u);

    Completion read;
    read.overlapped.Offset = 6;
    ASSERT_TRUE(ReadFileEx(file, buffer, 10, &read.overlapped, record_completion));
    EXPECT_EQ(read.error, ERROR_SUCCESS);
    EXPECT_EQ(std::string(buffer, read.bytes), "cd");

    Completion at_end;
    at_end.overlapped.Offset = 8;
    ASSERT_TRUE(ReadFileEx(file, buffer, 10, &at_end.overlapped, record_completion));
    EXPECT_EQ(at_end.error, ERROR_HANDLE_EOF);
    EXPECT_EQ(at_end.bytes, 0u);
    EXPECT_TRUE(FlushFileBuffers(file));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(read_host_file(folder.path() / "async.bin"), std::string("\0\0\0\0abcd", 8));
}

TEST_F(WinFile, ExtendedTransfersNeedAnOverlappedHandle)
{
    write_host_file(folder.path() / "plain.bin", "data");
    HANDLE file = open("plain.bin", GENERIC_READ, OPEN_EXISTING);
    Completion request;
    char buffer[4];
    EXPECT_FALSE(ReadFileEx(file, buffer, 4, &request.overlapped, record_completion));
    EXPECT_EQ(request.bytes, 0xFFFFu) << "the routine never ran";
    CloseHandle(file);
}

TEST_F(WinFile, CloseHandleServesFilesAndTheKernelsOwnHandles)
{
    write_host_file(folder.path() / "f.bin", "x");
    HANDLE file = open("f.bin", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(handle_live_count(), live_at_start + 1);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    DWORD done = 0;
    char c;
    EXPECT_FALSE(ReadFile(file, &c, 1, &done, nullptr));
    EXPECT_TRUE(CloseHandle(GetCurrentThread()));
    EXPECT_FALSE(CloseHandle(nullptr));
}

TEST_F(WinFile, MappedViewsShowTheWholeFileAndOutliveTheHandles)
{
    std::string contents(100000, '\0');
    for (std::size_t i = 0; i < contents.size(); ++i)
        contents[i] = static_cast<char>(i * 7);
    write_host_file(folder.path() / "data.na", contents);
    HANDLE file = open("DATA.NA", GENERIC_READ, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(std::memcmp(view, contents.data(), contents.size()), 0);
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_FALSE(UnmapViewOfFile(view));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);
}

TEST_F(WinFile, MappingRefusesEmptyFilesAndRangesBeyondThem)
{
    write_host_file(folder.path() / "empty.bin", "");
    write_host_file(folder.path() / "small.bin", "abc");
    HANDLE empty = open("empty.bin", GENERIC_READ, OPEN_EXISTING);
    EXPECT_EQ(CreateFileMappingA(empty, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_INVALID);
    HANDLE small = open("small.bin", GENERIC_READ, OPEN_EXISTING);
    EXPECT_EQ(CreateFileMappingA(small, nullptr, PAGE_READONLY, 0, 4, nullptr), nullptr);
    HANDLE mapping = CreateFileMappingA(small, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 4), nullptr);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 1, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MAPPED_ALIGNMENT);
    CloseHandle(mapping);
    CloseHandle(small);
    CloseHandle(empty);
}

TEST_F(WinFile, MoveReplacesTheExistingSpellingOnlyWhenAsked)
{
    write_host_file(folder.path() / "kro_win.ini", "old");
    write_host_file(folder.path() / "new.tmp", "new");
    std::string target = folder.windows("KRO_WIN.INI");
    EXPECT_FALSE(MoveFileExA(folder.windows("new.tmp").c_str(), target.c_str(), 0));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(MoveFileExA(folder.windows("NEW.TMP").c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(folder_names(folder.path()), std::vector<std::string>{"kro_win.ini"});
    EXPECT_EQ(read_host_file(folder.path() / "kro_win.ini"), "new");
}

TEST_F(WinFile, FoldersAttributesAndDeletion)
{
    EXPECT_EQ(GetFileAttributesA(folder.windows("save").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(CreateDirectoryA(folder.windows("save\\slot").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(CreateDirectoryA(folder.windows("Save").c_str(), nullptr));
    EXPECT_FALSE(CreateDirectoryA(folder.windows("SAVE").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileAttributesA(folder.windows("save").c_str()), FILE_ATTRIBUTE_DIRECTORY);
    write_host_file(folder.path() / "Save" / "slot.dat", "x");
    EXPECT_EQ(GetFileAttributesA(folder.windows("SAVE\\SLOT.DAT").c_str()), FILE_ATTRIBUTE_NORMAL);
    EXPECT_FALSE(DeleteFileA(folder.windows("save").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(DeleteFileA(folder.windows("save\\slot.DAT").c_str()));
    EXPECT_FALSE(DeleteFileA(folder.windows("save\\slot.DAT").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(WinFile, WorkingDirectoryTravelsInTheProgramsForm)
{
    WorkingDirectoryGuard guard;
    fs::create_directory(folder.path() / "Game");
    EXPECT_TRUE(SetCurrentDirectoryA(folder.windows("game").c_str()));
    char buffer[MAX_PATH] = {};
    std::string expected = folder.windows("Game");
    EXPECT_EQ(GetCurrentDirectoryA(0, nullptr), expected.size() + 1);
    EXPECT_EQ(GetCurrentDirectoryA(MAX_PATH, buffer), expected.size());
    EXPECT_EQ(buffer, expected);
    EXPECT_FALSE(SetCurrentDirectoryA(folder.windows("absent").c_str()));
}

TEST_F(WinFile, ModuleFileNameIsTheProgramsOwnPath)
{
    char buffer[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::string path(buffer, length);
    EXPECT_EQ(path.front(), '\\');
    EXPECT_EQ(path.find('/'), std::string::npos);
    EXPECT_EQ(path.substr(path.rfind('\\') + 1), "platform_tests");
    EXPECT_EQ(GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, MAX_PATH), length);

    char small[5];
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::string(small), path.substr(0, 4));
}
