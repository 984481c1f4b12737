#include "game/g_leaderboards.h"

#include "core/text.h"

#include <algorithm>

std::unique_ptr<CSteamLeaderboards> g_leaderboards;

namespace {

// The object outlives a store that was shut down early; its calls then bind nothing.
SteamAPICall_t leaderboards_find(const char* name)
{
    ISteamUserStats* stats = SteamUserStats();
    return stats ? stats->FindLeaderboard(name) : k_uAPICallInvalid;
}

} // namespace

CSteamLeaderboards::CSteamLeaderboards()
{
    ResetEntries();
}

void CSteamLeaderboards::FindStageBoard(const char* name)
{
    m_operation = LEADERBOARD_OP_FINDING;
    m_status = LEADERBOARD_STATUS_OK;
    m_rows_ready = 0;
    m_stage_board = 0;
    m_downloaded_count = 0;
    for (int i = 0; i < LEADERBOARD_PAGE_ROWS; ++i) {
        m_entries[i].m_nScore = 0;
        m_details[i] = 0;
    }
    m_find_stage.Set(leaderboards_find(name), this, &CSteamLeaderboards::OnStageBoardFound);
}

void CSteamLeaderboards::FindBossRushBoard(const char* name)
{
    m_operation = LEADERBOARD_OP_FINDING;
    m_status = LEADERBOARD_STATUS_OK;
    m_rows_ready = 0;
    m_boss_rush_board = 0;
    m_find_boss_rush.Set(leaderboards_find(name), this, &CSteamLeaderboards::OnBossRushBoardFound);
}

bool CSteamLeaderboards::UploadStageScore(std::int32_t score, std::int32_t detail)
{
    return Upload(m_stage_board, m_upload_stage, score, detail);
}

bool CSteamLeaderboards::UploadBossRushScore(std::int32_t score, std::int32_t detail)
{
    return Upload(m_boss_rush_board, m_upload_boss_rush, score, detail);
}

bool CSteamLeaderboards::Upload(SteamLeaderboard_t board, UploadBinding& binding, std::int32_t score,
                                std::int32_t detail)
{
    // A board that was not found stays reported until the next lookup.
    if (m_status != LEADERBOARD_STATUS_NOT_FOUND) m_status = LEADERBOARD_STATUS_OK;
    m_operation = LEADERBOARD_OP_UPLOADING;
    ISteamUserStats* stats = SteamUserStats();
    if (board == 0 || !stats) return false;
    binding.Set(
        stats->UploadLeaderboardScore(board, k_ELeaderboardUploadScoreMethodKeepBest, score, &detail, 1),
        this, &CSteamLeaderboards::OnScoreUploaded);
    return true;
}

bool CSteamLeaderboards::DownloadEntries(ELeaderboardDataRequest kind, std::int32_t first_rank)
{
    if (m_status != LEADERBOARD_STATUS_NOT_FOUND) m_status = LEADERBOARD_STATUS_OK;
    m_rows_ready = 0;
    ISteamUserStats* stats = SteamUserStats();
    if (m_stage_board == 0 || !stats) return false;
    bool own_entry = kind == k_ELeaderboardDataRequestGlobalAroundUser;
    int range_start = own_entry ? 0 : first_rank;
    int range_end = own_entry ? 0 : first_rank + LEADERBOARD_PAGE_ROWS;
    m_download.Set(stats->DownloadLeaderboardEntries(m_stage_board, kind, range_start, range_end), this,
                   &CSteamLeaderboards::OnEntriesDownloaded);
    return true;
}

void CSteamLeaderboards::ResetEntries()
{
    const std::uint64_t nobody =
        CSteamID(0, 0, k_EUniverseInvalid, k_EAccountTypeAnonGameServer).ConvertToUint64();
    for (LeaderboardRow& row : m_rows) {
        row.user_id = nobody;
        sys_copy_string(row.name, "UNKNOWN", sizeof row.name);
        row.global_rank = 0;
        row.score = 0;
        row.detail = 0;
    }
}

void CSteamLeaderboards::OnStageBoardFound(LeaderboardFindResult_t* result, bool io_failure)
{
    TakeBoard(m_stage_board, *result, io_failure);
}

void CSteamLeaderboards::OnBossRushBoardFound(LeaderboardFindResult_t* result, bool io_failure)
{
    TakeBoard(m_boss_rush_board, *result, io_failure);
}

void CSteamLeaderboards::TakeBoard(SteamLeaderboard_t& board, const LeaderboardFindResult_t& result,
                                   bool io_failure)
{
    if (io_failure || !result.m_bLeaderboardFound) {
        m_status = LEADERBOARD_STATUS_NOT_FOUND;
        return;
    }
    board = result.m_hSteamLeaderboard;
}

void CSteamLeaderboards::OnScoreUploaded(LeaderboardScoreUploaded_t* result, bool io_failure)
{
    if (io_failure || !result->m_bSuccess) {
        m_status = LEADERBOARD_STATUS_UPLOAD_FAILED;
        m_operation = LEADERBOARD_OP_NO_NEW_BEST;
        return;
    }
    m_operation = result->m_bScoreChanged ? LEADERBOARD_OP_NEW_BEST : LEADERBOARD_OP_NO_NEW_BEST;
}

void CSteamLeaderboards::OnEntriesDownloaded(LeaderboardScoresDownloaded_t* result, bool io_failure)
{
    if (result->m_hSteamLeaderboard != m_stage_board) return;
    ISteamUserStats* stats = SteamUserStats();
    if (io_failure || !stats) {
        m_status = LEADERBOARD_STATUS_DOWNLOAD_FAILED;
        return;
    }
    // A friends download can hold more entries than there are rows.
    m_downloaded_count = std::clamp(result->m_cEntryCount, 0, LEADERBOARD_ROW_COUNT);
    m_total_entries = stats->GetLeaderboardEntryCount(m_stage_board);
    ResetEntries();
    for (int i = 0; i < m_downloaded_count; ++i) {
        if (!stats->GetDownloadedLeaderboardEntry(result->m_hSteamLeaderboardEntries, i, &m_entries[i],
                                                  &m_details[i], 1)) {
            continue;
        }
        LeaderboardRow& row = m_rows[i];
        row.user_id = m_entries[i].m_steamIDUser.ConvertToUint64();
        row.global_rank = m_entries[i].m_nGlobalRank;
        row.score = m_entries[i].m_nScore;
        row.detail = m_details[i];
    }
    m_rows_ready = 1;
}

CSteamLeaderboards* game_create_leaderboards()
{
    if (!SteamUserStats()) {
        g_leaderboards.reset();
        return nullptr;
    }
    g_leaderboards = std::make_unique<CSteamLeaderboards>();
    return g_leaderboards.get();
}

void game_destroy_leaderboards()
{
    g_leaderboards.reset();
}
