#include "core/userdir.h"

#include "platform/impl/test_seams.h"
#include "platform/win_file.h"
#include "platform/win_kernel.h"
#include "platform/win_shell.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

// The user's folders point into a temporary folder, never at the real home.
class UserFolder : public ::testing::Test {
protected:
    UserFolder()
        : data_home("XDG_DATA_HOME", folder.host("share")), home("HOME", folder.host("home/player")),
          desktop("XDG_DESKTOP_DIR", folder.host("home/player/Desktop"))
    {
        saved_switch = g_user_profile_here;
    }
    ~UserFolder() override { g_user_profile_here = saved_switch; }

    static std::string user()
    {
        char name[257] = {};
        DWORD size = sizeof name;
        EXPECT_TRUE(GetUserNameA(name, &size));
        return name;
    }

    static OSVERSIONINFOEXA version(DWORD platform, DWORD major, DWORD minor)
    {
        OSVERSIONINFOEXA record{};
        record.dwOSVersionInfoSize = sizeof record;
        record.dwPlatformId = platform;
        record.dwMajorVersion = major;
        record.dwMinorVersion = minor;
        return record;
    }

    TempFolder folder;
    EnvOverride data_home;
    EnvOverride home;
    EnvOverride desktop;
    std::uint8_t saved_switch = 0;
};

// A stand-in for the path library: it names a profile folder for any user but "nobody".
int g_get_user_path_calls = 0;
BOOL fake_get_user_path(const char* user_name, char* out)
{
    ++g_get_user_path_calls;
    if (std::strcmp(user_name, "nobody") == 0) return FALSE;
    std::snprintf(out, MAX_PATH, "\\profiles\\%s", user_name);
    return TRUE;
}

class PathLibrary {
public:
    explicit PathLibrary(const char* path) : m_path(path)
    {
        library_register_builtin(path, {{"GetUserPath", reinterpret_cast<FARPROC>(&fake_get_user_path)}});
    }
    ~PathLibrary()
    {
        sys_free_pathkit();
        library_unregister_builtin(m_path);
    }

private:
    const char* m_path;
};

} // namespace

TEST_F(UserFolder, ProfileHereIsTheUserFolderUnderTheWorkingFolder)
{
    g_user_profile_here = 1;
    char out[MAX_PATH];
    sys_user_folder(out);
    EXPECT_EQ(std::string(out), "user\\" + user() + "\\");
}

TEST_F(UserFolder, TheRunningProgramUsesSavedGamesInTheDataHome)
{
    g_user_profile_here = 0;
    char out[MAX_PATH];
    sys_user_folder(out);
    EXPECT_EQ(std::string(out), folder.windows("share") + "\\CORVAN\\kro_win\\");
}

TEST_F(UserFolder, ADataHomeShiftJisCannotNameLeavesTheUserFolderEmpty)
{
    EnvOverride unusual("XDG_DATA_HOME", folder.host("\xF0\x9F\x8E\xAE"));
    char out[MAX_PATH] = "unchanged";
    EXPECT_EQ(sys_path_saved_games(out), -1);
    sys_user_folder(out);
    EXPECT_EQ(std::string(out), "");
}

TEST_F(UserFolder, EachSystemTakesItsOwnRoad)
{
    const std::string profile_root = folder.windows("home");
    struct Case {
        OSVERSIONINFOEXA version;
        const char* program;
        int result;
        std::string folder;
    } cases[] = {
        {version(VER_PLATFORM_WIN32_NT, 10, 0), "\\games\\kro_win.exe", 0,
         folder.windows("share") + "\\CORVAN\\kro_win\\"},
        {version(VER_PLATFORM_WIN32_NT, 6, 0), "\\games\\kro_win.exe", 0,
         folder.windows("share") + "\\CORVAN\\kro_win\\"},
        // Without the path library the profile comes from the desktop folder.
        {version(VER_PLATFORM_WIN32_NT, 5, 1), "\\games\\kro_win.exe", 0,
         profile_root + "\\bob\\Application Data\\CORVAN\\kro_win\\"},
        {version(VER_PLATFORM_WIN32_NT, 4, 0), "\\games\\kro_win.exe", 0,
         profile_root + "\\bob\\Application Data\\CORVAN\\kro_win\\"},
        {version(VER_PLATFORM_WIN32_WINDOWS, 4, 10), "\\games\\Corvan Kro\\bin\\kro_win.exe", 0,
         "\\games\\Corvan Kro\\USERS\\bob\\kro_win\\"},
        {version(VER_PLATFORM_WIN32_WINDOWS, 4, 10), "\\games\\kro\\kro_win.exe", -1, ""},
        {version(VER_PLATFORM_WIN32_NT, 3, 51), "\\games\\kro_win.exe", -1, ""},
        {version(VER_PLATFORM_WIN32s, 3, 10), "\\games\\kro_win.exe", -1, ""},
    };
    for (const Case& c : cases) {
        char out[MAX_PATH] = {};
        EXPECT_EQ(sys_app_data_folder_of(c.version, c.program, out, "bob"), c.result) << c.program;
        if (c.result == 0) {
            EXPECT_EQ(std::string(out), c.folder) << c.version.dwMajorVersion;
        }
    }
}

