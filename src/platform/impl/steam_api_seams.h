// The local store's own side, and the seams through which tests steer it. Game code never
// calls these.
#pragma once

#include "platform/steam_api.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The store's own side of an asynchronous call (user stats, leaderboards): the call has
// finished now with this result record; it is delivered by the next dispatch. Returns the
// call's handle, or k_uAPICallInvalid while the store is not open.
SteamAPICall_t store_finish_call(int callback_id, std::span<const std::uint8_t> result, bool io_failure);

// The store folder (a host path) used from the next SteamAPI_Init on; empty returns to the
// data home's.
void seam_set_store_folder(std::string host_folder);
// How many StoreStats calls the open store has taken since the program started.
std::int32_t seam_stats_stored_count();
// Switches the account's cloud storage of the open store; false while it is not open.
bool seam_set_cloud_enabled_for_account(bool enabled);
// Puts another user's entry on a board of the open store (made as FindLeaderboard makes
// it), replacing that user's earlier entry; false while closed or when the board cannot be
// read or written.
bool seam_put_leaderboard_entry(const char* board, std::uint64_t user, std::int32_t score,
                                std::span<const std::int32_t> details);

// Makes every file write of the store fail (stats, achievements, boards, settings, remote
// files) until switched off; the files already there stay as they were.
void seam_set_store_writes_fail(bool fail);

// The seams below steer the calls of the open store; its closing switches them all off.

// Makes the calls whose results take this callback id (LeaderboardFindResult_t::k_iCallback,
// LeaderboardScoreUploaded_t::k_iCallback, LeaderboardScoresDownloaded_t::k_iCallback) fail
// until switched off: such a call changes nothing, and its result arrives with the I/O-failure
// flag set and a record of nothing found, uploaded or downloaded.
void seam_set_calls_fail(int callback_id, bool fail);
// Results (of calls and callbacks) that finish from now on are passed by this many dispatches
// before one delivers them; 0 is the store's own pace (the next dispatch delivers).
void seam_set_results_held(std::int32_t dispatches);
// The next call whose result takes this callback id finishes with `record` in place of the
// store's own record (one of another size is dropped); the call itself still takes its effect.
// seam_script_next_result takes the record itself.
void seam_script_result_bytes(int callback_id, std::span<const std::uint8_t> record);
template <class P> void seam_script_next_result(const P& record)
{
    seam_script_result_bytes(P::k_iCallback, {reinterpret_cast<const std::uint8_t*>(&record), sizeof record});
}
// Makes every FileDelete of remote storage fail, leaving the file, until switched off.
void seam_set_remote_deletes_fail(bool fail);
// FileRead of remote storage reads at most this many bytes, as a read cut short by the
// platform would; negative: no limit.
void seam_set_remote_read_limit(std::int32_t bytes);

// One call on the stats interface, in the order taken: the operation as the interface names
// it ("GetStat", "SetStat", "GetAchievement", "SetAchievement", "IndicateAchievementProgress",
// "StoreStats", "ResetAllStats", "RequestCurrentStats"), the stat or achievement name, and
// the value read or written (an achievement 0 or 1; the current progress; for ResetAllStats
// whether achievements too). `max` is the progress maximum, 0 for the others.
struct StoreStatsCall {
    std::string operation;
    std::string name;
    std::int64_t value = 0;
    std::int64_t max = 0;
    bool operator==(const StoreStatsCall&) const = default;
};
// The stats calls since the store last opened.
const std::vector<StoreStatsCall>& seam_stats_call_log();
