#include "platform/steam_api.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

class SteamStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        seam_set_store_folder(m_temp.host("store"));
        ASSERT_TRUE(SteamAPI_Init());
        m_remote = SteamRemoteStorage();
        ASSERT_NE(m_remote, nullptr);
    }
    void TearDown() override
    {
        SteamAPI_Shutdown();
        seam_set_store_folder("");
    }

    std::string Read(const char* name)
    {
        std::string text(static_cast<std::size_t>(m_remote->GetFileSize(name)), '\0');
        text.resize(
            static_cast<std::size_t>(m_remote->FileRead(name, text.data(), static_cast<int>(text.size()))));
        return text;
    }

    TempFolder m_temp;
    ISteamRemoteStorage* m_remote = nullptr;
};

TEST(SteamStoreLife, InterfaceExistsOnlyWhileTheStoreIsOpen)
{
    TempFolder temp;
    seam_set_store_folder(temp.host("store"));
    EXPECT_EQ(SteamRemoteStorage(), nullptr);
    ASSERT_TRUE(SteamAPI_Init());
    EXPECT_NE(SteamRemoteStorage(), nullptr);
    EXPECT_TRUE(SteamAPI_Init()); // a second start changes nothing
    SteamAPI_Shutdown();
    EXPECT_EQ(SteamRemoteStorage(), nullptr);
    seam_set_store_folder("");
}

TEST(SteamStoreLife, StoreLivesUnderTheDataHome)
{
    TempFolder temp;
    struct Case {
        std::optional<std::string> xdg; // unset when empty
        const char* expected_folder;
    };
    const Case cases[] = {
        {temp.host("xdg"), "xdg/kro_store"},
        {std::nullopt, "home/.local/share/kro_store"},
        {"relative/ignored", "home/.local/share/kro_store"},
    };
    EnvOverride home("HOME", temp.host("home"));
    EnvOverride xdg("XDG_DATA_HOME", "");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected_folder);
        if (c.xdg) {
            setenv("XDG_DATA_HOME", c.xdg->c_str(), 1);
        } else {
            unsetenv("XDG_DATA_HOME");
        }
        ASSERT_TRUE(SteamAPI_Init());
        ASSERT_TRUE(SteamRemoteStorage()->FileWrite("probe.txt", "x", 1));
        SteamAPI_Shutdown();
        EXPECT_EQ(read_host_file(temp.path() / c.expected_folder / "remote" / "probe.txt"), "x");
    }
}

TEST(SteamStoreLife, InitFailsWhenTheStoreFolderCannotBeMade)
{
    TempFolder temp;
    write_host_file(temp.path() / "plain", "a file, not a folder");
    seam_set_store_folder(temp.host("plain/store"));
    EXPECT_FALSE(SteamAPI_Init());
    EXPECT_EQ(SteamRemoteStorage(), nullptr);
    seam_set_store_folder("");
}

TEST_F(SteamStore, FilesAreRealFilesInTheStoreFolder)
{
    const std::string text = "IniVersion=0x103\r\n";
    ASSERT_TRUE(m_remote->FileWrite("kro_win.ini", text.data(), static_cast<int>(text.size())));
    EXPECT_EQ(read_host_file(m_temp.path() / "store/remote/kro_win.ini"), text);
    EXPECT_TRUE(m_remote->FileExists("kro_win.ini"));
    EXPECT_TRUE(m_remote->FileExists("KRO_WIN.INI")); // names compare without regard to case
    EXPECT_EQ(m_remote->GetFileSize("Kro_Win.ini"), static_cast<int>(text.size()));
    EXPECT_EQ(Read("kro_win.ini"), text);

    char prefix[4] = {};
    EXPECT_EQ(m_remote->FileRead("kro_win.ini", prefix, 3), 3);
    EXPECT_STREQ(prefix, "Ini");

    EXPECT_TRUE(m_remote->FileDelete("kro_win.ini"));
    EXPECT_FALSE(m_remote->FileDelete("kro_win.ini"));
    EXPECT_FALSE(m_remote->FileExists("kro_win.ini"));
    EXPECT_EQ(m_remote->GetFileSize("kro_win.ini"), 0);
    EXPECT_EQ(m_remote->FileRead("kro_win.ini", prefix, 3), 0);
}

