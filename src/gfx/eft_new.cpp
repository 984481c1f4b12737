#include "gfx/eft_new.h"

#include "core/errors.h"
#include "game/g_image_table.h"
#include "scenegraph/data_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

std::vector<EffectListEntry> g_effect_list;

namespace {

// efttex holds fewer than 200 names; the other limits are inclusive.
constexpr std::uint32_t k_texture_list_limit = IMAGE_TABLE_EFFECT_COUNT - 1;
constexpr std::uint32_t k_mesh_list_limit = EFFECT_MESH_TABLE_SIZE;

struct ListHeader {
    std::uint32_t version;
    std::uint32_t count;
};
static_assert(sizeof(ListHeader) == 8);

struct ListRecord {
    std::uint32_t slot;
    char name[EFFECT_LIST_NAME_SIZE]; // not always terminated
};
static_assert(sizeof(ListRecord) == 84);

struct Ef2Header {
    std::uint8_t unread[20];
    std::uint32_t start_count;
    std::uint32_t emitter_count;
    std::uint32_t unread_28;
};
static_assert(sizeof(Ef2Header) == 32);

struct ListName {
    std::uint32_t slot;
    std::string name;
};

// The names of a list file, or a fatal error from the given line: a missing file, a version
// other than 0 or a file shorter than its count, and more names than the limit.
std::vector<ListName> read_list(const char* path, std::uint32_t limit, unsigned line)
{
    DataFile file;
    const HRESULT result = file.Load(path);
    if (FAILED(result)) err_raise_code(result, path, EFT_SOURCE, line);
    ByteReader reader(file.Bytes());
    ListHeader header;
    if (!reader.Read(header) || header.version != 0)
        err_raise_code(ERR_UNMATCHED_VERSION, path, EFT_SOURCE, line);
    if (header.count > limit) err_raise_code(ERR_OVERFLOW, path, EFT_SOURCE, line);
    if (!reader.Has(header.count, sizeof(ListRecord)))
        err_raise_code(ERR_UNMATCHED_VERSION, path, EFT_SOURCE, line);
    std::vector<ListName> names(header.count);
    for (ListName& entry : names) {
        ListRecord record;
        reader.Read(record);
        entry = {record.slot, std::string(record.name, strnlen(record.name, sizeof record.name))};
    }
    return names;
}

// Slots index tables of 200 entries.
void check_slots(const std::vector<ListName>& names, const char* path)
{
    for (const ListName& entry : names)
        if (entry.slot >= IMAGE_TABLE_EFFECT_COUNT)
            err_raise_code(ERR_OVERFLOW, path, EFT_SOURCE, EFT_LINE_TEXTURES);
}

// The folder, the name and the suffix, when they fit the table's field: a cut path would name
// another file, so a name too long for it stays unnamed.
bool set_path(char (&out)[IMAGE_NAME_SIZE], const std::string& name, const char* suffix)
{
    const std::string path = EFT_FOLDER + name + suffix;
    if (path.size() >= sizeof out) return false;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return true;
}

void name_textures(const std::vector<ListName>& names)
{
    for (const ListName& entry : names) {
        if (entry.name.empty()) continue;
        ImageName& image = g_texture_names[IMAGE_TABLE_EFFECT_FIRST + entry.slot];
        if (set_path(image.name, entry.name, "")) image.format = D3DFMT_A1R5G5B5;
    }
}

void name_meshes(const std::vector<ListName>& names)
{
    for (char(&name)[IMAGE_NAME_SIZE] : g_effect_mesh_names)
        name[0] = '\0';
    for (const ListName& entry : names)
        if (!entry.name.empty()) set_path(g_effect_mesh_names[entry.slot], entry.name, ".z");
}

// The ".ef2" beside the list: the name with everything from its first '.' replaced.
std::string ef2_path(const char* name)
{
    std::string file = name;
    const std::size_t dot = file.find('.');
    if (dot != std::string::npos) file.replace(dot, std::string::npos, ".ef2.z");
    return EFT_FOLDER + file;
}

// Constant curves take the one-key path of the evaluation.
void fold_curve(EffectCurve& curve)
{
    curve.key_count = std::clamp<std::uint32_t>(curve.key_count, 1, EFFECT_CURVE_KEYS);
    const EffectCurveKey* keys = curve.keys;
    const bool constant = std::all_of(keys, keys + curve.key_count,
                                      [&](const EffectCurveKey& key) { return key.value == keys[0].value; });
    if (constant) curve.key_count = 1;
}

// The children up to the first end mark, without those outside the emitters.
void check_children(EffectEmitterDef& def, std::size_t emitters)
{
    std::int8_t kept[EFFECT_CHILDREN];
    std::fill(std::begin(kept), std::end(kept), EFFECT_NO_CHILD);
    int count = 0;
    for (std::int8_t child : def.children) {
        if (child < 0) break;
        if (static_cast<std::size_t>(child) < emitters) kept[count++] = child;
    }
    std::copy(std::begin(kept), std::end(kept), def.children);
}

// Bounds every count and index the particles use, so they never read past a table.
void check_def(EffectEmitterDef& def, std::size_t emitters)
{
    for (EffectCurve& curve : def.curves)
        fold_curve(curve);
    def.frame_count = std::clamp(def.frame_count, 0, EFFECT_FRAMES);
    for (std::int32_t& texture : def.frame_textures)
        if (texture < 0 || texture >= IMAGE_TABLE_EFFECT_COUNT) texture = EFFECT_NO_TEXTURE;
    if ((def.flags & EFFECT_DEF_MESH) && def.mesh >= EFFECT_MESH_TABLE_SIZE) def.flags |= EFFECT_DEF_NO_DRAW;
    if (def.ring_segments < 1) def.ring_segments = 0;
    def.ring_segments = std::min(def.ring_segments, EFFECT_RING_SEGMENTS_MAX);
    check_children(def, emitters);
}

void check_entry(EffectListEntry& entry)
{
    const std::size_t emitters = entry.defs.size();
    for (EffectEmitterDef& def : entry.defs)
        check_def(def, emitters);
    for (EffectEmitter& state : entry.states)
        state.effect_slot = state.parent_slot = state.definition_slot = state.vertex_slot = 0;
    std::erase_if(entry.starts, [&](const EffectStart& start) {
        return start.emitter < 0 || static_cast<std::size_t>(start.emitter) >= emitters;
    });
}

template <typename Record>
void read_records(ByteReader& reader, std::vector<Record>& records, std::uint32_t count)
{
    records.resize(count);
    reader.Read(records.data(), records.size() * sizeof(Record));
}

} // namespace