TEST_F(UserFolder, NinetyFiveRoadKeepsTheInnermostCorvanFolder)
{
    char out[MAX_PATH];
    EXPECT_EQ(sys_path_9x(out, "\\CORVAN\\games\\corvan2\\kro_win.exe", "bob"), 0);
    EXPECT_EQ(std::string(out), "\\CORVAN\\games\\corvan2\\USERS\\bob\\");
    EXPECT_EQ(sys_path_9x(out, "\\games\\CORVAN\\kro_win.exe", ""), 0);
    EXPECT_EQ(std::string(out), "\\games\\CORVAN\\USERS\\");
    EXPECT_EQ(sys_path_9x(out, "kro_win.exe", "bob"), -1);
}

TEST_F(UserFolder, PathLibraryIsSearchedFromTheProgramsFolderUpwards)
{
    PathLibrary library("\\apps\\pathkit.dll");
    g_get_user_path_calls = 0;
    char out[MAX_PATH];
    EXPECT_EQ(sys_path_from_pathkit(out, "\\apps\\kro\\bin\\kro_win.exe", "bob"), 0);
    EXPECT_EQ(std::string(out), "\\profiles\\bob\\Application Data\\CORVAN\\");
    EXPECT_NE(g_pathkit_module, nullptr) << "the library stays loaded";
    sys_free_pathkit();
    EXPECT_EQ(g_pathkit_module, nullptr);

    EXPECT_EQ(sys_path_from_pathkit(out, "\\apps\\kro\\bin\\kro_win.exe", "nobody"), 1);
    EXPECT_EQ(std::string(out), folder.windows("home") + "\\nobody\\Application Data\\CORVAN\\");
    EXPECT_EQ(g_pathkit_module, nullptr);
    EXPECT_EQ(g_get_user_path_calls, 2);

    EXPECT_EQ(sys_path_from_pathkit(out, "\\elsewhere\\kro_win.exe", "bob"), 1) << "not above the program";
    EXPECT_EQ(g_get_user_path_calls, 2);
}

TEST_F(UserFolder, DesktopFallbackNeedsTwoFoldersToClimb)
{
    EnvOverride shallow("XDG_DESKTOP_DIR", "/Desktop");
    char out[MAX_PATH];
    EXPECT_EQ(sys_path_from_pathkit(out, "\\games\\kro_win.exe", "bob"), -1);
}

TEST_F(UserFolder, CreateDirsMakesEveryMissingFolderAndNoFile)
{
    path_create_dirs((folder.windows() + "\\User\\Player\\save.dat").c_str(), true);
    EXPECT_TRUE(fs::is_directory(folder.path() / "User" / "Player"));
    EXPECT_FALSE(fs::exists(folder.path() / "User" / "Player" / "save.dat"));

    path_create_dirs((folder.host() + "/shots/2024").c_str(), false);
    EXPECT_TRUE(fs::is_directory(folder.path() / "shots" / "2024"));

    path_create_dirs((folder.windows() + "\\USER\\player\\new\\x.dat").c_str(), true);
    EXPECT_EQ(folder_names(folder.path()), (std::vector<std::string>{"User", "shots"}));
    EXPECT_TRUE(fs::is_directory(folder.path() / "User" / "Player" / "new"));
}

TEST_F(UserFolder, CreateDirsStopsQuietlyAtAFileInTheWay)
{
    write_host_file(folder.path() / "blocker", "x");
    path_create_dirs((folder.windows() + "\\blocker\\inner\\x.dat").c_str(), true);
    EXPECT_TRUE(fs::is_regular_file(folder.path() / "blocker"));
}

TEST_F(UserFolder, ChdirToExeMovesToTheProgramsFolder)
{
    WorkingDirectoryGuard guard;
    fs::current_path(folder.path());
    char program[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, program, MAX_PATH), 0u);
    sys_chdir_to_exe();
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    std::string expected(program);
    EXPECT_EQ(std::string(current), expected.substr(0, expected.rfind('\\')));
}

TEST(Registry, HoldsNoKeysSoTheDebugRuntimeReadFails)
{
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Direct3D\\", 0, KEY_READ, &key),
              static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(key, nullptr);
    DWORD value = 77;
    EXPECT_EQ(sys_read_registry_dword(nullptr, &value), S_OK);
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(sys_read_registry_dword(HKEY_LOCAL_MACHINE, &value), E_FAIL);
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), static_cast<LSTATUS>(ERROR_SUCCESS));
}
