#include "platform/win_shell.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <string>

TEST(WinShell, SavedGamesIsTheDataHomeInWideText)
{
    TempFolder folder;
    EnvOverride data_home("XDG_DATA_HOME", folder.host());
    WCHAR* wide = nullptr;
    ASSERT_EQ(SHGetKnownFolderPath(FOLDERID_SavedGames, 0, nullptr, &wide), S_OK);
    char narrow[MAX_PATH] = {};
    int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
    CoTaskMemFree(wide);
    EXPECT_EQ(std::string(narrow), folder.windows());
    EXPECT_EQ(length, static_cast<int>(folder.windows().size() + 1));

    EnvOverride relative("XDG_DATA_HOME", "not/absolute");
    EnvOverride home("HOME", folder.host());
    ASSERT_EQ(SHGetKnownFolderPath(FOLDERID_SavedGames, 0, nullptr, &wide), S_OK);
    WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
    CoTaskMemFree(wide);
    EXPECT_EQ(std::string(narrow), folder.windows(".local/share"));
}

TEST(WinShell, WideToShiftJisRefusesRatherThanReplaces)
{
    const WCHAR table[] = {u'\u8868', u'a', 0};
    char out[8] = {};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, table, -1, nullptr, 0, nullptr, nullptr), 4);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, table, -1, out, sizeof out, nullptr, nullptr), 4);
    EXPECT_EQ(std::string(out), "\x95\x5C"
                                "a");
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, table, -1, out, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    const WCHAR game_controller[] = {0xD83C, 0xDFAE, 0};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, game_controller, -1, out, sizeof out, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    const WCHAR lone_surrogate[] = {0xD83C, u'a', 0};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, lone_surrogate, -1, out, sizeof out, nullptr, nullptr), 0);
}

TEST(WinShell, ShellLibraryIsBuiltInAndOtherLibrariesComeFromDisk)
{
    HMODULE shell = LoadLibraryA("C:\\Windows\\System32\\SHELL32.DLL");
    ASSERT_NE(shell, nullptr);
    EXPECT_EQ(LoadLibraryA("shell32.dll"), shell) << "one module, counted twice";
    EXPECT_EQ(GetProcAddress(shell, "SHGetKnownFolderPath"),
              reinterpret_cast<FARPROC>(&SHGetKnownFolderPath));
    EXPECT_EQ(GetProcAddress(shell, "NoSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_TRUE(FreeLibrary(shell));
    EXPECT_TRUE(FreeLibrary(shell));
    EXPECT_FALSE(FreeLibrary(shell));

    TempFolder folder;
    EXPECT_EQ(LoadLibraryA(folder.windows("pathkit.dll").c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    write_host_file(folder.path() / "pathkit.dll", "MZ not a library for this host");
    EXPECT_EQ(LoadLibraryA(folder.windows("PATHKIT.DLL").c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_BAD_EXE_FORMAT);
}

TEST(WinShell, DesktopComesThroughAnItemListFreedByTheShellAllocator)
{
    TempFolder folder;
    EnvOverride desktop("XDG_DESKTOP_DIR", folder.host("Desktop"));
    ITEMIDLIST* list = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &list), S_OK);
    char path[MAX_PATH] = {};
    EXPECT_TRUE(SHGetPathFromIDListA(list, path));
    EXPECT_EQ(std::string(path), folder.windows("Desktop"));
    IMalloc* allocator = nullptr;
    ASSERT_EQ(SHGetMalloc(&allocator), S_OK);
    allocator->Free(list);
    allocator->Release();
}

TEST(WinShell, UserNameReportsTheSizeItNeeds)
{
    char name[257] = {};
    DWORD size = sizeof name;
    ASSERT_TRUE(GetUserNameA(name, &size));
    EXPECT_EQ(size, std::string(name).size() + 1);
    DWORD small = 1;
    char tiny[1];
    EXPECT_FALSE(GetUserNameA(tiny, &small));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(small, size);
}
