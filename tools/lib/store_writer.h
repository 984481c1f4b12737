// The local store's files, in the store's own layout, and a listing of a store folder.
//   "stats", "achievements": UTF-8 lines "name<TAB>value", LF ends (an achievement 0 or 1).
//   "boards/<name in lowercase hex>": "KRB1", u32 sort (1 ascending, 2 descending), u32 entry
//   count, then each entry: u64 user, i32 score, u32 detail count, the details (i32 each),
//   u32 name length, the name's bytes (at most 128); all little-endian.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A user of another machine: universe 1, individual account, instance 0, so never the store's
// own user (instance 1).
constexpr std::uint64_t store_other_user(std::uint32_t account)
{
    return std::uint64_t{1} << 56 | std::uint64_t{1} << 52 | account;
}

using StoreValueList = std::vector<std::pair<std::string, std::int32_t>>;

struct StoreBoardRow {
    std::uint64_t user = 0;
    std::int32_t score = 0; // a clear time in milliseconds on the game's boards
    std::vector<std::int32_t> details;
    std::string name;
};

struct StoreBoardImage {
    std::string name;
    bool descending = false; // the game's boards rank the smallest time first
    std::vector<StoreBoardRow> rows;
};

struct StoreImage {
    StoreValueList stats;
    StoreValueList achievements;
    std::vector<StoreBoardImage> boards;
};

std::string store_values_text(const StoreValueList& values);
// The board's file name inside "boards/".
std::string store_board_file_name(std::string_view board);
std::vector<std::uint8_t> store_board_bytes(const StoreBoardImage& board);
bool store_write_board(const std::filesystem::path& folder, const StoreBoardImage& board);
// Writes the stats and achievements files and every board, each file whole; files of the
// folder that the image does not name stay as they are.
bool store_write(const std::filesystem::path& folder, const StoreImage& image);

// A few other players' clear times on "Story Mode - Normal", "Time Attack - Normal - Brisanne"
// and "Boss Rush - Normal".
std::vector<StoreBoardImage> store_seed_boards();
// Writes the seed boards the folder does not have yet; the names of those written.
std::optional<std::vector<std::string>> store_seed(const std::filesystem::path& folder);

// The store folder as text: its stats, its achievements, and each board with its entries in
// rank order; lines or files that cannot be read are shown as such.
std::string store_listing(const std::filesystem::path& folder);
