#include "lib/store_writer.h"

#include "lib/archive_writer.h"
#include "lib/le_bytes.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <span>

namespace {

constexpr char k_board_magic[] = "KRB1";
constexpr std::uint32_t k_sort_ascending = 1;
constexpr std::uint32_t k_sort_descending = 2;
constexpr std::uint32_t k_details_max = 64;
constexpr std::uint32_t k_row_name_max = 128;

// The seed's players; player i is the account k_seed_account_base + i, far from any local one.
constexpr const char* k_seed_players[] = {"Aldwin", "Merenth", "Sorcha", "Tavish", "Quill"};
constexpr std::uint32_t k_seed_account_base = 70000;

struct SeedTime {
    std::uint32_t player;
    std::int32_t ms;
};

constexpr SeedTime k_story_times[] = {{0, 15'913'400}, {1, 18'240'050}, {2, 21'005'900}, {3, 26'781'233}};
constexpr SeedTime k_stage_times[] = {{2, 71'250}, {0, 84'016}, {4, 102'900}};
constexpr SeedTime k_boss_rush_times[] = {{1, 1'412'733}, {4, 1'650'100}, {0, 1'903'466}};

std::vector<std::uint8_t> text_bytes(std::string_view text)
{
    return {text.begin(), text.end()};
}

StoreBoardImage seed_board(const char* name, std::span<const SeedTime> times)
{
    StoreBoardImage board{name, false, {}};
    for (const SeedTime& time : times)
        board.rows.push_back(
            {store_other_user(k_seed_account_base + time.player), time.ms, {0}, k_seed_players[time.player]});
    return board;
}

// ---- Reading, for the listing -------------------------------------------------------------------

std::optional<std::string> read_whole(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ByteCursor {
public:
    explicit ByteCursor(std::string_view bytes) : m_bytes(bytes) {}
    std::optional<std::uint64_t> Le(std::size_t size)
    {
        if (size > m_bytes.size()) return std::nullopt;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i)
            value |= std::uint64_t{static_cast<std::uint8_t>(m_bytes[i])} << (8 * i);
        m_bytes.remove_prefix(size);
        return value;
    }
    std::optional<std::string_view> Bytes(std::size_t size)
    {
        if (size > m_bytes.size()) return std::nullopt;
        std::string_view taken = m_bytes.substr(0, size);
        m_bytes.remove_prefix(size);
        return taken;
    }
    bool AtEnd() const { return m_bytes.empty(); }

private:
    std::string_view m_bytes;
};

std::optional<StoreBoardRow> parse_row(ByteCursor& cursor)
{
    StoreBoardRow row;
    auto user = cursor.Le(8);
    auto score = cursor.Le(4);
    auto detail_count = cursor.Le(4);
    if (!user || !score || !detail_count || *detail_count > k_details_max) return std::nullopt;
    row.user = *user;
    row.score = static_cast<std::int32_t>(static_cast<std::uint32_t>(*score));
    for (std::uint64_t i = 0; i < *detail_count; ++i) {
        auto detail = cursor.Le(4);
        if (!detail) return std::nullopt;
        row.details.push_back(static_cast<std::int32_t>(static_cast<std::uint32_t>(*detail)));
    }
    auto name_length = cursor.Le(4);
    if (!name_length || *name_length > k_row_name_max) return std::nullopt;
    auto name = cursor.Bytes(*name_length);
    if (!name) return std::nullopt;
    row.name = *name;
    return row;
}

// The rows in rank order: by score in the board's order, equal scores as the file has them.
std::optional<StoreBoardImage> parse_board(std::string_view bytes)
{
    ByteCursor cursor(bytes);
    StoreBoardImage board;
    auto magic = cursor.Bytes(4);
    auto sort = cursor.Le(4);
    auto count = cursor.Le(4);
    if (!magic || *magic != std::string_view(k_board_magic, 4) || !sort || !count ||
        (*sort != k_sort_ascending && *sort != k_sort_descending)) {
        return std::nullopt;
    }
    board.descending = *sort == k_sort_descending;
    for (std::uint64_t i = 0; i < *count; ++i) {
        std::optional<StoreBoardRow> row = parse_row(cursor);
        if (!row) return std::nullopt;
        board.rows.push_back(std::move(*row));
    }
    if (!cursor.AtEnd()) return std::nullopt;
    std::ranges::stable_sort(board.rows, [&](const StoreBoardRow& a, const StoreBoardRow& b) {
        return board.descending ? a.score > b.score : a.score < b.score;
    });
    return board;
}

std::optional<std::string> board_name_of_file(std::string_view file)
{
    if (file.empty() || file.size() % 2 != 0) return std::nullopt;
    std::string name;
    for (std::size_t i = 0; i < file.size(); i += 2) {
        unsigned value = 0;
        auto [end, error] = std::from_chars(file.data() + i, file.data() + i + 2, value, 16);
        if (error != std::errc() || end != file.data() + i + 2) return std::nullopt;
        name += static_cast<char>(value);
    }
    return name;
}

std::string format_clear_time(std::int32_t ms)
{
    if (ms < 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d:%02d.%03d", ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60,
                  ms % 1000);
    return text;
}

std::string format_line(const char* format, auto... values)
{
    char text[512];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// Lines "name<TAB>value"; `achievements` shows 0 and 1 as locked and unlocked.
void list_values(std::string& out, const std::filesystem::path& path, const char* title, bool achievements)
{
    std::optional<std::string> text = read_whole(path);
    if (!text) {
        out += format_line("%s: none\n", title);
        return;
    }
    out += format_line("%s:\n", title);
    std::string_view rest = *text;
    for (int number = 1; !rest.empty(); ++number) {
        std::string_view line = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(std::min(rest.size(), line.size() + 1));
        std::size_t tab = line.find('\t');
        std::int32_t value = 0;
        bool readable = tab != 0 && tab != std::string_view::npos;
        if (readable) {
            std::string_view digits = line.substr(tab + 1);
            auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
            readable = error == std::errc() && end == digits.data() + digits.size() &&
                       (!achievements || value == 0 || value == 1);
        }
        std::string name(line.substr(0, readable ? tab : 0));
        if (!readable)
            out += format_line("  line %d cannot be read\n", number);
        else if (achievements)
            out += format_line("  %s: %s\n", name.c_str(), value ? "unlocked" : "locked");
        else
            out += format_line("  %s = %d\n", name.c_str(), value);
    }
}

void list_board(std::string& out, const std::filesystem::path& file)
{
    std::optional<std::string> name = board_name_of_file(file.filename().string());
    std::optional<std::string> bytes = read_whole(file);
    std::optional<StoreBoardImage> board = bytes ? parse_board(*bytes) : std::nullopt;
    if (!name || !board) {
        out += format_line("  file %s is no board\n", file.filename().string().c_str());
        return;
    }
    out +=
        format_line("  \"%s\": %s, %zu %s\n", name->c_str(), board->descending ? "descending" : "ascending",
                    board->rows.size(), board->rows.size() == 1 ? "entry" : "entries");
    int rank = 1;
    for (const StoreBoardRow& row : board->rows) {
        out += format_line("    %3d. %11d ms  %-14s  user %016" PRIx64 "  %s\n", rank++, row.score,
                           format_clear_time(row.score).c_str(), row.user,
                           row.name.empty() ? "(no name)" : row.name.c_str());
    }
}

} // namespace

std::string store_values_text(const StoreValueList& values)
{
    std::string text;
    for (const auto& [name, value] : values)
        text += name + "\t" + std::to_string(value) + "\n";
    return text;
}

std::string store_board_file_name(std::string_view board)
{
    std::string file;
    for (unsigned char c : board)
        file += format_line("%02x", c);
    return file;
}

std::vector<std::uint8_t> store_board_bytes(const StoreBoardImage& board)
{
    std::vector<std::uint8_t> out = text_bytes(std::string_view(k_board_magic, 4));
    le_put_u32(out, board.descending ? k_sort_descending : k_sort_ascending);
    le_put_u32(out, static_cast<std::uint32_t>(board.rows.size()));
    for (const StoreBoardRow& row : board.rows) {
        le_put_u32(out, static_cast<std::uint32_t>(row.user));
        le_put_u32(out, static_cast<std::uint32_t>(row.user >> 32));
        le_put_u32(out, static_cast<std::uint32_t>(row.score));
        le_put_u32(out, static_cast<std::uint32_t>(row.details.size()));
        for (std::int32_t detail : row.details)
            le_put_u32(out, static_cast<std::uint32_t>(detail));
        le_put_u32(out, static_cast<std::uint32_t>(row.name.size()));
        out.insert(out.end(), row.name.begin(), row.name.end());
    }
    return out;
}

bool store_write_board(const std::filesystem::path& folder, const StoreBoardImage& board)
{
    return tools_write_file(folder / "boards" / store_board_file_name(board.name), store_board_bytes(board));
}

bool store_write(const std::filesystem::path& folder, const StoreImage& image)
{
    bool ok = tools_write_file(folder / "stats", text_bytes(store_values_text(image.stats))) &&
              tools_write_file(folder / "achievements", text_bytes(store_values_text(image.achievements)));
    for (const StoreBoardImage& board : image.boards)
        ok = ok && store_write_board(folder, board);
    return ok;
}

std::vector<StoreBoardImage> store_seed_boards()
{
    return {seed_board("Story Mode - Normal", k_story_times),
            seed_board("Time Attack - Normal - Brisanne", k_stage_times),
            seed_board("Boss Rush - Normal", k_boss_rush_times)};
}

std::optional<std::vector<std::string>> store_seed(const std::filesystem::path& folder)
{
    std::vector<std::string> written;
    for (const StoreBoardImage& board : store_seed_boards()) {
        std::error_code error;
        if (std::filesystem::exists(folder / "boards" / store_board_file_name(board.name), error)) continue;
        if (error || !store_write_board(folder, board)) return std::nullopt;
        written.push_back(board.name);
    }
    return written;
}

std::string store_listing(const std::filesystem::path& folder)
{
    std::string out;
    list_values(out, folder / "stats", "stats", false);
    list_values(out, folder / "achievements", "achievements", true);
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "boards", error))
        files.push_back(entry.path());
    std::ranges::sort(files);
    out += files.empty() ? "boards: none\n" : "boards:\n";
    for (const std::filesystem::path& file : files)
        list_board(out, file);
    return out;
}
