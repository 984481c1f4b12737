// The script-set side of the animation data: compiled script files (".aso", and the event
// scripts' ".xso"), one slot per set, loaded on first request and kept whole in memory.
#include "gfx/ani_dat.h"

#include "core/bytes.h"
#include "core/errors.h"

#include <cstdio>

AniScriptSet g_ani_script_sets[ANI_SCRIPT_SET_COUNT];

namespace {

constexpr unsigned k_line_get_script_set = 500;
constexpr std::size_t k_path_size = 260;
constexpr std::size_t k_word = sizeof(std::uint32_t);

// Every action's code must lie inside the code area, on whole words: the interpreters address
// it as words in place and never test a range again.
bool actions_fit(ByteReader& reader, std::uint32_t count, std::uint64_t code_bytes)
{
    for (std::uint32_t i = 0; i < count; ++i) {
        AniAction action;
        reader.Read(action);
        if (action.code_offset % k_word != 0) return false;
        if (action.code_offset + std::uint64_t{action.length} * k_word > code_bytes) return false;
    }
    return true;
}

// Checks the copy in the slot and points the slot's records into it. The pointers stay null
// unless the whole file is sound.
HRESULT attach(AniScriptSet& slot)
{
    const std::span<const std::uint8_t> bytes{slot.file.get(), slot.file_size};
    std::uint16_t header_size = 0;
    if (!bytes_get_u16(bytes, offsetof(AniScriptHeader, header_size), header_size)) return ERR_BROKEN_DATA;
    if (header_size != ANI_SCRIPT_HEADER_SIZE) return ERR_UNMATCHED_VERSION;

    ByteReader reader(bytes);
    AniScriptHeader header;
    if (!reader.Read(header) || !reader.Has(header.action_count, sizeof(AniAction))) return ERR_BROKEN_DATA;
    const std::size_t code_start = sizeof header + std::size_t{header.action_count} * sizeof(AniAction);
    if (!actions_fit(reader, header.action_count, bytes.size() - code_start)) return ERR_BROKEN_DATA;

    // The file block comes from the allocator, aligned for every record; the header's size
    // and the 20-byte records keep the code on word boundaries.
    slot.header = reinterpret_cast<const AniScriptHeader*>(bytes.data());
    slot.actions = reinterpret_cast<const AniAction*>(bytes.data() + sizeof header);
    slot.code = reinterpret_cast<const std::uint32_t*>(bytes.data() + code_start);
    slot.code_words = static_cast<std::uint32_t>((bytes.size() - code_start) / k_word);
    return S_OK;
}

} // namespace

// A slot counts as loaded once its file passed the checks; a refused file stays in the slot
// (its pointers null) until the next load replaces it.
AniScriptSet& ani_dat_get_script_set(int number)
{
    if (number < 0 || number >= ANI_SCRIPT_SET_COUNT) {
        char detail[16];
        std::snprintf(detail, sizeof detail, "%d", number);
        err_raise_code(E_FAIL, detail, "ani_dat", k_line_get_script_set);
    }
    AniScriptSet& slot = g_ani_script_sets[number];
    if (slot.header) return slot;
    const HRESULT hr = ani_dat_load_script_set(slot, number);
    if (FAILED(hr)) err_raise_code(hr, ani_script_name(number), "ani_dat", k_line_get_script_set);
    return slot;
}

HRESULT ani_dat_load_script_set(AniScriptSet& slot, int number)
{
    slot.number = number;
    char path[k_path_size];
    std::snprintf(path, sizeof path, "data\\ani\\%s.aso", ani_script_name(number));
    return ani_dat_load_script_file(path, slot);
}

HRESULT ani_dat_load_script_file(const char* path, AniScriptSet& slot)
{
    const std::int32_t number = slot.number;
    slot = AniScriptSet{};
    slot.number = number;

    char packed[k_path_size];
    std::snprintf(packed, sizeof packed, "%s.z", path);
    const HRESULT hr = ani_dat_read_file(packed, slot.file, slot.file_size);
    if (FAILED(hr)) return hr;
    return attach(slot);
}

void ani_dat_release_script_sets()
{
    for (AniScriptSet& slot : g_ani_script_sets)
        slot = AniScriptSet{};
}
