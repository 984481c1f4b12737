// Writer of the effect data in "data\effect\eft\": the four list files (a version word 0, the
// count, then 84-byte entries {slot; 80-byte name}) and the ".ef2" effect files (a 32-byte
// header with the start count at 20 and the emitter count at 24, the 2-byte start entries, the
// 240-byte start states, the 2340-byte definitions with 17 curves of 8 keys at 412).
// Definitions and start states are written from their fields by name; curves from key lists,
// with each key's inverse span to the next computed here.
#pragma once

#include "lib/archive_writer.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

constexpr std::size_t EFT_LIST_OFFSET_COUNT = 4;
constexpr std::size_t EFT_LIST_ENTRY_SIZE = 84;
constexpr std::size_t EFT_EF2_HEADER_SIZE = 32;
constexpr std::size_t EFT_EF2_OFFSET_STARTS = 20;
constexpr std::size_t EFT_EF2_OFFSET_EMITTERS = 24;
constexpr std::size_t EFT_STATE_SIZE = 240;
constexpr std::size_t EFT_DEF_SIZE = 2340;
constexpr std::size_t EFT_DEF_OFFSET_CURVES = 412;
constexpr std::size_t EFT_CURVE_SIZE = 104;
constexpr std::size_t EFT_CURVE_OFFSET_COUNT = 4;
constexpr int EFT_CURVES = 17;
constexpr int EFT_CURVE_KEYS = 8;
constexpr int EFT_FRAMES = 16;
constexpr int EFT_CHILDREN = 8;

// A list entry; a name of 80 characters or more fills the field without a terminator.
struct EftListEntry {
    std::uint32_t slot = 0;
    std::string name{};
};

struct EftKey {
    float time;
    float value;
};
using EftCurve = std::vector<EftKey>; // at most 8 keys; empty: key count 0

EftCurve eft_constant(float value);
// From a at time 0 to b at time 1.
EftCurve eft_ramp(float a, float b);

using EftVec3 = std::array<float, 3>;

struct EftVertex {
    EftVec3 position{};
    std::uint32_t colour1 = 0xFFFFFFFF;
    std::uint32_t colour2 = 0;
    float u = 0, v = 0;
};

// The start state; the total life is written equal to the life.
struct EftStartState {
    float mesh_time = 0;
    std::uint8_t follow = 0;
    std::uint8_t delay = 0;
    std::int32_t life = 30;
    EftVec3 base_scale{1, 1, 1};
    EftVec3 velocity{};
    EftVec3 position{};
    EftVec3 rotation{};
    float speed_spread = 0;
    std::int32_t fade_step = 0;
    std::array<float, 2> uv_scroll{};
    // A unit quad about the origin in the x-y plane, as a strip.
    std::array<EftVertex, 4> vertices{{{{-0.5f, 0.5f, 0}, 0xFFFFFFFF, 0, 0, 0},
                                       {{0.5f, 0.5f, 0}, 0xFFFFFFFF, 0, 1, 0},
                                       {{-0.5f, -0.5f, 0}, 0xFFFFFFFF, 0, 0, 1},
                                       {{0.5f, -0.5f, 0}, 0xFFFFFFFF, 0, 1, 1}}};
};

struct EftFrame {
    std::int32_t texture = 0; // effect texture number
    float u0 = 0, v0 = 0, u1 = 1, v1 = 1;
};

struct EftDefinition {
    std::uint16_t flags = 0;
    std::int16_t effect_id = 0;
    std::uint8_t count = 1;
    std::uint32_t ring_material = 0;
    float camera_pull = 0;
    float cull_radius = 0;
    std::uint8_t cull_mode = 0;
    std::int16_t impact_effect = 0;
    std::uint8_t mesh = 0;
    std::uint8_t mesh_wrap = 0;
    float mesh_anim_rate = 0, mesh_anim_start = 0, mesh_anim_end = 0;
    std::int32_t extra_delay = 0;
    EftVec3 child_turn{};
    std::int32_t child_period = 0;
    std::uint8_t trigger = 0;
    std::uint8_t parent_links = 0;
    std::int32_t frames_loop = 0;
    std::int32_t ticks_per_frame = 0;
    std::vector<EftFrame> frames{};            // at most 16
    std::optional<std::int32_t> frame_count{}; // written in place of the number of frames
    std::array<float, 2> scroll_speed{};
    std::vector<std::int8_t> children{}; // at most 8; the rest are -1
    std::array<EftCurve, EFT_CURVES> curves{};
    float attack_radius = 0, attack_height = 0, attack_half_height = 0;
    std::int32_t attack_active = 0;
    std::uint8_t attacking = 0;
    std::uint8_t collision = 0;
    std::uint8_t hit_hold = 0;
    float gravity = 0, gravity_growth = 0;
    std::uint8_t kick_chance = 0;
    std::uint8_t kick_mask = 0;
    EftVec3 kick_min{}, kick_max{}, kick_clamp{};
    std::uint8_t light_mode = 0;
    std::uint8_t homing_mode = 0;
    std::uint8_t homing_period = 0;
    std::uint8_t homing_chance = 0;
    float homing_strength = 0;
    std::int32_t homing_delay = 0;
    std::int32_t life_jitter = 0;
    EftVec3 scale_spread{}, spawn_spread{};
    float offset_min = 0, offset_max = 0;
    std::int32_t ring_segments = 0;
    float ring_lower_radius = 0, ring_upper_radius = 0, ring_height = 0;
    EftVec3 rotation_jitter{};
    std::array<float, 2> velocity_jitter{};
    float light_size = 0;
    std::uint32_t light_colour = 0;
};

struct EftEmitter {
    EftStartState state{};
    EftDefinition def{};
};

struct EftStart {
    std::int8_t emitter;
    std::uint8_t delay;
};

struct EftFile {
    std::vector<EftStart> starts{};
    std::vector<EftEmitter> emitters{};
};

// The whole effect data of a game: the four lists and the ".ef2" files by list name.
struct EftDataSet {
    std::vector<EftListEntry> textures{}, meshes{}, list{}, list2{};
    std::vector<std::pair<std::string, EftFile>> files{};
};

// Throws std::invalid_argument for more keys, frames or children than the format holds.
std::vector<std::uint8_t> eft_list_bytes(const std::vector<EftListEntry>& entries);
std::vector<std::uint8_t> eft_ef2_bytes(const EftFile& file);
// Where definition i of the written file starts, for fixtures that damage it.
std::size_t eft_def_offset(const EftFile& file, std::size_t emitter);

// "data\effect\eft\<file>".
std::string eft_path(std::string_view file);
// The packed ".ef2" a list name stands for: everything from its first '.' becomes ".ef2.z".
std::string eft_ef2_path(std::string_view list_name);
// Entries slot 0, 1, ... of the names.
std::vector<EftListEntry> eft_list_of(const std::vector<std::string>& names);
// The packed list files and effect files, ready for the archive.
std::vector<ArchiveSource> eft_archive_files(const EftDataSet& data);
