#include "platform/win_crt.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

namespace {

class Crt : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(folder.path() / "Music");
        write_host_file(folder.path() / "Music" / "Title.ogg", "OggS");
    }
    TempFolder folder;
};

} // namespace

// The stream opens at the program's path, spelt in any case and with its own separators.
TEST_F(Crt, FopenSOpensTheProgramsPath)
{
    FILE* file = nullptr;
    ASSERT_EQ(fopen_s(&file, folder.windows("MUSIC\\title.OGG").c_str(), "rb"), 0);
    ASSERT_NE(file, nullptr);
    char bytes[5] = {};
    EXPECT_EQ(std::fread(bytes, 1, 4, file), 4u);
    EXPECT_STREQ(bytes, "OggS");
    std::fclose(file);
}

// A failed open answers why and leaves no stream behind, even where the caller's pointer held one.
TEST_F(Crt, FopenSAnswersWhyAnOpenFailed)
{
    const std::string missing = folder.windows("Music\\Missing.ogg");
    const std::string present = folder.windows("Music\\Title.ogg");
    struct Case {
        const char* path;
        const char* mode;
        errno_t error;
    } cases[] = {
        {missing.c_str(), "rb", ENOENT},
        {nullptr, "rb", EINVAL},
        {present.c_str(), nullptr, EINVAL},
    };
    for (const Case& c : cases) {
        FILE* file = stdin;
        EXPECT_EQ(fopen_s(&file, c.path, c.mode), c.error) << (c.path ? c.path : "null path");
        EXPECT_EQ(file, nullptr) << (c.path ? c.path : "null path");
    }
    EXPECT_EQ(fopen_s(nullptr, present.c_str(), "rb"), EINVAL);
}