TEST_F(SteamStore, RewritingReplacesTheWholeFileAndLeavesNoTemporaries)
{
    std::string long_text(1000, 'a');
    ASSERT_TRUE(m_remote->FileWrite("save.dat", long_text.data(), static_cast<int>(long_text.size())));
    ASSERT_TRUE(m_remote->FileWrite("save.dat", "short", 5));
    EXPECT_EQ(Read("save.dat"), "short");
    ASSERT_TRUE(m_remote->FileWrite("save.dat", nullptr, 0));
    EXPECT_TRUE(m_remote->FileExists("save.dat"));
    EXPECT_EQ(m_remote->GetFileSize("save.dat"), 0);
    EXPECT_TRUE(folder_names(m_temp.path() / "store/tmp").empty());
}

TEST_F(SteamStore, ShiftJisNamesBecomeUtf8FileNames)
{
    // The trail byte of this character is '\', which must not count as a separator.
    const char name[] = "\x83\x5c.ini";
    ASSERT_TRUE(m_remote->FileWrite(name, "v", 1));
    EXPECT_EQ(read_host_file(m_temp.path() / "store/remote" / "\xE3\x82\xBD.ini"), "v");
    EXPECT_TRUE(m_remote->FileExists(name));
}

TEST_F(SteamStore, RefusesBadNamesAndSizes)
{
    const std::string too_long(260, 'n');
    const std::string longest(255, 'n'); // the host's longest file name
    for (const char* name : {"", ".", "..", "a/b", "a\\b", "..\\up", too_long.c_str()}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(m_remote->FileWrite(name, "x", 1));
        EXPECT_FALSE(m_remote->FileExists(name));
    }
    EXPECT_FALSE(m_remote->FileWrite(nullptr, "x", 1));
    EXPECT_TRUE(m_remote->FileWrite(longest.c_str(), "x", 1));
    EXPECT_FALSE(m_remote->FileWrite("a.dat", "x", -1));
    EXPECT_FALSE(m_remote->FileWrite("a.dat", nullptr, 1));
    EXPECT_FALSE(m_remote->FileWrite("a.dat", "x", k_unMaxCloudFileChunkSize + 1));
    EXPECT_FALSE(m_remote->FileExists("a.dat"));
    char buffer[1];
    EXPECT_EQ(m_remote->FileRead(longest.c_str(), buffer, 0), 0);
    EXPECT_EQ(m_remote->FileRead(longest.c_str(), buffer, -5), 0);
}

TEST_F(SteamStore, CloudIsOffUntilSwitchedOnAndTheSwitchesPersist)
{
    EXPECT_FALSE(m_remote->IsCloudEnabledForAccount());
    EXPECT_FALSE(m_remote->IsCloudEnabledForApp());

    m_remote->SetCloudEnabledForApp(true);
    EXPECT_TRUE(m_remote->IsCloudEnabledForApp());
    EXPECT_FALSE(m_remote->IsCloudEnabledForAccount());
    ASSERT_TRUE(seam_set_cloud_enabled_for_account(true));
    EXPECT_TRUE(m_remote->IsCloudEnabledForAccount());

    SteamAPI_Shutdown();
    EXPECT_FALSE(seam_set_cloud_enabled_for_account(false)); // no store open
    ASSERT_TRUE(SteamAPI_Init());
    m_remote = SteamRemoteStorage();
    EXPECT_TRUE(m_remote->IsCloudEnabledForAccount());
    EXPECT_TRUE(m_remote->IsCloudEnabledForApp());

    m_remote->SetCloudEnabledForApp(false);
    SteamAPI_Shutdown();
    ASSERT_TRUE(SteamAPI_Init());
    m_remote = SteamRemoteStorage();
    EXPECT_TRUE(m_remote->IsCloudEnabledForAccount());
    EXPECT_FALSE(m_remote->IsCloudEnabledForApp());
}

// Records what the dispatch hands over.
class RecordingHandler : public CCallbackBase {
public:
    explicit RecordingHandler(int callback_id) { m_iCallback = callback_id; }
    void Run(void* param, bool io_failure, SteamAPICall_t call) override
    {
        const auto* bytes = static_cast<const std::uint8_t*>(param);
        runs.push_back({call, io_failure, bytes ? bytes[0] : std::uint8_t{0}});
        if (on_run) on_run();
    }

