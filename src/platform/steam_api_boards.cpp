#include "platform/impl/steam_api_seams.h"
#include "platform/impl/steam_api_store.h"
#include "platform/win_shell.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

// A board's sort order, in the platform's numbering.
enum ELeaderboardSortMethod { k_ELeaderboardSortMethodAscending = 1, k_ELeaderboardSortMethodDescending = 2 };

struct StoreBoardEntry {
    std::uint64_t user;
    std::int32_t score;
    std::vector<std::int32_t> details;
    std::string name;
};

struct StoreBoard {
    std::uint32_t sort = k_ELeaderboardSortMethodAscending;
    std::vector<StoreBoardEntry> entries; // best first
};

// Where an upload left the user's entry.
struct StorePlacement {
    bool changed;
    std::int32_t rank;
    std::int32_t previous_rank; // 0: there was no entry
};

struct StoreDownloadedEntry {
    LeaderboardEntry_t entry;
    std::vector<std::int32_t> details;
};
using StoreDownload = std::vector<StoreDownloadedEntry>;

// Reads a file image front to back; every read past the end fails.
class StoreReader {
public:
    explicit StoreReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    bool Read(void* out, std::size_t size)
    {
        if (size > m_bytes.size()) return false;
        if (size > 0) std::memcpy(out, m_bytes.data(), size);
        m_bytes = m_bytes.subspan(size);
        return true;
    }
    template <class T> bool Value(T& value) { return Read(&value, sizeof value); }
    bool AtEnd() const { return m_bytes.empty(); }

private:
    std::span<const std::uint8_t> m_bytes;
};

// A board file: this magic, u32 sort order, u32 entry count, then each entry: u64 user,
// i32 score, u32 detail count, the details (i32 each), u32 name length, the name's bytes.
constexpr char k_board_magic[4] = {'K', 'R', 'B', '1'};
constexpr std::uint32_t k_board_user_name_max = 128;

std::vector<std::string> g_store_board_names; // board handle - 1, while the store is open
std::vector<StoreDownload> g_store_downloads; // entries handle - 1, while the store is open

bool store_valid_board_name(const char* name)
{
    std::size_t length = std::strlen(name);
    return length > 0 && length < static_cast<std::size_t>(k_cchLeaderboardNameMax);
}

// Hex keeps every byte of a name, and its case, out of the host's way, and the longest name
// still fits a host file name.
std::string store_board_path(const std::string& name)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string path = store_folder() + "/boards/";
    for (unsigned char c : name) {
        path += digits[c >> 4];
        path += digits[c & 0xF];
    }
    return path;
}

bool store_board_missing(const std::string& name)
{
    struct stat info {};
    return stat(store_board_path(name).c_str(), &info) != 0 && errno == ENOENT;
}

// True when score `a` ranks above score `b` on a board of this order.
bool store_score_better(std::uint32_t sort, std::int32_t a, std::int32_t b)
{
    return sort == k_ELeaderboardSortMethodAscending ? a < b : a > b;
}

std::optional<StoreBoardEntry> store_board_read_entry(StoreReader& reader)
{
    StoreBoardEntry entry{};
    std::uint32_t detail_count = 0;
    std::uint32_t name_length = 0;
    if (!reader.Value(entry.user) || !reader.Value(entry.score) || !reader.Value(detail_count) ||
        detail_count > static_cast<std::uint32_t>(k_cLeaderboardDetailsMax)) {
        return std::nullopt;
    }
    entry.details.resize(detail_count);
    if (!reader.Read(entry.details.data(), detail_count * sizeof(std::int32_t)) ||
        !reader.Value(name_length) || name_length > k_board_user_name_max) {
        return std::nullopt;
    }
    entry.name.resize(name_length);
    if (!reader.Read(entry.name.data(), name_length)) return std::nullopt;
    return entry;
}

std::optional<StoreBoard> store_board_parse(std::span<const std::uint8_t> bytes)
{
    StoreReader reader(bytes);
    char magic[sizeof k_board_magic];
    StoreBoard board;
    std::uint32_t count = 0;
    if (!reader.Read(magic, sizeof magic) || std::memcmp(magic, k_board_magic, sizeof magic) != 0 ||
        !reader.Value(board.sort) || !reader.Value(count)) {
        return std::nullopt;
    }
    if (board.sort != k_ELeaderboardSortMethodAscending && board.sort != k_ELeaderboardSortMethodDescending) {
        return std::nullopt;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        std::optional<StoreBoardEntry> entry = store_board_read_entry(reader);
        if (!entry) return std::nullopt;
        board.entries.push_back(std::move(*entry));
    }
    if (!reader.AtEnd()) return std::nullopt;
    // Ranks are positions, so a file put together by other means still ranks by its order.
    std::stable_sort(board.entries.begin(), board.entries.end(),
                     [&](const StoreBoardEntry& a, const StoreBoardEntry& b) {
                         return store_score_better(board.sort, a.score, b.score);
                     });
    return board;
}

