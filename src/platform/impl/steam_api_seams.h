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
