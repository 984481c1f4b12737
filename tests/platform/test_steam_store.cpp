#include "platform/impl/steam_api_seams.h"
#include "platform/steam_api.h"

#include "steam_delivery.h"
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

TEST_F(SteamStore, InjectedRemoteFailuresKeepTheFiles)
{
    ASSERT_TRUE(m_remote->FileWrite("kro_00.nacci", "old slot", 8));

    seam_set_store_writes_fail(true);
    EXPECT_FALSE(m_remote->FileWrite("kro_00.nacci", "new", 3));
    EXPECT_FALSE(m_remote->FileWrite("kro_01.nacci", "new", 3));
    seam_set_store_writes_fail(false);
    EXPECT_EQ(Read("kro_00.nacci"), "old slot");
    EXPECT_FALSE(m_remote->FileExists("kro_01.nacci"));
    EXPECT_TRUE(folder_names(m_temp.path() / "store/tmp").empty());

    seam_set_remote_deletes_fail(true);
    EXPECT_FALSE(m_remote->FileDelete("kro_00.nacci"));
    EXPECT_TRUE(m_remote->FileExists("kro_00.nacci"));
    seam_set_remote_deletes_fail(false);

    // A short read: fewer bytes than the file has, though its size says more.
    seam_set_remote_read_limit(3);
    char buffer[9] = {};
    EXPECT_EQ(m_remote->GetFileSize("kro_00.nacci"), 8);
    EXPECT_EQ(m_remote->FileRead("kro_00.nacci", buffer, 8), 3);
    EXPECT_STREQ(buffer, "old");
    seam_set_remote_read_limit(0);
    EXPECT_EQ(m_remote->FileRead("kro_00.nacci", buffer, 8), 0);

    // Closing the store switches the seams off.
    seam_set_remote_deletes_fail(true);
    SteamAPI_Shutdown();
    ASSERT_TRUE(SteamAPI_Init());
    m_remote = SteamRemoteStorage();
    EXPECT_EQ(Read("kro_00.nacci"), "old slot");
    EXPECT_TRUE(m_remote->FileDelete("kro_00.nacci"));
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
    for (const std::string& file : {stats_file, achievements_file})
        std::fclose(std::fopen(file.c_str(), "w"));
    EXPECT_TRUE(stats->ResetAllStats(false));
    EXPECT_FALSE(std::filesystem::exists(stats_file));
    EXPECT_TRUE(std::filesystem::exists(achievements_file));
    EXPECT_TRUE(stats->ResetAllStats(true));
    EXPECT_FALSE(std::filesystem::exists(achievements_file));
    EXPECT_TRUE(stats->ResetAllStats(true)); // nothing left to clear is still a reset
}

namespace {

// Takes the stats callback as a game object would, keeping what each run brought.
class StatsListener : public CCallbackBase {
public:
    void Run(void* param, bool io_failure, SteamAPICall_t call) override
    {
        received.push_back(*static_cast<const UserStatsReceived_t*>(param));
        EXPECT_FALSE(io_failure);
        EXPECT_EQ(call, k_uAPICallInvalid) << "a callback answers no call";
    }

    std::vector<UserStatsReceived_t> received;
};

} // namespace