// A missing file is a board not made yet: ascending and empty. Nothing when the file cannot
// be read or is no board.
std::optional<StoreBoard> store_board_load(const std::string& name)
{
    if (store_board_missing(name)) return StoreBoard{};
    std::optional<std::vector<std::uint8_t>> bytes = store_read_whole(store_board_path(name));
    if (!bytes) return std::nullopt;
    return store_board_parse(*bytes);
}

template <class T> void store_append(std::vector<std::uint8_t>& out, const T& value)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof value);
}

bool store_board_save(const std::string& name, const StoreBoard& board)
{
    std::vector<std::uint8_t> out(std::begin(k_board_magic), std::end(k_board_magic));
    store_append(out, board.sort);
    store_append(out, static_cast<std::uint32_t>(board.entries.size()));
    for (const StoreBoardEntry& entry : board.entries) {
        store_append(out, entry.user);
        store_append(out, entry.score);
        store_append(out, static_cast<std::uint32_t>(entry.details.size()));
        for (std::int32_t detail : entry.details)
            store_append(out, detail);
        store_append(out, static_cast<std::uint32_t>(entry.name.size()));
        out.insert(out.end(), entry.name.begin(), entry.name.end());
    }
    return store_write_whole(store_board_path(name), out.data(), out.size());
}

// Puts the user's entry in its place by score, after the entries of an equal score; with
// `keep_best` an earlier entry that is at least as good stays as it was.
StorePlacement store_board_put(StoreBoard& board, StoreBoardEntry entry, bool keep_best)
{
    std::vector<StoreBoardEntry>& entries = board.entries;
    StorePlacement placement{true, 0, 0};
    auto old = std::find_if(entries.begin(), entries.end(),
                            [&](const StoreBoardEntry& other) { return other.user == entry.user; });
    if (old != entries.end()) {
        placement.previous_rank = static_cast<std::int32_t>(old - entries.begin() + 1);
        if (keep_best && !store_score_better(board.sort, entry.score, old->score)) {
            placement.changed = false;
            placement.rank = placement.previous_rank;
            return placement;
        }
        entries.erase(old);
    }
    auto place = std::find_if(entries.begin(), entries.end(), [&](const StoreBoardEntry& other) {
        return store_score_better(board.sort, entry.score, other.score);
    });
    placement.rank = static_cast<std::int32_t>(place - entries.begin() + 1);
    entries.insert(place, std::move(entry));
    return placement;
}

// Board handles count from 1 in the order the boards are first found while the store is open.
SteamLeaderboard_t store_board_handle(const std::string& name)
{
    auto known = std::find(g_store_board_names.begin(), g_store_board_names.end(), name);
    if (known == g_store_board_names.end()) known = g_store_board_names.insert(known, name);
    return static_cast<SteamLeaderboard_t>(known - g_store_board_names.begin() + 1);
}

const std::string* store_board_name(SteamLeaderboard_t board)
{
    if (board == 0 || board > g_store_board_names.size()) return nullptr;
    return &g_store_board_names[board - 1];
}

std::string store_local_user_name()
{
    char name[k_board_user_name_max];
    DWORD size = sizeof name;
    return GetUserNameA(name, &size) ? std::string(name) : std::string();
}

// The positions a request asks for, best first. A local store knows no friends, so the
// user's friends are the user alone.
std::vector<std::size_t> store_requested_entries(const StoreBoard& board, ELeaderboardDataRequest request,
                                                 int range_start, int range_end)
{
    const std::int64_t count = static_cast<std::int64_t>(board.entries.size());
    const std::uint64_t user = store_local_user();
    auto own = std::find_if(board.entries.begin(), board.entries.end(),
                            [&](const StoreBoardEntry& entry) { return entry.user == user; });
    const std::int64_t own_index = own - board.entries.begin();
    std::int64_t first = 0;
    std::int64_t last = -1; // inclusive
    if (request == k_ELeaderboardDataRequestGlobal) {
        first = std::max(range_start, 1) - 1;
        last = std::min<std::int64_t>(range_end, count) - 1;
    } else if (own != board.entries.end() && request == k_ELeaderboardDataRequestFriends) {
        first = last = own_index;
    } else if (own != board.entries.end() && range_end >= range_start) {
        // Around the user: the window keeps its size, shifted to stay on the board.
        const std::int64_t width = std::int64_t{range_end} - range_start;
        first = std::max<std::int64_t>(own_index + range_start, 0);
        last = std::min(first + width, count - 1);
        first = std::max<std::int64_t>(last - width, 0);
    }
    std::vector<std::size_t> positions;
    for (std::int64_t i = first; i <= last; ++i)
        positions.push_back(static_cast<std::size_t>(i));
    return positions;
}

} // namespace

