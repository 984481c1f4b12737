#include "game/g_save.h"

#include "core/bytes.h"
#include "core/crc32.h"
#include "core/errors.h"
#include "core/file.h"
#include "core/ini.h"
#include "core/scramble.h"
#include "core/text.h"
#include "core/userdir.h"
#include "game/g_fade.h"
#include "game/g_rules.h"
#include "game/g_scene.h"
#include "game/g_scn_data.h"
#include "object/wnd/go_wnddialog.h"
#include "platform/win_file.h"
#include "platform/win_kernel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <span>
#include <string>

char g_save_location[SAVE_LOCATION_SIZE];

namespace {

using SlotImage = std::array<std::uint8_t, PLAY_STATE_SIZE>;
using HeaderImage = std::array<std::uint8_t, sizeof(SaveHeader)>;

constexpr char k_magic[4] = {'E', 'k', '3', '\0'};
constexpr std::uint32_t k_version = 1;
constexpr std::size_t k_summary_offset = offsetof(SaveHeader, summary);
constexpr std::size_t k_header_crc_end = 96; // the header CRC stops here, short of the summary's end
constexpr std::size_t k_body_offset = sizeof(SaveHeader);
constexpr std::size_t k_body_size = PLAY_STATE_SIZE - k_body_offset;

constexpr std::int32_t k_gold_cap = 999'999;
// Gold past the cap but not past this limit is cut back to the cap; more is left as it is.
constexpr std::int32_t k_gold_cut_limit = 9'999'999;

constexpr const char* k_text_missing = "File doesn't exist.";
constexpr const char* k_text_corrupted = "File is corrupted.";
constexpr const char* k_text_version = "Version mismatch.";
constexpr const char* k_notice_title = "Data is corrupt.";
constexpr const char* k_notice_ok = "OK";
const D3DXVECTOR2 k_notice_at(320.0f, 236.0f);

constexpr const char* k_arrival_load = "load";

// The signature is kept scrambled (seed, then the bytes) so its text is not in the program.
constexpr std::array<std::uint8_t, 20> k_signature_block = {0xA7, 0x93, 0x5B, 0x2C, 0x5C, 0xA4, 0xB6,
                                                            0x01, 0xF5, 0x22, 0xD4, 0x28, 0xD5, 0x60,
                                                            0x82, 0x28, 0x8C, 0xE9, 0xF7, 0x1D};

bool remote_holds(const char* name)
{
    return ini_remote_available() && g_remote_storage->FileExists(name);
}

// Reads up to the buffer's size from the start of the slot; `done` gets the count.
HRESULT read_slot(const char* name, std::span<std::uint8_t> buffer, std::size_t& done)
{
    done = 0;
    if (remote_holds(name)) {
        const std::int32_t read =
            g_remote_storage->FileRead(name, buffer.data(), static_cast<std::int32_t>(buffer.size()));
        done = static_cast<std::size_t>(std::max(read, 0));
        return S_OK;
    }
    File file;
    if (FAILED(file.OpenRead(sys_user_file_path(name).c_str(), 0))) return ERR_OPEN_FILE;
    DWORD read = 0;
    const HRESULT hr = file.Read(buffer.data(), static_cast<DWORD>(buffer.size()), &read);
    done = read;
    return FAILED(hr) ? ERR_READ_FILE : S_OK;
}

std::uint32_t u32_at(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    std::uint32_t value = 0;
    bytes_get_u32(bytes, offset, value);
    return value;
}

std::uint32_t crc_of(std::span<const std::uint8_t> bytes)
{
    return sys_crc32(bytes.size(), bytes.data());
}

// Checks the identity and the header CRC, then restores the summary and the words after it.
HRESULT open_header(std::span<std::uint8_t> header)
{
    const bool same_kind = std::equal(std::begin(k_magic), std::end(k_magic), header.begin()) &&
                           u32_at(header, offsetof(SaveHeader, version)) == k_version &&
                           u32_at(header, offsetof(SaveHeader, total_size)) == PLAY_STATE_SIZE;
    if (!same_kind) return ERR_UNMATCHED_VERSION;
    const auto guarded = header.subspan(k_summary_offset, k_header_crc_end - k_summary_offset);
    if (crc_of(guarded) != u32_at(header, offsetof(SaveHeader, header_crc))) return ERR_BROKEN_DATA;
    save_unscramble(header.subspan(k_summary_offset, k_body_offset - k_summary_offset),
                    u32_at(header, offsetof(SaveHeader, header_seed)));
    return S_OK;
}

// The slot's play state into `image`, checked and restored, with the file's own words cleared.
HRESULT read_play_state(const char* name, SlotImage& image)
{
    std::memcpy(image.data(), &g_play_state, PLAY_STATE_SIZE); // what a short file leaves
    std::size_t done = 0;
    if (const HRESULT hr = read_slot(name, image, done); FAILED(hr)) return hr;
    const std::span<std::uint8_t> bytes(image);
    if (const HRESULT hr = open_header(bytes.first(k_body_offset)); FAILED(hr)) return hr;
    const auto body = bytes.subspan(k_body_offset);
    if (crc_of(body) != u32_at(bytes, offsetof(SaveHeader, body_crc))) return ERR_BROKEN_DATA;
    save_unscramble(body, u32_at(bytes, offsetof(SaveHeader, body_seed)));
    for (std::size_t offset :
         {offsetof(SaveHeader, magic), offsetof(SaveHeader, version), offsetof(SaveHeader, total_size),
          offsetof(SaveHeader, header_crc), offsetof(SaveHeader, header_seed),
          offsetof(SaveHeader, body_seed), offsetof(SaveHeader, body_crc), offsetof(SaveHeader, zero_word)})
        bytes_put_u32(bytes, offset, 0);
    return S_OK;
}

// The scene request refuses other ids, which would leave the fade covering the screen for ever.
bool scene_in_list(const SlotImage& image)
{
    std::int32_t scene_id = 0;
    bytes_get_i32(image, offsetof(PlayState, scene_id), scene_id);
    return scene_id >= 1 && scene_id < static_cast<std::int32_t>(g_scene_list.size());
}

// A full dialog pool shows nothing.
void open_corrupt_notice()
{
    dialog_open(k_notice_title, k_notice_at, {{k_notice_ok, &noop_callback}});
}

void cap_gold(PlayState& ps)
{
    std::int32_t& gold = ps.status.gold;
    if (gold > k_gold_cap && gold <= k_gold_cut_limit) gold = k_gold_cap;
}

// The covered fade enters the slot's scene at its saved position on its next step.
void start_loaded_scene(PlayState& ps)
{
    g_fade.value = g_fade.target = 1.0f;
    g_fade.pending_scene = ps.scene_id;
    ArrivalRecord& arrival = g_fade.arrival;
    arrival = {};
    std::copy(std::begin(ps.saved_position), std::end(ps.saved_position), arrival.position);
    arrival.facing = ps.saved_facing;
    arrival.entry_value = ps.game_flags[GF_ENTRY_VALUE];
    sys_copy_string(arrival.tag, k_arrival_load, sizeof arrival.tag);
    std::fill(std::begin(ps.saved_position), std::end(ps.saved_position), 0.0f);
    ps.saved_facing = 0.0f;
    ps.status.status_element = STATUS_ELEMENT_NONE;
    g_scene_change_busy = 1;
    // play_state_init has already ended a No-Fall rescue, the exits' pit-return state.
}

// The summary shows whole points; values no integer holds are shown at the nearest bound.
std::int32_t whole(float value)
{
    constexpr float k_low = static_cast<float>(std::numeric_limits<std::int32_t>::min());
    constexpr float k_high = 2147483520.0f; // the largest float below 2^31
    if (std::isnan(value)) return 0;
    return static_cast<std::int32_t>(std::clamp(value, k_low, k_high));
}

// Wider than the field, so no value of the clock is cut in the middle of formatting.
template <std::size_t N, typename... Args> void put_text(char (&field)[N], const char* format, Args... args)
{
    char text[32];
    std::snprintf(text, sizeof text, format, args...);
    sys_copy_string(field, text, N);
}

void fill_summary(const PlayState& ps, SaveSummary& summary)
{
    const std::int32_t* flags = ps.game_flags;
    summary.level = ps.status.level;
    summary.hp = whole(ps.status.hp);
    summary.mp = whole(ps.status.mp);
    summary.max_hp = whole(ps.status.max_hp);
    summary.max_mp = whole(ps.status.max_mp);
    summary.exp = whole(ps.status.exp);
    summary.gold = ps.status.gold;
    summary.difficulty = flags[GF_DIFFICULTY] + 1;
    summary.easy = flags[GF_EASY];
    summary.very_easy = flags[GF_VERY_EASY];
    summary.inferno = flags[GF_INFERNO];
    summary.play_ticks = flags[GF_PLAY_FRAMES];
    SYSTEMTIME now{};
    GetLocalTime(&now);
    put_text(summary.date, "%02d/%02d/%04d", now.wMonth, now.wDay, now.wYear);
    put_text(summary.time, "%02d:%02d:%02d", now.wHour, now.wMinute, now.wSecond);
    sys_copy_string(summary.location, g_save_location, sizeof summary.location);
}

// The play state as a slot: summary, seeds, signature, then the body and the header scrambled
// and sealed with their CRCs, in that order (each CRC covers bytes as stored).
SlotImage build_slot(const PlayState& ps)
{
    PlayState slot = ps;
    SaveHeader& header = slot.save_header;
    fill_summary(ps, header.summary);
    std::copy(std::begin(k_magic), std::end(k_magic), header.magic);
    header.version = k_version;
    header.total_size = PLAY_STATE_SIZE;
    for (std::uint32_t& word : header.random_words)
        word = save_make_seed();
    header.random_word = save_make_seed();
    std::array<std::uint8_t, 20> signature;
    save_unscramble_block16(k_signature_block, signature);
    std::copy_n(signature.begin(), sizeof header.signature, header.signature);
    header.body_seed = save_make_seed();

    SlotImage image;
    std::memcpy(image.data(), &slot, PLAY_STATE_SIZE);
    const std::span<std::uint8_t> bytes(image);
    bytes[k_summary_offset] = 0; // the rest of the summary's first word keeps the play state's bytes
    const auto body = bytes.subspan(k_body_offset);
    save_scramble(body, header.body_seed);
    bytes_put_u32(bytes, offsetof(SaveHeader, body_crc), crc_of(body));
    bytes_put_u32(bytes, offsetof(SaveHeader, zero_word), 0);
    const std::uint32_t header_seed = save_make_seed();
    bytes_put_u32(bytes, offsetof(SaveHeader, header_seed), header_seed);
    save_scramble(bytes.subspan(k_summary_offset, k_body_offset - k_summary_offset), header_seed);
    bytes_put_u32(bytes, offsetof(SaveHeader, header_crc),
                  crc_of(bytes.subspan(k_summary_offset, k_header_crc_end - k_summary_offset)));
    return image;
}

// The remote copy replaces the old one only once complete, and so does the local file.
HRESULT store_slot(const char* name, const SlotImage& image)
{
    if (ini_remote_available())
        return g_remote_storage->FileWrite(name, image.data(), static_cast<std::int32_t>(image.size()))
                   ? S_OK
                   : ERR_WRITE_FILE;
    File file;
    if (const HRESULT hr = file.OpenWrite(sys_user_file_path(name).c_str(), 0); FAILED(hr)) return hr;
    const HRESULT written = file.Write(image.data(), static_cast<DWORD>(image.size()), nullptr);
    const HRESULT closed = file.Close();
    return FAILED(written) ? ERR_WRITE_FILE : closed;
}

// The slot list prints the texts; a slot whose text fills its field gets it cut by one byte.
void terminate_texts(SaveSummary& summary)
{
    summary.date[sizeof summary.date - 1] = '\0';
    summary.time[sizeof summary.time - 1] = '\0';
    summary.location[sizeof summary.location - 1] = '\0';
}

std::int32_t header_failure(SaveSummary& summary, HRESULT status, const char* text)
{
    summary.status = status;
    sys_copy_string(summary.location, text, sizeof summary.location);
    return summary.status;
}

} // namespace

