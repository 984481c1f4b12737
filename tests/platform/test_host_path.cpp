#include "platform/impl/host_path.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class HostPath : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(folder.path() / "release");
        write_host_file(folder.path() / "release" / "data.no", "no");
        write_host_file(folder.path() / "release" / "DATA.NI", "ni");
    }
    TempFolder folder;
};

} // namespace

// A data folder copied from Windows works as it lies, whatever case the program spells.
TEST_F(HostPath, MatchesEachMissingComponentIgnoringCase)
{
    struct Case {
        const char* program;
        const char* host;
    } cases[] = {
        {"Release\\data.no", "release/data.no"},   {"release\\data.ni", "release/DATA.NI"},
        {"RELEASE\\Data.Ni", "release/DATA.NI"},   {"release/data.no", "release/data.no"},
        {"Release\\\\data.no", "release/data.no"}, {"Release\\", "release/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(host_path_from_windows(folder.windows(c.program)), folder.host(c.host)) << c.program;
}

TEST_F(HostPath, NewNamesKeepTheProgramsCase)
{
    EXPECT_EQ(host_path_from_windows(folder.windows("RELEASE\\NewDir\\Save.DAT")),
              folder.host("release/NewDir/Save.DAT"));
}

TEST_F(HostPath, ExactSpellingWinsAndTiesGoToTheLowestName)
{
    write_host_file(folder.path() / "a.txt", "");
    write_host_file(folder.path() / "A.TXT", "");
    EXPECT_EQ(host_path_from_windows(folder.windows("a.txt")), folder.host("a.txt"));
    EXPECT_EQ(host_path_from_windows(folder.windows("A.TXT")), folder.host("A.TXT"));
    EXPECT_EQ(host_path_from_windows(folder.windows("a.TXT")), folder.host("A.TXT"));
}

TEST_F(HostPath, RelativePathsStayRelative)
{
    WorkingDirectoryGuard guard;
    fs::current_path(folder.path());
    EXPECT_EQ(host_path_from_windows("RELEASE\\data.no"), "release/data.no");
    EXPECT_EQ(host_path_from_windows(".\\Release\\..\\release\\DATA.ni"), "./release/../release/DATA.NI");
    EXPECT_EQ(host_path_from_windows(""), "");
    EXPECT_EQ(host_path_from_windows("\\"), "/");
}

// 0x95 0x5C is one Shift-JIS character whose second byte equals '\'.
TEST_F(HostPath, ShiftJisNamesBecomeUtf8AndBack)
{
    const std::string sjis_name = "\x95\x5C.txt";
    const std::string utf8_name = "\xE8\xA1\xA8.txt";
    write_host_file(folder.path() / utf8_name, "x");
    EXPECT_EQ(host_path_from_windows(folder.windows() + "\\" + sjis_name), folder.host(utf8_name));
    EXPECT_EQ(host_path_to_windows(folder.host(utf8_name)), folder.windows() + "\\" + sjis_name);
}

TEST(HostPathToWindows, GivesBackslashesAndRefusesWhatShiftJisCannotSay)
{
    EXPECT_EQ(host_path_to_windows("/home/player/.local/share"), "\\home\\player\\.local\\share");
    EXPECT_EQ(host_path_to_windows("relative/name"), "relative\\name");
    EXPECT_EQ(host_path_to_windows("/home/\xF0\x9F\x98\x80"), std::nullopt);
}