void eft_load_textures()
{
    const std::vector<ListName> textures =
        read_list(EFT_TEXTURE_LIST_PATH, k_texture_list_limit, EFT_LINE_TEXTURES);
    check_slots(textures, EFT_TEXTURE_LIST_PATH);
    const std::vector<ListName> meshes = read_list(EFT_MESH_LIST_PATH, k_mesh_list_limit, EFT_LINE_TEXTURES);
    check_slots(meshes, EFT_MESH_LIST_PATH);
    name_textures(textures);
    name_meshes(meshes);
}

void eft_load_list()
{
    g_effect_list.assign(EFFECT_ID_COUNT, {});
    // Both lists are read whole first: each file borrows the work block the ".ef2" loads need.
    const std::vector<ListName> first = read_list(EFT_LIST_PATH, EFFECT_LIST_FIRST_COUNT, EFT_LINE_LIST);
    const std::vector<ListName> second = read_list(EFT_LIST2_PATH, EFFECT_LIST_SECOND_COUNT, EFT_LINE_LIST);
    auto load = [](std::size_t id, const ListName& entry) {
        if (!entry.name.empty()) eft_load_ef2(g_effect_list[id], entry.name.c_str());
    };
    for (std::size_t i = 0; i < first.size(); ++i)
        load(i, first[i]);
    for (std::size_t j = 0; j < second.size(); ++j)
        load(EFFECT_LIST_FIRST_COUNT + j, second[j]);
}

HRESULT eft_load_ef2(EffectListEntry& entry, const char* name)
{
    DataFile file;
    const HRESULT result = file.Load(ef2_path(name).c_str());
    if (FAILED(result)) return result;
    return eft_parse_ef2(entry, file.Bytes());
}

HRESULT eft_parse_ef2(EffectListEntry& entry, std::span<const std::uint8_t> bytes)
{
    ByteReader reader(bytes);
    Ef2Header header;
    if (!reader.Read(header)) return ERR_BROKEN_DATA;
    const std::uint64_t size =
        2ull * header.start_count +
        std::uint64_t(sizeof(EffectEmitter) + sizeof(EffectEmitterDef)) * header.emitter_count;
    if (!reader.Has(1, size)) return ERR_BROKEN_DATA;
    EffectListEntry loaded;
    read_records(reader, loaded.starts, header.start_count);
    read_records(reader, loaded.states, header.emitter_count);
    read_records(reader, loaded.defs, header.emitter_count);
    check_entry(loaded);
    entry = std::move(loaded);
    return S_OK;
}

void eft_free_list()
{
    // Swapping with an empty vector gives the memory back, which clear() does not.
    std::vector<EffectListEntry>().swap(g_effect_list);
}

const EffectListEntry* eft_list_entry(int id)
{
    if (id < 0 || static_cast<std::size_t>(id) >= g_effect_list.size()) return nullptr;
    return &g_effect_list[static_cast<std::size_t>(id)];
}

float eft_curve_linear(const EffectCurve& curve, float t)
{
    const EffectCurveKey* keys = curve.keys;
    if (curve.key_count < 2) return keys[0].value;
    return keys[0].value + t * (keys[1].value - keys[0].value);
}

float eft_curve_eval(const EffectCurve& curve, float t)
{
    const std::uint32_t count = std::min<std::uint32_t>(curve.key_count, EFFECT_CURVE_KEYS);
    if (count <= 2) return eft_curve_linear(curve, t);
    const EffectCurveKey* keys = curve.keys;
    if (!(t >= keys[0].time)) return keys[0].value;
    // The last key whose time is at most t.
    const EffectCurveKey* after = std::upper_bound(
        keys, keys + count, t, [](float time, const EffectCurveKey& key) { return time < key.time; });
    if (after == keys + count) return keys[count - 1].value;
    const EffectCurveKey& key = after[-1];
    // A zero span, or a span stored as infinite, would make 0 x inf.
    if (!(after->time > key.time) || !std::isfinite(key.inverse_span)) return after->value;
    return key.value + (t - key.time) * key.inverse_span * (after->value - key.value);
}

float eft_curve_factor(float v, float lo, float hi)
{
    const float d = (hi - lo) * 0.5f;
    if (v >= 0.5f) return d * (v - 0.5f) + 1.0f;
    return 1.0f / (d * (0.5f - v) + 1.0f);
}

std::uint8_t eft_curve_byte(float v)
{
    if (!(v > 0.0f)) return 0;
    if (v >= 1.0f) return 255;
    return static_cast<std::uint8_t>(v * 256.0f);
}