SteamAPICall_t StoreUserStats::FindLeaderboard(const char* name)
{
    if (!store_is_open() || !name) return k_uAPICallInvalid;
    LeaderboardFindResult_t result{};
    if (store_call_fails<LeaderboardFindResult_t>()) return store_finish_record(result, true);
    if (!store_valid_board_name(name)) return store_finish_record(result, false);
    std::optional<StoreBoard> board = store_board_load(name);
    bool stored = board && (!store_board_missing(name) || store_board_save(name, *board));
    if (stored) {
        result.m_hSteamLeaderboard = store_board_handle(name);
        result.m_bLeaderboardFound = 1;
    }
    return store_finish_record(result, !stored);
}

SteamAPICall_t StoreUserStats::UploadLeaderboardScore(SteamLeaderboard_t board,
                                                      ELeaderboardUploadScoreMethod method,
                                                      std::int32_t score, const std::int32_t* details,
                                                      int detail_count)
{
    const std::string* name = store_board_name(board);
    if (!name || method != k_ELeaderboardUploadScoreMethodKeepBest || detail_count < 0 ||
        detail_count > k_cLeaderboardDetailsMax || (!details && detail_count > 0)) {
        return k_uAPICallInvalid;
    }
    LeaderboardScoreUploaded_t result{};
    result.m_hSteamLeaderboard = board;
    result.m_nScore = score;
    if (store_call_fails<LeaderboardScoreUploaded_t>()) return store_finish_record(result, true);
    if (std::optional<StoreBoard> loaded = store_board_load(*name)) {
        StoreBoardEntry entry{
            store_local_user(), score, {details, details + detail_count}, store_local_user_name()};
        StorePlacement placement = store_board_put(*loaded, std::move(entry), true);
        if (!placement.changed || store_board_save(*name, *loaded)) {
            result.m_bSuccess = 1;
            result.m_bScoreChanged = placement.changed;
            result.m_nGlobalRankNew = placement.rank;
            result.m_nGlobalRankPrevious = placement.previous_rank;
        }
    }
    return store_finish_record(result, false);
}

SteamAPICall_t StoreUserStats::DownloadLeaderboardEntries(SteamLeaderboard_t board,
                                                          ELeaderboardDataRequest request, int range_start,
                                                          int range_end)
{
    const std::string* name = store_board_name(board);
    if (!name || request < k_ELeaderboardDataRequestGlobal || request > k_ELeaderboardDataRequestFriends) {
        return k_uAPICallInvalid;
    }
    LeaderboardScoresDownloaded_t result{};
    result.m_hSteamLeaderboard = board;
    std::optional<StoreBoard> loaded = store_board_load(*name);
    if (!loaded || store_call_fails<LeaderboardScoresDownloaded_t>())
        return store_finish_record(result, true);
    StoreDownload download;
    for (std::size_t position : store_requested_entries(*loaded, request, range_start, range_end)) {
        const StoreBoardEntry& entry = loaded->entries[position];
        LeaderboardEntry_t record{CSteamID(entry.user), static_cast<std::int32_t>(position + 1), entry.score,
                                  static_cast<std::int32_t>(entry.details.size()), k_UGCHandleInvalid};
        download.push_back({record, entry.details});
    }
    result.m_cEntryCount = static_cast<std::int32_t>(download.size());
    g_store_downloads.push_back(std::move(download));
    result.m_hSteamLeaderboardEntries = g_store_downloads.size();
    return store_finish_record(result, false);
}

int StoreUserStats::GetLeaderboardEntryCount(SteamLeaderboard_t board)
{
    const std::string* name = store_board_name(board);
    std::optional<StoreBoard> loaded = name ? store_board_load(*name) : std::nullopt;
    return loaded ? static_cast<int>(loaded->entries.size()) : 0;
}

bool StoreUserStats::GetDownloadedLeaderboardEntry(SteamLeaderboardEntries_t entries, int index,
                                                   LeaderboardEntry_t* entry, std::int32_t* details,
                                                   int details_max)
{
    if (entries == 0 || entries > g_store_downloads.size() || !entry) return false;
    const StoreDownload& download = g_store_downloads[entries - 1];
    if (index < 0 || static_cast<std::size_t>(index) >= download.size()) return false;
    const StoreDownloadedEntry& chosen = download[static_cast<std::size_t>(index)];
    *entry = chosen.entry;
    if (details) {
        std::size_t wanted = static_cast<std::size_t>(std::max(details_max, 0));
        std::copy_n(chosen.details.begin(), std::min(wanted, chosen.details.size()), details);
    }
    return true;
}

void store_forget_boards()
{
    g_store_board_names.clear();
    g_store_downloads.clear();
}

bool seam_put_leaderboard_entry(const char* board, std::uint64_t user, std::int32_t score,
                                std::span<const std::int32_t> details)
{
    if (!store_is_open() || !board || !store_valid_board_name(board) ||
        details.size() > static_cast<std::size_t>(k_cLeaderboardDetailsMax)) {
        return false;
    }
    std::optional<StoreBoard> loaded = store_board_load(board);
    if (!loaded) return false;
    store_board_put(*loaded, {user, score, {details.begin(), details.end()}, {}}, false);
    return store_board_save(board, *loaded);
}