TEST_F(SteamStore, CurrentStatsArriveByCallbackOnceAndOnlyThroughTheDispatch)
{
    ISteamUserStats* stats = SteamUserStats();
    ASSERT_NE(stats, nullptr);
    StatsListener listener;
    StatsListener second;
    StatsListener left;
    RecordingHandler lookups(0);
    SteamAPI_RegisterCallback(&listener, UserStatsReceived_t::k_iCallback);
    SteamAPI_RegisterCallback(&second, UserStatsReceived_t::k_iCallback);
    SteamAPI_RegisterCallback(&left, UserStatsReceived_t::k_iCallback);
    SteamAPI_UnregisterCallback(&left);
    SteamAPI_RegisterCallback(&lookups, LeaderboardFindResult_t::k_iCallback);
    EXPECT_EQ(lookups.m_iCallback, LeaderboardFindResult_t::k_iCallback);

    ASSERT_TRUE(stats->RequestCurrentStats());
    EXPECT_TRUE(listener.received.empty()) << "nothing is delivered outside the dispatch";
    SteamAPI_RunCallbacks();
    ASSERT_EQ(listener.received.size(), 1u);
    EXPECT_EQ(listener.received[0].m_nGameID, k_store_game_id);
    EXPECT_EQ(listener.received[0].m_eResult, k_EResultOK);
    EXPECT_NE(listener.received[0].m_steamIDUser.ConvertToUint64(), 0u);
    EXPECT_EQ(second.received.size(), 1u) << "every listener hears it";
    EXPECT_TRUE(left.received.empty());
    EXPECT_TRUE(lookups.runs.empty()) << "only listeners of its callback id";

    SteamAPI_RunCallbacks();
    EXPECT_EQ(listener.received.size(), 1u) << "delivered once";

    // A closed store neither answers nor keeps its listeners.
    SteamAPI_Shutdown();
    EXPECT_FALSE(stats->RequestCurrentStats());
    ASSERT_TRUE(SteamAPI_Init());
    ASSERT_TRUE(SteamUserStats()->RequestCurrentStats());
    SteamAPI_RunCallbacks();
    EXPECT_EQ(listener.received.size(), 1u);
}

namespace {

// Instance 0, so never the local user (instance 1).
constexpr std::uint64_t k_other_user = 0x0110000000000000ull;

class SteamBoards : public SteamStore {
protected:
    void SetUp() override
    {
        SteamStore::SetUp();
        m_stats = SteamUserStats();
        ASSERT_NE(m_stats, nullptr);
    }

    SteamLeaderboard_t Find(const char* name)
    {
        Delivery<LeaderboardFindResult_t> found =
            deliver<LeaderboardFindResult_t>(m_stats->FindLeaderboard(name));
        EXPECT_EQ(found.runs, 1);
        EXPECT_FALSE(found.io_failure);
        EXPECT_EQ(found.record.m_bLeaderboardFound, 1);
        return found.record.m_hSteamLeaderboard;
    }
    LeaderboardScoreUploaded_t Upload(SteamLeaderboard_t board, std::int32_t score)
    {
        const std::int32_t detail = 0;
        return deliver<LeaderboardScoreUploaded_t>(
                   m_stats->UploadLeaderboardScore(board, k_ELeaderboardUploadScoreMethodKeepBest, score,
                                                   &detail, 1))
            .record;
    }
    // The ranks a download delivered, in order.
    std::vector<std::int32_t> Ranks(SteamLeaderboard_t board, ELeaderboardDataRequest request, int start,
                                    int end)
    {
        auto downloaded = deliver<LeaderboardScoresDownloaded_t>(
            m_stats->DownloadLeaderboardEntries(board, request, start, end));
        EXPECT_EQ(downloaded.record.m_hSteamLeaderboard, board);
        std::vector<std::int32_t> ranks;
        for (int i = 0; i < downloaded.record.m_cEntryCount; ++i) {
            LeaderboardEntry_t entry{};
            EXPECT_TRUE(m_stats->GetDownloadedLeaderboardEntry(downloaded.record.m_hSteamLeaderboardEntries,
                                                               i, &entry, nullptr, 0));
            ranks.push_back(entry.m_nGlobalRank);
        }
        return ranks;
    }
    std::filesystem::path BoardsFolder() const { return m_temp.path() / "store/boards"; }

