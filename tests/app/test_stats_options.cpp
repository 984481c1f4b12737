#include "app/app_entry.h"

#include "app_fixture.h"
#include "platform/steam_api.h"
#include "platform/win_crt.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

// The store of the test's own user, with a stats file and an achievements file in it.
class StatsOptionsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SteamAPI_Init()); }
    void TearDown() override { SteamAPI_Shutdown(); }

    std::filesystem::path store_file(const char* name) const
    {
        return m_user.data_home() / "kro_store" / name;
    }
    void write_stats()
    {
        for (const char* name : {"stats", "achievements"})
            GameInstall::write_text(store_file(name), "kept");
    }

    // Runs the command line of the program with one argument, or none when it is null.
    static HRESULT parse(const char* argument)
    {
        std::string program = "kro_win";
        std::string copy = argument ? argument : "";
        char* argv[] = {program.data(), copy.data()};
        crt_set_arguments(argument ? 2 : 1, argv);
        return app_parse_command_line();
    }

    GameUser m_user;
};

} // namespace

TEST_F(StatsOptionsTest, ResetSwitchClearsStatsAndAboveOneAchievementsToo)
{
    struct Case {
        const char* argument; // null: none
        bool stats_cleared;
        bool achievements_cleared;
    };
    const Case cases[] = {
        {nullptr, false, false}, {"-R2", true, true},  {"/r1", true, false},  {"-r", true, false},
        {"/R0", true, false},    {"-R10", true, true}, {"-R1x", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argument ? c.argument : "no argument");
        write_stats();
        EXPECT_EQ(parse(c.argument), S_OK);
        EXPECT_EQ(std::filesystem::exists(store_file("stats")), !c.stats_cleared);
        EXPECT_EQ(std::filesystem::exists(store_file("achievements")), !c.achievements_cleared);
    }
}

TEST_F(StatsOptionsTest, WithoutTheStoreTheSwitchIsAcceptedAndNothingIsReset)
{
    write_stats();
    SteamAPI_Shutdown();
    EXPECT_EQ(parse("-R2"), S_OK);
    EXPECT_TRUE(std::filesystem::exists(store_file("stats")));
    EXPECT_TRUE(std::filesystem::exists(store_file("achievements")));
}
