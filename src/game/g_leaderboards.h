// The two online leaderboards of the store platform: the stage board (a time-attack stage or
// the story mode) and the boss-rush board. Boards are looked up by name at scene entry, clear
// times (milliseconds) are uploaded keep-best, and the stage board's rows are downloaded for
// the leaderboard browser. Every call answers later, through the store's callback dispatch
// (SteamAPI_RunCallbacks, once a logic step); the browser reads the public state.
#pragma once

#include "platform/steam_api.h"

#include <cstdint>
#include <memory>

constexpr int LEADERBOARD_ROW_COUNT = 300;
constexpr int LEADERBOARD_PAGE_ROWS = 15; // one page of the browser

enum LeaderboardStatus : std::int32_t {
    LEADERBOARD_STATUS_OK = 0,
    LEADERBOARD_STATUS_NOT_FOUND = 1,
    LEADERBOARD_STATUS_UPLOAD_FAILED = 2,
    LEADERBOARD_STATUS_DOWNLOAD_FAILED = 3,
};

enum LeaderboardOperation : std::int32_t {
    LEADERBOARD_OP_NONE = 0,
    LEADERBOARD_OP_FINDING = 1,
    LEADERBOARD_OP_UPLOADING = 2,
    LEADERBOARD_OP_NO_NEW_BEST = 3, // the upload ended without a new best, or failed
    LEADERBOARD_OP_NEW_BEST = 4,
};

struct LeaderboardRow {
    std::uint64_t user_id;
    char name[32]; // "UNKNOWN" until the browser fills it
    std::int32_t global_rank;
    std::int32_t score;
    std::int32_t detail;
};

class CSteamLeaderboards {
public:
    CSteamLeaderboards();

    // Starts looking a board up; the stage form also forgets the last download.
    void FindStageBoard(const char* name);
    void FindBossRushBoard(const char* name);
    // Uploads a clear time with its one detail word; false, nothing sent, while the board has
    // no handle.
    bool UploadStageScore(std::int32_t score, std::int32_t detail);
    bool UploadBossRushScore(std::int32_t score, std::int32_t detail);
    // Fills the rows from the stage board: around the user asks for the user's own entry,
    // every other kind for the ranks first_rank..first_rank + LEADERBOARD_PAGE_ROWS. False
    // while the board has no handle.
    bool DownloadEntries(ELeaderboardDataRequest kind, std::int32_t first_rank);
    // Every row empty: no user, "UNKNOWN", rank, score and detail 0.
    void ResetEntries();

    std::int32_t m_downloaded_count = 0; // at most LEADERBOARD_ROW_COUNT
    LeaderboardEntry_t m_entries[LEADERBOARD_ROW_COUNT] = {};
    std::int32_t m_details[LEADERBOARD_ROW_COUNT] = {};
    LeaderboardStatus m_status = LEADERBOARD_STATUS_OK;
    std::uint8_t m_rows_ready = 0; // the rows hold a finished download
    LeaderboardOperation m_operation = LEADERBOARD_OP_NONE;
    std::int32_t m_total_entries = 0; // the stage board's entries at the last download
    LeaderboardRow m_rows[LEADERBOARD_ROW_COUNT];

private:
    using FindBinding = CCallResult<CSteamLeaderboards, LeaderboardFindResult_t>;
    using UploadBinding = CCallResult<CSteamLeaderboards, LeaderboardScoreUploaded_t>;

    bool Upload(SteamLeaderboard_t board, UploadBinding& binding, std::int32_t score, std::int32_t detail);
    void OnStageBoardFound(LeaderboardFindResult_t* result, bool io_failure);
    void OnBossRushBoardFound(LeaderboardFindResult_t* result, bool io_failure);
    void TakeBoard(SteamLeaderboard_t& board, const LeaderboardFindResult_t& result, bool io_failure);
    void OnScoreUploaded(LeaderboardScoreUploaded_t* result, bool io_failure);
    void OnEntriesDownloaded(LeaderboardScoresDownloaded_t* result, bool io_failure);

    FindBinding m_find_stage;
    FindBinding m_find_boss_rush;
    UploadBinding m_upload_stage;
    UploadBinding m_upload_boss_rush;
    CCallResult<CSteamLeaderboards, LeaderboardScoresDownloaded_t> m_download;
    SteamLeaderboard_t m_stage_board = 0;
    SteamLeaderboard_t m_boss_rush_board = 0;
};

// Null where the store platform is not available; every caller tests it first.
extern std::unique_ptr<CSteamLeaderboards> g_leaderboards;

// Creates g_leaderboards once the store is open; null, and none kept, without the store.
CSteamLeaderboards* game_create_leaderboards();
// Drops g_leaderboards; before the store shuts down, so no binding outlives it.
void game_destroy_leaderboards();