    ISteamUserStats* m_stats = nullptr;
};

TEST_F(SteamBoards, FindMakesEachBoardOnceAsAFileOfItsOwn)
{
    SteamLeaderboard_t board = Find("Boss Rush - Hard");
    EXPECT_NE(board, 0u);
    EXPECT_EQ(Find("Boss Rush - Hard"), board);
    EXPECT_NE(Find("boss rush - hard"), board); // board names are exact
    const std::string longest(k_cchLeaderboardNameMax - 1, 'n');
    for (const char* odd : {"a/b", "..", "\x83\x5c", longest.c_str()}) {
        SCOPED_TRACE(odd);
        EXPECT_NE(Find(odd), 0u);
    }
    EXPECT_EQ(folder_names(BoardsFolder()).size(), 6u);
    EXPECT_EQ(folder_names(m_temp.path() / "store"), (std::vector<std::string>{"boards", "remote", "tmp"}));
    EXPECT_EQ(m_stats->GetLeaderboardEntryCount(board), 0);

    // A name that is empty or too long is a board the store cannot have.
    const std::string too_long(k_cchLeaderboardNameMax, 'n');
    for (const char* bad : {"", too_long.c_str()}) {
        auto found = deliver<LeaderboardFindResult_t>(m_stats->FindLeaderboard(bad));
        EXPECT_EQ(found.runs, 1);
        EXPECT_FALSE(found.io_failure);
        EXPECT_EQ(found.record.m_bLeaderboardFound, 0);
        EXPECT_EQ(found.record.m_hSteamLeaderboard, 0u);
    }

    // The board and its entries outlive the store's session.
    ASSERT_EQ(Upload(board, 5000).m_bSuccess, 1);
    SteamAPI_Shutdown();
    ASSERT_TRUE(SteamAPI_Init());
    m_stats = SteamUserStats();
    EXPECT_EQ(m_stats->GetLeaderboardEntryCount(Find("Boss Rush - Hard")), 1);
}

TEST_F(SteamBoards, UploadKeepsTheBestScoreInAscendingOrder)
{
    for (std::int32_t score : {1000, 2000, 3000})
        ASSERT_TRUE(seam_put_leaderboard_entry("Story Mode - Normal", k_other_user + score, score, {}));
    SteamLeaderboard_t board = Find("Story Mode - Normal");
    struct Step {
        std::int32_t score;
        bool changed;
        std::int32_t rank;
        std::int32_t previous;
    };
    const Step steps[] = {
        {2500, true, 3, 0},  // a first entry
        {2600, false, 3, 3}, // slower: kept
        {2500, false, 3, 3}, // as fast: kept
        {2000, true, 3, 3},  // ties rank after the earlier entry
        {500, true, 1, 3},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.score);
        LeaderboardScoreUploaded_t uploaded = Upload(board, step.score);
        EXPECT_EQ(uploaded.m_bSuccess, 1);
        EXPECT_EQ(uploaded.m_hSteamLeaderboard, board);
        EXPECT_EQ(uploaded.m_nScore, step.score);
        EXPECT_EQ(uploaded.m_bScoreChanged, step.changed);
        EXPECT_EQ(uploaded.m_nGlobalRankNew, step.rank);
        EXPECT_EQ(uploaded.m_nGlobalRankPrevious, step.previous);
    }
    EXPECT_EQ(m_stats->GetLeaderboardEntryCount(board), 4);
}

