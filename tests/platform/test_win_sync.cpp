#include "platform/impl/runtime_dir.h"
#include "platform/impl/win_handles.h"
#include "platform/win_kernel.h"
#include "platform/win_sync.h"

#include "temp_folder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace {

// Every test gets a runtime folder of its own, so parallel runs never share a mutex.
class NamedMutex : public ::testing::Test {
protected:
    TempFolder folder;
    EnvOverride runtime{"XDG_RUNTIME_DIR", folder.host()};
    int handles_before = handle_live_count();

    void TearDown() override { EXPECT_EQ(handle_live_count(), handles_before) << "a handle was left open"; }
};

TEST_F(NamedMutex, CreateReportsWhetherItAlreadyExisted)
{
    HANDLE first = CreateMutexA(nullptr, TRUE, "MutexKroGame");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

    HANDLE second = CreateMutexA(nullptr, TRUE, "MutexKroGame");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_NE(second, first);

    HANDLE other = CreateMutexA(nullptr, FALSE, "mutexkrogame"); // names keep their case
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

    EXPECT_TRUE(CloseHandle(first));
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_TRUE(CloseHandle(other));
    HANDLE again = CreateMutexA(nullptr, FALSE, "MutexKroGame");
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS) << "the mutex went with its last handle";
    CloseHandle(again);
}

TEST_F(NamedMutex, OpenFindsOnlyLiveMutexes)
{
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "sakura"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    HANDLE made = CreateMutexA(nullptr, FALSE, "sakura");
    HANDLE opened = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "sakura");
    EXPECT_NE(opened, nullptr);
    CloseHandle(made);
    EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "ssp"), nullptr);
    CloseHandle(opened);

    EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "sakura"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(NamedMutex, NamesWithPathCharactersStayDistinctObjects)
{
    HANDLE slashed = CreateMutexA(nullptr, FALSE, "Global\\kro/../x");
    ASSERT_NE(slashed, nullptr);
    HANDLE plain = CreateMutexA(nullptr, FALSE, "Global_kro_.._x");
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(folder_names(folder.path()).size(), 3u)
        << "two lock files and the guard, all inside the folder";
    CloseHandle(slashed);
    CloseHandle(plain);
}

TEST_F(NamedMutex, OnlyTheOwningThreadReleases)
{
    HANDLE owned = CreateMutexA(nullptr, TRUE, "MutexKroCfg");
    HANDLE joined = CreateMutexA(nullptr, TRUE, "MutexKroCfg"); // exists: ownership not granted
    HANDLE unowned = CreateMutexA(nullptr, FALSE, nullptr);

    BOOL from_other_thread = TRUE;
    std::thread([&] { from_other_thread = ReleaseMutex(owned); }).join();
    EXPECT_FALSE(from_other_thread);

    EXPECT_TRUE(ReleaseMutex(joined)) << "both handles name the same owned mutex";
    EXPECT_FALSE(ReleaseMutex(owned));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    EXPECT_FALSE(ReleaseMutex(unowned));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);

    CloseHandle(owned);
    CloseHandle(joined);
    CloseHandle(unowned);
    EXPECT_FALSE(ReleaseMutex(owned));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(NamedMutex, ReportsBadRequests)
{
    EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    std::string too_long(MAX_PATH, 'm');
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, too_long.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
    EnvOverride missing("XDG_RUNTIME_DIR", folder.host("gone"));
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, "MutexKroGame"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

// A child process holds the mutex; it exists for us until the child is killed.
TEST_F(NamedMutex, DiesWithTheProcessThatHoldsIt)
{
    int ready[2], hold[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(hold), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(hold[1]);
        char made =
            CreateMutexA(nullptr, TRUE, "MutexKroGame") && GetLastError() == ERROR_SUCCESS ? 'y' : 'n';
        if (write(ready[1], &made, 1) != 1) _exit(1);
        char never;
        (void)!read(hold[0], &never, 1); // returns when the test process goes, should it fail early
        _exit(0);
    }
    close(hold[0]);
    close(ready[1]);
    char made = 0;
    EXPECT_EQ(read(ready[0], &made, 1), 1);
    close(ready[0]);
    EXPECT_EQ(made, 'y');

    HANDLE opened = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "MutexKroGame");
    EXPECT_NE(opened, nullptr);
    HANDLE second = CreateMutexA(nullptr, TRUE, "MutexKroGame");
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(opened);
    CloseHandle(second);

    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(hold[1]);
    EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "MutexKroGame"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    HANDLE fresh = CreateMutexA(nullptr, TRUE, "MutexKroGame");
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    CloseHandle(fresh);
}

TEST(RuntimeDir, UsesTheEnvironmentWhenAbsolute)
{
    EnvOverride runtime("XDG_RUNTIME_DIR", "/run/user/4242");
    EXPECT_EQ(runtime_dir(), "/run/user/4242");
    EXPECT_EQ(runtime_object_path("mutex", "a/b c"), "/run/user/4242/kro.mutex.a%2Fb%20c");
}

TEST(RuntimeDir, FallsBackToAPrivateFolderUnderTmp)
{
    EnvOverride relative("XDG_RUNTIME_DIR", "run/user");
    std::string dir = runtime_dir();
    EXPECT_EQ(dir, "/tmp/kro-runtime-" + std::to_string(getuid()));
    struct stat info {};
    ASSERT_EQ(lstat(dir.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(info.st_uid, getuid());
}

} // namespace