void save_file_name(int slot, char (&out)[SAVE_FILE_NAME_SIZE])
{
    std::snprintf(out, sizeof out, "kro_%02d.nacci", slot);
}

HRESULT save_write(const char* file_name)
{
    save_store_snapshot();
    PlayState& ps = g_play_state;
    ps.status.hp = ps.status.max_hp;
    ps.status.mp = ps.status.max_mp;
    return store_slot(file_name, build_slot(ps));
}

// Every check runs on the buffer, so a failure leaves the player's unsaved game as it was.
HRESULT save_load(const char* file_name)
{
    SlotImage image;
    HRESULT hr = read_play_state(file_name, image);
    if (SUCCEEDED(hr) && !scene_in_list(image)) hr = ERR_BROKEN_DATA;
    if (FAILED(hr)) {
        open_corrupt_notice();
        return hr;
    }
    play_state_init();
    PlayState& ps = g_play_state;
    std::memcpy(&ps, image.data(), PLAY_STATE_SIZE);
    cap_gold(ps);
    start_loaded_scene(ps);
    return 0;
}

std::int32_t save_read_header(const char* file_name, SaveSummary& summary)
{
    summary = {};
    HeaderImage header;
    std::size_t done = 0;
    const HRESULT read = read_slot(file_name, header, done);
    if (read == ERR_OPEN_FILE) return header_failure(summary, 0, k_text_missing);
    if (FAILED(read) || done < header.size())
        return header_failure(summary, ERR_BROKEN_DATA, k_text_corrupted);
    const HRESULT opened = open_header(header);
    if (opened == ERR_UNMATCHED_VERSION) return header_failure(summary, opened, k_text_version);
    if (FAILED(opened)) return header_failure(summary, opened, k_text_corrupted);
    std::memcpy(&summary, header.data() + k_summary_offset, sizeof summary);
    terminate_texts(summary);
    --summary.difficulty;
    summary.status = 1;
    return summary.status;
}

BOOL save_delete(const char* file_name)
{
    if (remote_holds(file_name)) return g_remote_storage->FileDelete(file_name) ? TRUE : FALSE;
    return DeleteFileA(sys_user_file_path(file_name).c_str());
}

void noop_callback(GoWndDialog&) {}
