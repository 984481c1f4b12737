// The entry of every test program: tests never need a desktop and never see the real home.
// The surroundings are set here, before any test runs, so programs the tests start inherit them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

// The known leaks of system libraries are suppressed silently: programs that tests start keep
// their output to what they print themselves.
#define KRO_LSAN_OPTIONS "suppressions=" KRO_LSAN_SUPPRESSIONS ":print_suppressions=0"

extern "C" const char* __lsan_default_options()
{
    return KRO_LSAN_OPTIONS;
}

namespace {

void set_test_surroundings()
{
    const std::string home = KRO_TEST_HOME;
    std::filesystem::create_directories(home + "/data");
    std::filesystem::create_directories(home + "/run");
    std::filesystem::permissions(home + "/run", std::filesystem::perms::owner_all);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home + "/run").c_str(), 1);
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("ALSOFT_DRIVERS", "null", 1);
    setenv("LSAN_OPTIONS", KRO_LSAN_OPTIONS, 1);
    setenv("UBSAN_OPTIONS", "print_stacktrace=1", 1);
}

} // namespace

int main(int argc, char** argv)
{
    set_test_surroundings();
    testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