    struct RunRecord {
        SteamAPICall_t call;
        bool io_failure;
        std::uint8_t first_byte;
    };
    std::vector<RunRecord> runs;
    std::function<void()> on_run;
};

TEST_F(SteamStore, CallResultsReachTheirHandlerOnceThroughTheDispatch)
{
    const std::uint8_t result_a[] = {7, 0, 0, 0};
    const std::uint8_t result_b[] = {9};
    RecordingHandler lookups(1104);
    RecordingHandler uploads(1106);

    SteamAPICall_t first = store_finish_call(1104, result_a, false);
    SteamAPICall_t second = store_finish_call(1106, result_b, true);
    SteamAPICall_t unclaimed = store_finish_call(1104, result_b, false);
    SteamAPICall_t wrong_kind = store_finish_call(1105, result_b, false);
    ASSERT_NE(first, k_uAPICallInvalid);
    ASSERT_NE(first, second);
    SteamAPI_RegisterCallResult(&lookups, first);
    SteamAPI_RegisterCallResult(&uploads, second);
    SteamAPI_RegisterCallResult(&lookups, wrong_kind); // a lookup handler takes no download result
    EXPECT_TRUE(lookups.runs.empty());                 // nothing is delivered outside the dispatch

    SteamAPI_RunCallbacks();
    ASSERT_EQ(lookups.runs.size(), 1u);
    EXPECT_EQ(lookups.runs[0].call, first);
    EXPECT_EQ(lookups.runs[0].first_byte, 7);
    EXPECT_FALSE(lookups.runs[0].io_failure);
    ASSERT_EQ(uploads.runs.size(), 1u);
    EXPECT_TRUE(uploads.runs[0].io_failure);

    // Registered after its result was dispatched: the result is gone.
    SteamAPI_RegisterCallResult(&lookups, unclaimed);
    SteamAPI_RunCallbacks();
    EXPECT_EQ(lookups.runs.size(), 1u);
    EXPECT_EQ(uploads.runs.size(), 1u);
}

TEST_F(SteamStore, UnregisteredAndLateResultsWaitOrVanish)
{
    const std::uint8_t result[] = {1};
    RecordingHandler handler(1105);
    SteamAPICall_t dropped = store_finish_call(1105, result, false);
    SteamAPI_RegisterCallResult(&handler, dropped);
    SteamAPI_UnregisterCallResult(&handler, dropped);

    // A call issued from inside a handler is delivered by the next dispatch, not this one.
    RecordingHandler chained(1105);
    SteamAPICall_t first = store_finish_call(1105, result, false);
    SteamAPI_RegisterCallResult(&chained, first);
    chained.on_run = [&] {
        chained.on_run = nullptr;
        SteamAPI_RegisterCallResult(&chained, store_finish_call(1105, result, false));
    };
    SteamAPI_RunCallbacks();
    EXPECT_TRUE(handler.runs.empty());
    EXPECT_EQ(chained.runs.size(), 1u);
    SteamAPI_RunCallbacks();
    EXPECT_EQ(chained.runs.size(), 2u);

    // Shutting down drops what was not delivered; a closed store issues no calls.
    SteamAPI_RegisterCallResult(&handler, store_finish_call(1105, result, false));
    SteamAPI_Shutdown();
    EXPECT_EQ(store_finish_call(1105, result, false), k_uAPICallInvalid);
    SteamAPI_RunCallbacks();
    EXPECT_TRUE(handler.runs.empty());
}

} // namespace

TEST_F(SteamStore, ResetClearsStatsAndOnlyWhenAskedAchievements)
{
    ISteamUserStats* stats = SteamUserStats();
    ASSERT_NE(stats, nullptr);
    EXPECT_TRUE(stats->RequestCurrentStats());
    const std::string stats_file = m_temp.host("store/stats");
    const std::string achievements_file = m_temp.host("store/achievements");
    for (const std::string& file : {stats_file, achievements_file}) std::fclose(std::fopen(file.c_str(), "w"));
    EXPECT_TRUE(stats->ResetAllStats(false));
    EXPECT_FALSE(std::filesystem::exists(stats_file));
    EXPECT_TRUE(std::filesystem::exists(achievements_file));
    EXPECT_TRUE(stats->ResetAllStats(true));
    EXPECT_FALSE(std::filesystem::exists(achievements_file));
    EXPECT_TRUE(stats->ResetAllStats(true)); // nothing left to clear is still a reset
}
