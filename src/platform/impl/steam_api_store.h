// The local store's pieces shared by its two halves: steam_api.cpp (the store's life, its
// files, the dispatch, remote storage, stats and achievements) and steam_api_boards.cpp
// (leaderboards).
#pragma once

#include "platform/steam_api.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

class StoreUserStats final : public ISteamUserStats {
public:
    bool RequestCurrentStats() override;
    bool GetStat(const char* name, std::int32_t* value) override;
    bool SetStat(const char* name, std::int32_t value) override;
    bool GetAchievement(const char* name, bool* achieved) override;
    bool SetAchievement(const char* name) override;
    bool IndicateAchievementProgress(const char* name, std::uint32_t current, std::uint32_t max) override;
    bool StoreStats() override;
    bool ResetAllStats(bool achievements_too) override;
    SteamAPICall_t FindLeaderboard(const char* name) override;
    SteamAPICall_t UploadLeaderboardScore(SteamLeaderboard_t board, ELeaderboardUploadScoreMethod method,
                                          std::int32_t score, const std::int32_t* details,
                                          int detail_count) override;
    SteamAPICall_t DownloadLeaderboardEntries(SteamLeaderboard_t board, ELeaderboardDataRequest request,
                                              int range_start, int range_end) override;
    int GetLeaderboardEntryCount(SteamLeaderboard_t board) override;
    bool GetDownloadedLeaderboardEntry(SteamLeaderboardEntries_t entries, int index,
                                       LeaderboardEntry_t* entry, std::int32_t* details,
                                       int details_max) override;
};

bool store_is_open();
// The open store's host folder; empty while it is closed.
const std::string& store_folder();
// The store's own user, by the host account.
std::uint64_t store_local_user();
// Replaces the file whole, through a temporary file of the store; false when writes fail.
bool store_write_whole(const std::string& target, const void* data, std::size_t size);
// The whole regular file, when it can be read and is of a size a store file can have.
std::optional<std::vector<std::uint8_t>> store_read_whole(const std::string& path);

// Finishes a call of the interface with its result record, or with the record a test
// scripted for the call's kind; the dispatch delivers it.
SteamAPICall_t store_finish_interface_call(int callback_id, std::span<const std::uint8_t> record,
                                           bool io_failure);
template <class P> std::span<const std::uint8_t> store_record_bytes(const P& record)
{
    return {reinterpret_cast<const std::uint8_t*>(&record), sizeof record};
}
template <class P> SteamAPICall_t store_finish_record(const P& record, bool io_failure)
{
    return store_finish_interface_call(P::k_iCallback, store_record_bytes(record), io_failure);
}
// A call of a kind a test made fail changes nothing; its record says what the store would
// answer when it could not act.
bool store_call_fails(int callback_id);
template <class P> bool store_call_fails()
{
    return store_call_fails(P::k_iCallback);
}

// Forgets the board handles and downloads of the store's session, as it closes.
void store_forget_boards();