TEST_F(SteamBoards, DownloadRangesFollowTheRequestKind)
{
    const char* name = "Time Attack - Hard - Gorgon";
    for (std::int32_t i = 1; i <= 10; ++i)
        ASSERT_TRUE(seam_put_leaderboard_entry(name, k_other_user + i, i * 10, {}));
    SteamLeaderboard_t board = Find(name);
    ASSERT_EQ(Upload(board, 55).m_nGlobalRankNew, 6);

    using RankList = std::vector<std::int32_t>;
    struct Case {
        ELeaderboardDataRequest request;
        int start;
        int end;
        RankList ranks;
    };
    const Case cases[] = {
        {k_ELeaderboardDataRequestGlobal, 1, 3, {1, 2, 3}},
        {k_ELeaderboardDataRequestGlobal, 0, 2, {1, 2}},
        {k_ELeaderboardDataRequestGlobal, 10, 20, {10, 11}},
        {k_ELeaderboardDataRequestGlobal, 5, 4, {}},
        {k_ELeaderboardDataRequestGlobalAroundUser, 0, 0, {6}},
        {k_ELeaderboardDataRequestGlobalAroundUser, -2, 2, {4, 5, 6, 7, 8}},
        {k_ELeaderboardDataRequestGlobalAroundUser, -8, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}, // shifted down
        {k_ELeaderboardDataRequestGlobalAroundUser, 3, 7, {7, 8, 9, 10, 11}},                // shifted up
        {k_ELeaderboardDataRequestGlobalAroundUser, 1, 0, {}},
        {k_ELeaderboardDataRequestFriends, 1, 2, {6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.request << " " << c.start << ".." << c.end);
        EXPECT_EQ(Ranks(board, c.request, c.start, c.end), c.ranks);
    }

    // A user without an entry has nothing around them.
    SteamLeaderboard_t empty = Find("Time Attack - Hard - Wyrm");
    EXPECT_EQ(Ranks(empty, k_ELeaderboardDataRequestGlobalAroundUser, -2, 2), RankList{});
    EXPECT_EQ(Ranks(empty, k_ELeaderboardDataRequestFriends, 0, 0), RankList{});
}

TEST_F(SteamBoards, DownloadedEntriesHandOverUsersScoresAndDetails)
{
    const std::int32_t details[] = {7, 8, 9};
    ASSERT_TRUE(seam_put_leaderboard_entry("Boss Rush - Normal", k_other_user + 1, 4200, details));
    SteamLeaderboard_t board = Find("Boss Rush - Normal");
    auto downloaded = deliver<LeaderboardScoresDownloaded_t>(
        m_stats->DownloadLeaderboardEntries(board, k_ELeaderboardDataRequestGlobal, 1, 10));
    ASSERT_EQ(downloaded.record.m_cEntryCount, 1);
    const SteamLeaderboardEntries_t entries = downloaded.record.m_hSteamLeaderboardEntries;

    LeaderboardEntry_t entry{};
    std::int32_t out[3] = {-1, -1, -1};
    ASSERT_TRUE(m_stats->GetDownloadedLeaderboardEntry(entries, 0, &entry, out, 2));
    EXPECT_EQ(entry.m_steamIDUser.ConvertToUint64(), k_other_user + 1);
    EXPECT_EQ(entry.m_nGlobalRank, 1);
    EXPECT_EQ(entry.m_nScore, 4200);
    EXPECT_EQ(entry.m_cDetails, 3);
    EXPECT_EQ(entry.m_hUGC, k_UGCHandleInvalid);
    EXPECT_EQ(std::vector<std::int32_t>(out, out + 3), (std::vector<std::int32_t>{7, 8, -1}));

    // Later changes to the board do not reach a download already made.
    ASSERT_TRUE(seam_put_leaderboard_entry("Boss Rush - Normal", k_other_user + 1, 100, {}));
    ASSERT_TRUE(m_stats->GetDownloadedLeaderboardEntry(entries, 0, &entry, nullptr, 0));
    EXPECT_EQ(entry.m_nScore, 4200);

    EXPECT_FALSE(m_stats->GetDownloadedLeaderboardEntry(entries, 1, &entry, out, 3));
    EXPECT_FALSE(m_stats->GetDownloadedLeaderboardEntry(entries, -1, &entry, out, 3));
    EXPECT_FALSE(m_stats->GetDownloadedLeaderboardEntry(entries + 1, 0, &entry, out, 3));
    EXPECT_FALSE(m_stats->GetDownloadedLeaderboardEntry(0, 0, &entry, out, 3));
    EXPECT_FALSE(m_stats->GetDownloadedLeaderboardEntry(entries, 0, nullptr, out, 3));
}

TEST_F(SteamBoards, CallsThatCannotBeMadeGiveNoHandle)
{
    SteamLeaderboard_t board = Find("Story Mode - Hard");
    const std::int32_t details[k_cLeaderboardDetailsMax + 1] = {};
    const auto keep_best = k_ELeaderboardUploadScoreMethodKeepBest;
    EXPECT_EQ(m_stats->FindLeaderboard(nullptr), k_uAPICallInvalid);
    EXPECT_EQ(m_stats->UploadLeaderboardScore(board + 1, keep_best, 1, details, 1), k_uAPICallInvalid);
    EXPECT_EQ(m_stats->UploadLeaderboardScore(0, keep_best, 1, details, 1), k_uAPICallInvalid);
    EXPECT_EQ(m_stats->UploadLeaderboardScore(board, keep_best, 1, details, -1), k_uAPICallInvalid);
    EXPECT_EQ(m_stats->UploadLeaderboardScore(board, keep_best, 1, details, k_cLeaderboardDetailsMax + 1),
              k_uAPICallInvalid);
    EXPECT_EQ(m_stats->UploadLeaderboardScore(board, keep_best, 1, nullptr, 1), k_uAPICallInvalid);
    EXPECT_EQ(m_stats->DownloadLeaderboardEntries(board + 1, k_ELeaderboardDataRequestGlobal, 1, 2),
              k_uAPICallInvalid);
    EXPECT_EQ(m_stats->DownloadLeaderboardEntries(board, static_cast<ELeaderboardDataRequest>(3), 1, 2),
              k_uAPICallInvalid);
    EXPECT_EQ(m_stats->GetLeaderboardEntryCount(board + 1), 0);
    EXPECT_EQ(m_stats->GetLeaderboardEntryCount(board), 0); // none of the above reached the board
    EXPECT_EQ(Upload(board, 1).m_bSuccess, 1);              // the full detail count and none both go
    EXPECT_NE(m_stats->UploadLeaderboardScore(board, keep_best, 1, details, k_cLeaderboardDetailsMax),
              k_uAPICallInvalid);
    EXPECT_NE(m_stats->UploadLeaderboardScore(board, keep_best, 1, nullptr, 0), k_uAPICallInvalid);

    // Handles do not survive the store's session.
    SteamAPI_Shutdown();
    ASSERT_TRUE(SteamAPI_Init());
    m_stats = SteamUserStats();
    EXPECT_EQ(m_stats->UploadLeaderboardScore(board, keep_best, 1, details, 1), k_uAPICallInvalid);
    EXPECT_FALSE(seam_put_leaderboard_entry("", k_other_user, 1, {}));
}

TEST_F(SteamBoards, AnUnreadableBoardFailsItsCalls)
{
    const std::int32_t details[] = {1, 2};
    ASSERT_TRUE(seam_put_leaderboard_entry("Boss Rush - Hard", k_other_user, 900, details));
    ASSERT_EQ(folder_names(BoardsFolder()).size(), 1u);
    const std::filesystem::path file = BoardsFolder() / folder_names(BoardsFolder())[0];
    const std::string good = read_host_file(file);
    std::string bad_sort = good;
    bad_sort[4] = 3;
    std::string many_details = good;
    many_details[4 + 4 + 4 + 8 + 4] = k_cLeaderboardDetailsMax + 1;
    const std::string spoilt[] = {
        "",       "KRB1",      good.substr(0, good.size() - 1), good + "x", "XRB1" + good.substr(4),
        bad_sort, many_details};
    SteamLeaderboard_t board = Find("Boss Rush - Hard");
    for (const std::string& bytes : spoilt) {
        SCOPED_TRACE(bytes.size());
        write_host_file(file, bytes);
        auto found = deliver<LeaderboardFindResult_t>(m_stats->FindLeaderboard("Boss Rush - Hard"));
        EXPECT_TRUE(found.io_failure);
        EXPECT_EQ(found.record.m_bLeaderboardFound, 0);
        EXPECT_EQ(Upload(board, 100).m_bSuccess, 0);
        auto downloaded = deliver<LeaderboardScoresDownloaded_t>(
            m_stats->DownloadLeaderboardEntries(board, k_ELeaderboardDataRequestGlobal, 1, 10));
        EXPECT_TRUE(downloaded.io_failure);
        EXPECT_EQ(m_stats->GetLeaderboardEntryCount(board), 0);
        EXPECT_EQ(read_host_file(file), bytes); // a failed upload leaves the file alone
    }
    write_host_file(file, good);
    EXPECT_EQ(m_stats->GetLeaderboardEntryCount(board), 1);
}

TEST_F(SteamBoards, FailingCallsOfEachKindChangeNothingAndReportAnIoFailure)
{
    const char* name = "Boss Rush - Normal";
    ASSERT_TRUE(seam_put_leaderboard_entry(name, k_other_user, 900, {}));
    SteamLeaderboard_t board = Find(name);
    ASSERT_EQ(Upload(board, 1200).m_bScoreChanged, 1);
    const std::string before = read_host_file(BoardsFolder() / folder_names(BoardsFolder())[0]);

    seam_set_calls_fail(LeaderboardFindResult_t::k_iCallback, true);
    auto found = deliver<LeaderboardFindResult_t>(m_stats->FindLeaderboard("Story Mode - Hard"));
    EXPECT_EQ(found.runs, 1);
    EXPECT_TRUE(found.io_failure);
    EXPECT_EQ(found.record.m_bLeaderboardFound, 0);
    EXPECT_EQ(found.record.m_hSteamLeaderboard, 0u);
    EXPECT_EQ(folder_names(BoardsFolder()).size(), 1u) << "no board was made";
    seam_set_calls_fail(LeaderboardFindResult_t::k_iCallback, false);

    seam_set_calls_fail(LeaderboardScoreUploaded_t::k_iCallback, true);
    const std::int32_t detail = 0;
    auto uploaded = deliver<LeaderboardScoreUploaded_t>(
        m_stats->UploadLeaderboardScore(board, k_ELeaderboardUploadScoreMethodKeepBest, 100, &detail, 1));
    EXPECT_EQ(uploaded.runs, 1);
    EXPECT_TRUE(uploaded.io_failure);
    EXPECT_EQ(uploaded.record.m_bSuccess, 0);
    EXPECT_EQ(uploaded.record.m_hSteamLeaderboard, board);
    EXPECT_EQ(read_host_file(BoardsFolder() / folder_names(BoardsFolder())[0]), before);
    seam_set_calls_fail(LeaderboardScoreUploaded_t::k_iCallback, false);

    seam_set_calls_fail(LeaderboardScoresDownloaded_t::k_iCallback, true);
    auto downloaded = deliver<LeaderboardScoresDownloaded_t>(
        m_stats->DownloadLeaderboardEntries(board, k_ELeaderboardDataRequestGlobal, 1, 10));
    EXPECT_EQ(downloaded.runs, 1);
    EXPECT_TRUE(downloaded.io_failure);
    EXPECT_EQ(downloaded.record.m_hSteamLeaderboard, board);
    EXPECT_EQ(downloaded.record.m_cEntryCount, 0);
    EXPECT_NE(Find(name), 0u) << "another kind of call still goes";

    // Closing the store switches the seam off.
    SteamAPI_Shutdown();
    ASSERT_TRUE(SteamAPI_Init());
    m_stats = SteamUserStats();
    EXPECT_EQ(Ranks(Find(name), k_ELeaderboardDataRequestGlobal, 1, 10), (std::vector<std::int32_t>{1, 2}));
}

TEST_F(SteamBoards, AFailingStoreWriteFailsTheUploadAndKeepsTheBoard)
{
    SteamLeaderboard_t board = Find("Story Mode - Easy");
    ASSERT_EQ(Upload(board, 9000).m_bSuccess, 1);
    seam_set_store_writes_fail(true);
    LeaderboardScoreUploaded_t better = Upload(board, 8000);
    LeaderboardScoreUploaded_t worse = Upload(board, 9500);
    seam_set_store_writes_fail(false);
    EXPECT_EQ(better.m_bSuccess, 0);
    EXPECT_EQ(worse.m_bSuccess, 1) << "a time that is kept out writes nothing";
    EXPECT_EQ(worse.m_bScoreChanged, 0);
    auto downloaded = deliver<LeaderboardScoresDownloaded_t>(
        m_stats->DownloadLeaderboardEntries(board, k_ELeaderboardDataRequestGlobal, 1, 10));
    LeaderboardEntry_t entry{};
    ASSERT_TRUE(m_stats->GetDownloadedLeaderboardEntry(downloaded.record.m_hSteamLeaderboardEntries, 0,
                                                       &entry, nullptr, 0));
    EXPECT_EQ(entry.m_nScore, 9000);
    EXPECT_TRUE(folder_names(m_temp.path() / "store/tmp").empty());
}

TEST_F(SteamBoards, HeldResultsPassTheirDispatchesByAndComeOnce)
{
    RecordingHandler first(LeaderboardFindResult_t::k_iCallback);
    RecordingHandler second(LeaderboardFindResult_t::k_iCallback);
    StatsListener listener;
    SteamAPI_RegisterCallback(&listener, UserStatsReceived_t::k_iCallback);

    seam_set_results_held(2);
    SteamAPICall_t held = m_stats->FindLeaderboard("Story Mode - Normal");
    ASSERT_TRUE(m_stats->RequestCurrentStats());
    seam_set_results_held(0);
    SteamAPICall_t prompt = m_stats->FindLeaderboard("Story Mode - Hard");
    SteamAPI_RegisterCallResult(&first, held);
    SteamAPI_RegisterCallResult(&second, prompt);

    SteamAPI_RunCallbacks();
    EXPECT_TRUE(first.runs.empty());
    EXPECT_TRUE(listener.received.empty());
    EXPECT_EQ(second.runs.size(), 1u) << "a later call at the normal pace goes first";
    SteamAPI_RunCallbacks();
    EXPECT_TRUE(first.runs.empty());
    EXPECT_TRUE(listener.received.empty());
    SteamAPI_RunCallbacks();
    ASSERT_EQ(first.runs.size(), 1u);
    EXPECT_EQ(first.runs[0].call, held);
    EXPECT_EQ(listener.received.size(), 1u);
    SteamAPI_RunCallbacks();
    EXPECT_EQ(first.runs.size(), 1u) << "delivered once";
    EXPECT_EQ(listener.received.size(), 1u);
    SteamAPI_UnregisterCallback(&listener);
}

TEST_F(SteamBoards, AScriptedRecordStandsInForTheNextResultOfItsKind)
{
    SteamLeaderboard_t board = Find("Boss Rush - Hard");
    seam_script_next_result(LeaderboardFindResult_t{77, 1});
    Delivery<LeaderboardScoreUploaded_t> upload = deliver<LeaderboardScoreUploaded_t>(
        m_stats->UploadLeaderboardScore(board, k_ELeaderboardUploadScoreMethodKeepBest, 40, nullptr, 0));
    EXPECT_EQ(upload.record.m_nScore, 40) << "another kind keeps its own record";
    EXPECT_EQ(m_stats->GetLeaderboardEntryCount(board), 1);

    auto scripted = deliver<LeaderboardFindResult_t>(m_stats->FindLeaderboard("Boss Rush - Hard"));
    EXPECT_EQ(scripted.record.m_hSteamLeaderboard, 77u);
    EXPECT_EQ(Find("Boss Rush - Hard"), board) << "only the next one";

    const std::uint8_t short_record[] = {9, 9, 9};
    seam_script_result_bytes(LeaderboardFindResult_t::k_iCallback, short_record);
    EXPECT_EQ(Find("Boss Rush - Hard"), board) << "a record of another size cannot stand in";
}

TEST_F(SteamBoards, CallResultBindsOneCallAtATime)
{
    const LeaderboardFindResult_t first_record{1, 1};
    const LeaderboardFindResult_t second_record{2, 1};
    auto bytes = [](const LeaderboardFindResult_t& record) {
        return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(&record), sizeof record);
    };
    Delivery<LeaderboardFindResult_t> delivery;
    CCallResult<Delivery<LeaderboardFindResult_t>, LeaderboardFindResult_t> binding;
    EXPECT_EQ(binding.m_iCallback, LeaderboardFindResult_t::k_iCallback);
    EXPECT_FALSE(binding.IsActive());

    SteamAPICall_t first = store_finish_call(1104, bytes(first_record), false);
    SteamAPICall_t second = store_finish_call(1104, bytes(second_record), false);
    binding.Set(first, &delivery, &Delivery<LeaderboardFindResult_t>::On);
    binding.Set(second, &delivery, &Delivery<LeaderboardFindResult_t>::On); // drops the first
    EXPECT_TRUE(binding.IsActive());
    SteamAPI_RunCallbacks();
    EXPECT_FALSE(binding.IsActive());
    ASSERT_EQ(delivery.runs, 1);
    EXPECT_EQ(delivery.record.m_hSteamLeaderboard, 2u);

    binding.Set(k_uAPICallInvalid, &delivery, &Delivery<LeaderboardFindResult_t>::On);
    EXPECT_FALSE(binding.IsActive());

    // A binding that goes while its call waits takes nothing with it.
    {
        Delivery<LeaderboardFindResult_t> gone;
        CCallResult<Delivery<LeaderboardFindResult_t>, LeaderboardFindResult_t> short_lived;
        short_lived.Set(store_finish_call(1104, bytes(first_record), false), &gone,
                        &Delivery<LeaderboardFindResult_t>::On);
    }
    SteamAPI_RunCallbacks();
    EXPECT_EQ(delivery.runs, 1);
}

} // namespace
