#include "gfx/eft_new.h"

#include "core/errors.h"
#include "core/sys.h"
#include "core/vfs.h"
#include "game/g_image_table.h"
#include "lib/archive_writer.h"
#include "lib/effect_writer.h"
#include "lib/le_bytes.h"
#include "lib/packed_writer.h"
#include "lib/qmo_writer.h"
#include "scenegraph/model.h"
#include "scenegraph/texture_device.h"
#include "temp_folder.h"
#include "thrown_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// One emitter whose curve 0 and start state the case describes.
EftFile one_emitter(EftCurve curve = eft_constant(0.5f))
{
    EftEmitter emitter;
    emitter.def.curves[0] = std::move(curve);
    return {{{0, 0}}, {emitter}};
}

std::string error_text(HRESULT code, const std::string& path, unsigned line)
{
    char text[ERR_DETAIL_SIZE];
    err_hresult_text(code, path.c_str(), text, sizeof text);
    return std::string(text) + "\neft_new(" + std::to_string(line) + ")\n";
}

std::size_t emitter_count(int id)
{
    const EffectListEntry* entry = eft_list_entry(id);
    return entry ? entry->defs.size() : 0;
}

// A device and resource manager for the meshes, the work block for the packed files, the
// archive a test mounts, and the image table put back as it was.
class EftDataTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), static_cast<std::uint32_t>(m_block.size()), nullptr, 0};
        std::memcpy(m_saved_names, g_texture_names, sizeof m_saved_names);
        model_register_loader();
    }
    void TearDown() override
    {
        eft_release_meshes();
        eft_free_list();
        std::memcpy(g_texture_names, m_saved_names, sizeof m_saved_names);
        std::memset(g_effect_mesh_names, 0, sizeof g_effect_mesh_names);
        ResrcMgr::Shutdown();
        resrc_set_loader(RESRC_POOL_MODEL, {nullptr, nullptr});
        vfs_close_all();
        EXPECT_EQ(g_work_block.owner, nullptr) << "the work block was given back";
        g_work_block = m_saved_block;
    }

    void mount(const std::vector<ArchiveSource>& files)
    {
        vfs_close_all();
        ASSERT_TRUE(archive_write_set(m_data.path(), files, {}));
        vfs::Startup((m_data.windows() + "\\").c_str());
    }
    void mount(const EftDataSet& data) { mount(eft_archive_files(data)); }

    // The data set with one list file replaced by these bytes (unpacked).
    void mount_with(const EftDataSet& data, const std::string& list, const std::vector<std::uint8_t>& bytes)
    {
        std::vector<ArchiveSource> files = eft_archive_files(data);
        for (ArchiveSource& file : files)
            if (file.path == eft_path(list)) file.bytes = packed_build(bytes);
        mount(files);
    }

    TextureDevice m_device;
    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 20);
    WorkBlock m_saved_block{};
    ImageName m_saved_names[IMAGE_TABLE_SIZE];
    TempFolder m_data;
};

// ---- The effect list --------------------------------------------------------------------------

TEST_F(EftDataTest, ListsFillTheirIdsAndLeaveTheRestEmpty)
{
    EftDataSet data;
    data.list = eft_list_of({"first.ef2", "", "second.eft"});
    data.list2 = eft_list_of(std::vector<std::string>(EFFECT_LIST_SECOND_COUNT, "shared.dat"));
    data.files = {{"first.ef2", one_emitter()}, {"second.eft", one_emitter()}, {"shared.dat", one_emitter()}};
    mount(data);
    eft_load_list();
    ASSERT_EQ(g_effect_list.size(), std::size_t(EFFECT_ID_COUNT));
    EXPECT_EQ(emitter_count(0), 1u);
    EXPECT_EQ(emitter_count(1), 0u) << "an empty name";
    EXPECT_EQ(emitter_count(2), 1u) << "every extension becomes .ef2.z";
    for (int id = 3; id < EFFECT_LIST_FIRST_COUNT; ++id)
        EXPECT_EQ(emitter_count(id), 0u) << "id " << id;
    for (int id = EFFECT_LIST_FIRST_COUNT; id < EFFECT_ID_COUNT; ++id)
        EXPECT_EQ(emitter_count(id), 1u) << "id " << id;
    EXPECT_EQ(eft_list_entry(-1), nullptr);
    EXPECT_EQ(eft_list_entry(EFFECT_ID_COUNT), nullptr);

    eft_free_list();
    EXPECT_TRUE(g_effect_list.empty());
    EXPECT_EQ(g_effect_list.capacity(), 0u) << "the memory is given back";
    EXPECT_EQ(eft_list_entry(0), nullptr);
}

// A missing, short or lying ".ef2" leaves its id empty and the load goes on.
TEST_F(EftDataTest, BadEffectFilesLeaveTheirIdEmpty)
{
    const EftFile good = one_emitter();
    const std::vector<std::uint8_t> bytes = eft_ef2_bytes(good);
    std::vector<std::uint8_t> truncated = bytes;
    truncated.pop_back();
    std::vector<std::uint8_t> many_starts = bytes;
    le_patch_u32(many_starts, EFT_EF2_OFFSET_STARTS, 0x80000000u);
    std::vector<std::uint8_t> many_emitters = bytes;
    le_patch_u32(many_emitters, EFT_EF2_OFFSET_EMITTERS, 0xFFFFFFFFu);
    const std::vector<std::uint8_t> header_only(bytes.begin(), bytes.begin() + 31);

    EftDataSet data;
    data.list =
        eft_list_of({"good.ef2", "missing.ef2", "short.ef2", "starts.ef2", "emitters.ef2", "header.ef2"});
    data.files = {{"good.ef2", good}};
    std::vector<ArchiveSource> files = eft_archive_files(data);
    for (const auto& [name, image] :
         {std::pair{"short.ef2", truncated}, std::pair{"starts.ef2", many_starts},
          std::pair{"emitters.ef2", many_emitters}, std::pair{"header.ef2", header_only}})
        files.push_back({eft_ef2_path(name), packed_build(image)});
    mount(files);
    eft_load_list();
    EXPECT_EQ(emitter_count(0), 1u);
    for (int id = 1; id <= 5; ++id) {
        EXPECT_EQ(emitter_count(id), 0u) << "id " << id;
        EXPECT_TRUE(g_effect_list[id].starts.empty()) << "id " << id;
    }

    EffectListEntry entry;
    EXPECT_EQ(eft_load_ef2(entry, "missing.ef2"), ERR_OPEN_FILE);
    EXPECT_EQ(eft_load_ef2(entry, "short.ef2"), ERR_BROKEN_DATA);
    EXPECT_EQ(eft_load_ef2(entry, "good.ef2"), S_OK);
    EXPECT_EQ(entry.defs.size(), 1u);
}

struct ListErrorCase {
    const char* name;
    const char* list; // the list file replaced
    std::vector<std::uint8_t> bytes;
    bool textures; // eft_load_textures, else eft_load_list
    HRESULT code;
};

std::vector<std::uint8_t> list_with_count(std::vector<EftListEntry> entries, std::uint32_t count)
{
    std::vector<std::uint8_t> bytes = eft_list_bytes(entries);
    le_patch_u32(bytes, EFT_LIST_OFFSET_COUNT, count);
    return bytes;
}

std::vector<std::uint8_t> list_of_version(std::uint32_t version)
{
    std::vector<std::uint8_t> bytes = eft_list_bytes({});
    le_patch_u32(bytes, 0, version);
    return bytes;
}

std::vector<EftListEntry> names(std::size_t count)
{
    return eft_list_of(std::vector<std::string>(count, "a.dds"));
}

TEST_F(EftDataTest, BadListFilesAreFatalWithTheirCodeAndLine)
{
    const ListErrorCase cases[] = {
        {"efttex version", "efttex.dat.z", list_of_version(1), true, ERR_UNMATCHED_VERSION},
        {"efttex shorter than its count", "efttex.dat.z", list_with_count(names(2), 3), true,
         ERR_UNMATCHED_VERSION},
        {"efttex without a header", "efttex.dat.z", {0, 0, 0, 0}, true, ERR_UNMATCHED_VERSION},
        {"efttex of 200 names", "efttex.dat.z", eft_list_bytes(names(200)), true, ERR_OVERFLOW},
        {"efttex slot 200", "efttex.dat.z", eft_list_bytes({{200, "a.dds"}}), true, ERR_OVERFLOW},
        {"eftmesh of 201 names", "eftmesh.dat.z", eft_list_bytes(names(201)), true, ERR_OVERFLOW},
        {"eftmesh slot 200", "eftmesh.dat.z", eft_list_bytes({{0, "a"}, {200, "b"}}), true, ERR_OVERFLOW},
        {"eftmesh shorter than its count", "eftmesh.dat.z", list_with_count({}, 1), true,
         ERR_UNMATCHED_VERSION},
        {"eftlist version", "eftlist.dat.z", list_of_version(0x100), false, ERR_UNMATCHED_VERSION},
        {"eftlist of 257 names", "eftlist.dat.z", eft_list_bytes(names(257)), false, ERR_OVERFLOW},
        {"eftlist2 of 145 names", "eftlist2.dat.z", eft_list_bytes(names(145)), false, ERR_OVERFLOW},
        {"eftlist2 count far past the limit", "eftlist2.dat.z", list_with_count(names(1), 0x7FFFFFFF), false,
         ERR_OVERFLOW},
        {"eftlist2 count over by one entry", "eftlist2.dat.z", list_with_count(names(1), 2), false,
         ERR_UNMATCHED_VERSION},
    };
    for (const ListErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        mount_with({}, c.list, c.bytes);
        const unsigned line = c.textures ? EFT_LINE_TEXTURES : EFT_LINE_LIST;
        EXPECT_EQ(thrown_text(c.textures ? eft_load_textures : eft_load_list),
                  error_text(c.code, eft_path(c.list), line));
    }
}

TEST_F(EftDataTest, MissingListFilesAreFatal)
{
    for (const char* list : {"efttex.dat.z", "eftmesh.dat.z", "eftlist.dat.z", "eftlist2.dat.z"}) {
        SCOPED_TRACE(list);
        std::vector<ArchiveSource> files = eft_archive_files({});
        std::erase_if(files, [&](const ArchiveSource& file) { return file.path == eft_path(list); });
        mount(files);
        const bool textures =
            std::string(list).starts_with("efttex") || std::string(list).starts_with("eftmesh");
        EXPECT_EQ(thrown_text(textures ? eft_load_textures : eft_load_list),
                  error_text(ERR_OPEN_FILE, eft_path(list), textures ? EFT_LINE_TEXTURES : EFT_LINE_LIST));
    }
}

TEST_F(EftDataTest, FullListsLoad)
{
    EftDataSet data;
    data.textures = names(199);
    data.meshes = eft_list_of(std::vector<std::string>(200, ""));
    data.list = names(256);
    data.list2 = names(144);
    mount(data);
    EXPECT_EQ(thrown_text(eft_load_textures), "no error");
    EXPECT_EQ(thrown_text(eft_load_list), "no error");
}

// ---- Records as loaded ------------------------------------------------------------------------

// Every field the writer names lands at the offset the record gives it.
TEST_F(EftDataTest, FieldsByNameReadBackFromTheirOffsets)
{
    EftEmitter e;
    EftStartState& s = e.state;
    s.mesh_time = 0.25f;
    s.follow = 3;
    s.delay = 9;
    s.life = 77;
    s.base_scale = {1.5f, 2.5f, 3.5f};
    s.velocity = {0.1f, 0.2f, 0.3f};
    s.position = {4, 5, 6};
    s.rotation = {0.4f, 0.5f, 0.6f};
    s.speed_spread = 0.7f;
    s.fade_step = 12;
    s.uv_scroll = {0.125f, 0.375f};
    s.vertices[3] = {{7, 8, 9}, 0x80FF4020, 0x00102030, 0.75f, 0.5f};
    EftDefinition& d = e.def;
    d.flags = EFFECT_DEF_MESH | EFFECT_DEF_KEYFRAMED;
    d.effect_id = 321;
    d.count = 5;
    d.ring_material = 0x46C1;
    d.camera_pull = 2.5f;
    d.cull_radius = 4.5f;
    d.cull_mode = 2;
    d.impact_effect = EFFECT_IMPACT_AT_POINT;
    d.mesh = 7;
    d.mesh_wrap = 1;
    d.mesh_anim_rate = 0.5f;
    d.mesh_anim_start = 1.0f;
    d.mesh_anim_end = 9.0f;
    d.extra_delay = 6;
    d.child_turn = {0.1f, 0.2f, 0.3f};
    d.child_period = 4;
    d.trigger = 3;
    d.parent_links = EFFECT_LINK_PARENT_VELOCITY | EFFECT_LINK_WORLD_SPACE;
    d.frames_loop = 1;
    d.ticks_per_frame = 2;
    d.frames = {{5, 0.0f, 0.0f, 0.5f, 0.5f}, {199, 0.5f, 0.5f, 1.0f, 1.0f}};
    d.scroll_speed = {0.01f, 0.02f};
    d.children = {1, 0};
    d.curves[16] = eft_ramp(0.0f, 1.0f);
    d.attack_radius = 1.25f;
    d.attack_height = 0.5f;
    d.attack_half_height = 0.75f;
    d.attack_active = -1;
    d.attacking = 2;
    d.collision = EFFECT_COLLIDE_MAP | EFFECT_FADE_ON_STOP;
    d.hit_hold = 30;
    d.gravity = 0.02f;
    d.gravity_growth = 0.001f;
    d.kick_chance = 128;
    d.kick_mask = 3;
    d.kick_min = {-1, -2, -3};
    d.kick_max = {1, 2, 3};
    d.kick_clamp = {0.5f, 0, 0.25f};
    d.light_mode = 2;
    d.homing_mode = 3;
    d.homing_period = 4;
    d.homing_chance = 200;
    d.homing_strength = 0.3f;
    d.homing_delay = 10;
    d.life_jitter = 8;
    d.scale_spread = {0.1f, -1, 0.3f};
    d.spawn_spread = {0.4f, 0.5f, 0.6f};
    d.offset_min = 1;
    d.offset_max = 2;
    d.ring_segments = 24;
    d.ring_lower_radius = 1.5f;
    d.ring_upper_radius = 2.5f;
    d.ring_height = 0.5f;
    d.rotation_jitter = {0.7f, 0.8f, 0.9f};
    d.velocity_jitter = {0.11f, 0.22f};
    d.light_size = 3.0f;
    d.light_colour = 0x80FFC080;
    EftDataSet data;
    data.list = eft_list_of({"all.ef2"});
    data.files = {{"all.ef2", {{{1, 0}, {0, 20}}, {e, EftEmitter{}}}}};
    mount(data);
    eft_load_list();

    const EffectListEntry& entry = g_effect_list[0];
    ASSERT_EQ(entry.defs.size(), 2u);
    ASSERT_EQ(entry.states.size(), 2u);
    ASSERT_EQ(entry.starts.size(), 2u);
    EXPECT_EQ(entry.starts[0].emitter, 1);
    EXPECT_EQ(entry.starts[1].emitter, 0);
    EXPECT_EQ(entry.starts[1].delay, 20);
    const EffectEmitter& st = entry.states[0];
    EXPECT_EQ(st.mesh_time, 0.25f);
    EXPECT_EQ(st.follow, 3);
    EXPECT_EQ(st.delay, 9);
    EXPECT_EQ(st.total_life, 77);
    EXPECT_EQ(st.life, 77);
    EXPECT_EQ(st.base_scale.z, 3.5f);
    EXPECT_EQ(st.velocity.y, 0.2f);
    EXPECT_EQ(st.position.x, 4.0f);
    EXPECT_EQ(st.rotation.z, 0.6f);
    EXPECT_EQ(st.speed_spread, 0.7f);
    EXPECT_EQ(st.fade_step, 12);
    EXPECT_EQ(st.uv_scroll[1], 0.375f);
    EXPECT_EQ(st.vertices[3].position.z, 9.0f);
    EXPECT_EQ(st.vertices[3].colour1, 0x80FF4020u);
    EXPECT_EQ(st.vertices[3].colour2, 0x00102030u);
    EXPECT_EQ(st.vertices[3].v, 0.5f);
    EXPECT_EQ(st.definition_slot, 0u) << "pointer slots are not taken from the file";

    const EffectEmitterDef& df = entry.defs[0];
    EXPECT_EQ(df.flags, d.flags);
    EXPECT_EQ(df.effect_id, 321);
    EXPECT_EQ(df.count, 5);
    EXPECT_EQ(df.ring_material, 0x46C1u);
    EXPECT_EQ(df.camera_pull, 2.5f);
    EXPECT_EQ(df.cull_radius, 4.5f);
    EXPECT_EQ(df.cull_mode, 2);
    EXPECT_EQ(df.impact_effect, EFFECT_IMPACT_AT_POINT);
    EXPECT_EQ(df.mesh, 7);
    EXPECT_EQ(df.mesh_wrap, 1);
    EXPECT_EQ(df.mesh_anim_end, 9.0f);
    EXPECT_EQ(df.extra_delay, 6);
    EXPECT_EQ(df.child_turn.z, 0.3f);
    EXPECT_EQ(df.child_period, 4);
    EXPECT_EQ(df.trigger, 3);
    EXPECT_EQ(df.parent_links, d.parent_links);
    EXPECT_EQ(df.frames_loop, 1);
    EXPECT_EQ(df.ticks_per_frame, 2);
    EXPECT_EQ(df.frame_count, 2);
    EXPECT_EQ(df.frame_textures[1], 199);
    EXPECT_EQ(df.frame_uv[1].u0, 0.5f);
    EXPECT_EQ(df.frame_uv[0].v1, 0.5f);
    EXPECT_EQ(df.scroll_speed[1], 0.02f);
    EXPECT_EQ(df.children[0], 1);
    EXPECT_EQ(df.children[1], 0);
    EXPECT_EQ(df.children[2], EFFECT_NO_CHILD);
    EXPECT_EQ(df.curves[16].key_count, 2u);
    EXPECT_EQ(df.curves[16].keys[1].value, 1.0f);
    EXPECT_EQ(df.curves[16].keys[0].inverse_span, 1.0f);
    EXPECT_EQ(df.attack_half_height, 0.75f);
    EXPECT_EQ(df.attack_active, -1);
    EXPECT_EQ(df.attacking, 2);
    EXPECT_EQ(df.collision, EFFECT_COLLIDE_MAP | EFFECT_FADE_ON_STOP);
    EXPECT_EQ(df.hit_hold, 30);
    EXPECT_EQ(df.gravity_growth, 0.001f);
    EXPECT_EQ(df.kick_chance, 128);
    EXPECT_EQ(df.kick_mask, 3);
    EXPECT_EQ(df.kick_max.y, 2.0f);
    EXPECT_EQ(df.kick_clamp.z, 0.25f);
    EXPECT_EQ(df.light_mode, 2);
    EXPECT_EQ(df.homing_mode, 3);
    EXPECT_EQ(df.homing_period, 4);
    EXPECT_EQ(df.homing_chance, 200);
    EXPECT_EQ(df.homing_strength, 0.3f);
    EXPECT_EQ(df.homing_delay, 10);
    EXPECT_EQ(df.life_jitter, 8);
    EXPECT_EQ(df.scale_spread.y, -1.0f);
    EXPECT_EQ(df.spawn_spread.x, 0.4f);
    EXPECT_EQ(df.offset_max, 2.0f);
    EXPECT_EQ(df.ring_segments, 24);
    EXPECT_EQ(df.ring_upper_radius, 2.5f);
    EXPECT_EQ(df.ring_height, 0.5f);
    EXPECT_EQ(df.rotation_jitter.y, 0.8f);
    EXPECT_EQ(df.velocity_jitter[1], 0.22f);
    EXPECT_EQ(df.light_size, 3.0f);
    EXPECT_EQ(df.light_colour, 0x80FFC080u);
}

// Curves of one value, or of fewer than two keys, become constant.
TEST_F(EftDataTest, ConstantCurvesFoldToOneKey)
{
    struct Case {
        const char* name;
        EftCurve keys;
        std::uint32_t count;
    } cases[] = {
        {"three equal keys", {{0.0f, 0.3f}, {0.5f, 0.3f}, {1.0f, 0.3f}}, 1},
        {"one key", eft_constant(0.7f), 1},
        {"no key", {}, 1},
        {"two keys", eft_ramp(0.3f, 0.4f), 2},
        {"equal but the last", {{0.0f, 0.3f}, {0.5f, 0.3f}, {1.0f, 0.31f}}, 3},
    };
    EftEmitter emitter;
    for (std::size_t i = 0; i < std::size(cases); ++i)
        emitter.def.curves[i] = cases[i].keys;
    EftDataSet data;
    data.list = eft_list_of({"curves.ef2"});
    data.files = {{"curves.ef2", {{}, {emitter}}}};
    mount(data);
    eft_load_list();
    const EffectEmitterDef& def = g_effect_list[0].defs[0];
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(def.curves[i].key_count, cases[i].count) << cases[i].name;
    }
    EXPECT_EQ(eft_curve_eval(def.curves[0], 0.8f), 0.3f);
}

// Counts and indices that would reach past a table are bounded when the file is loaded.
TEST_F(EftDataTest, LoadBoundsCountsAndIndices)
{
    EftFile file;
    for (int i = 0; i < 3; ++i)
        file.emitters.emplace_back();
    file.starts = {{0, 1}, {3, 2}, {-5, 3}, {2, 4}, {127, 5}};
    EftDefinition& d = file.emitters[0].def;
    d.curves[0] = eft_ramp(0.0f, 1.0f);
    d.frames = {{-1}, {0}, {199}, {200}, {1000}};
    d.frame_count = 20;
    d.ring_segments = 300;
    d.children = {2, 3, 1, 9, -1, 0};
    d.flags = EFFECT_DEF_MESH;
    d.mesh = 200;
    EftDefinition& ring_zero = file.emitters[1].def;
    ring_zero.ring_segments = 0;
    ring_zero.frame_count = -4;
    ring_zero.flags = EFFECT_DEF_MESH;
    ring_zero.mesh = 199;
    file.emitters[2].def.ring_segments = -7;
    file.emitters[2].def.children = {-2, 1};
    std::vector<std::uint8_t> bytes = eft_ef2_bytes(file);
    const std::size_t curve = eft_def_offset(file, 0) + EFT_DEF_OFFSET_CURVES + EFT_CURVE_OFFSET_COUNT;
    le_patch_u32(bytes, curve, 9);                            // curve 0
    le_patch_u32(bytes, curve + EFT_CURVE_SIZE, 0xFFFFFFFFu); // curve 1

    EftDataSet data;
    data.list = eft_list_of({"bounds.ef2"});
    std::vector<ArchiveSource> files = eft_archive_files(data);
    files.push_back({eft_ef2_path("bounds.ef2"), packed_build(bytes)});
    mount(files);
    eft_load_list();
    const EffectListEntry& entry = g_effect_list[0];
    ASSERT_EQ(entry.defs.size(), 3u);

    ASSERT_EQ(entry.starts.size(), 2u) << "only starts of emitters 0-2";
    EXPECT_EQ(entry.starts[0].delay, 1);
    EXPECT_EQ(entry.starts[1].emitter, 2);
    EXPECT_EQ(entry.starts[1].delay, 4);

    const EffectEmitterDef& def = entry.defs[0];
    EXPECT_EQ(def.curves[0].key_count, 8u);
    EXPECT_EQ(def.curves[1].key_count, 1u) << "all eight unwritten keys are 0";
    EXPECT_EQ(def.frame_count, EFFECT_FRAMES);
    const std::int32_t textures[] = {EFFECT_NO_TEXTURE, 0, 199, EFFECT_NO_TEXTURE, EFFECT_NO_TEXTURE};
    for (std::size_t i = 0; i < std::size(textures); ++i)
        EXPECT_EQ(def.frame_textures[i], textures[i]) << "frame " << i;
    EXPECT_EQ(def.ring_segments, EFFECT_RING_SEGMENTS_MAX);
    const std::int8_t children[] = {2, 1, -1, -1, -1, -1, -1, -1};
    EXPECT_TRUE(std::equal(std::begin(children), std::end(children), def.children))
        << "indices past the emitters are dropped, the list ends at -1";
    EXPECT_TRUE(def.flags & EFFECT_DEF_NO_DRAW) << "mesh 200 draws nothing";

    EXPECT_EQ(entry.defs[1].ring_segments, 0);
    EXPECT_EQ(entry.defs[1].frame_count, 0);
    EXPECT_FALSE(entry.defs[1].flags & EFFECT_DEF_NO_DRAW) << "mesh 199 exists";
    EXPECT_EQ(entry.defs[2].ring_segments, 0);
    EXPECT_EQ(entry.defs[2].children[0], EFFECT_NO_CHILD) << "a negative index ends the list";
}

// ---- Texture and mesh names -------------------------------------------------------------------

TEST_F(EftDataTest, TextureNamesGoToEntry423PlusSlot)
{
    g_texture_names[IMAGE_TABLE_EFFECT_FIRST + 7] = {D3DFMT_A4R4G4B4, "kept.dds"};
    const std::string long_name(64, 'n'); // 16 + 64 does not fit the 80-byte field
    g_texture_names[IMAGE_TABLE_EFFECT_FIRST + 8] = {D3DFMT_A4R4G4B4, "kept too.dds"};
    EftDataSet data;
    data.textures = {{0, "spark.dds"}, {199, "last.dds"}, {7, ""}, {8, long_name + ".dds"}, {12, "mid.dds"}};
    data.meshes = {{3, "ring.qmo"}, {199, "last.qmo"}, {4, ""}, {5, long_name}, {6, std::string(61, 'm')}};
    mount(data);
    eft_load_textures();

    struct Entry {
        int index;
        std::uint32_t format;
        const char* name;
    } expected[] = {
        {IMAGE_TABLE_EFFECT_FIRST + 0, D3DFMT_A1R5G5B5, "data\\effect\\eft\\spark.dds"},
        {IMAGE_TABLE_EFFECT_FIRST + 199, D3DFMT_A1R5G5B5, "data\\effect\\eft\\last.dds"},
        {IMAGE_TABLE_EFFECT_FIRST + 12, D3DFMT_A1R5G5B5, "data\\effect\\eft\\mid.dds"},
        {IMAGE_TABLE_EFFECT_FIRST + 7, D3DFMT_A4R4G4B4, "kept.dds"},
        {IMAGE_TABLE_EFFECT_FIRST + 8, D3DFMT_A4R4G4B4, "kept too.dds"},
        {IMAGE_TABLE_EFFECT_FIRST + 1, 0, ""},
        {IMAGE_TABLE_ITEM_ICON_FIRST, m_saved_names[IMAGE_TABLE_ITEM_ICON_FIRST].format,
         m_saved_names[IMAGE_TABLE_ITEM_ICON_FIRST].name},
    };
    for (const Entry& e : expected) {
        EXPECT_EQ(g_texture_names[e.index].format, e.format) << "entry " << e.index;
        EXPECT_STREQ(g_texture_names[e.index].name, e.name) << "entry " << e.index;
    }
    EXPECT_STREQ(g_effect_mesh_names[3], "data\\effect\\eft\\ring.qmo.z");
    EXPECT_STREQ(g_effect_mesh_names[199], "data\\effect\\eft\\last.qmo.z");
    EXPECT_STREQ(g_effect_mesh_names[4], "");
    EXPECT_STREQ(g_effect_mesh_names[5], "") << "a path that does not fit stays unnamed";
    EXPECT_EQ(std::string(g_effect_mesh_names[6]), "data\\effect\\eft\\" + std::string(61, 'm') + ".z")
        << "79 characters fit";

    // A second load starts the mesh names afresh.
    data.meshes = {{9, "other.qmo"}};
    mount(data);
    eft_load_textures();
    EXPECT_STREQ(g_effect_mesh_names[3], "");
    EXPECT_STREQ(g_effect_mesh_names[9], "data\\effect\\eft\\other.qmo.z");
}

class EftMeshTest : public EftDataTest {
protected:
    // Meshes at the given slots, each its own model file; "broken" slots name a damaged file.
    void mount_meshes(const std::vector<int>& slots, const std::vector<int>& broken)
    {
        EftDataSet data;
        std::vector<ArchiveSource> files;
        const std::vector<std::uint8_t> box = qmo_bytes(qmo_box());
        for (int slot : slots) {
            const std::string name = "m" + std::to_string(slot) + ".qmo";
            data.meshes.push_back({static_cast<std::uint32_t>(slot), name});
            std::vector<std::uint8_t> bytes = box;
            if (std::find(broken.begin(), broken.end(), slot) != broken.end()) bytes.resize(40);
            files.push_back({eft_path(name) + ".z", packed_build(bytes)});
        }
        data.meshes.push_back({150, "absent.qmo"});
        for (ArchiveSource& file : eft_archive_files(data))
            files.push_back(std::move(file));
        mount(files);
        eft_load_textures();
    }
};

TEST_F(EftMeshTest, MeshesLoadAndFailedOnesLoseTheirName)
{
    const std::vector<int> flagged = {34, 60, 88, 104, 149, 161};
    std::vector<int> slots = flagged;
    slots.insert(slots.end(), {0, 33, 35, 162, 199, 20});
    mount_meshes(slots, {20, 161});
    eft_load_meshes();

    for (int slot : slots) {
        SCOPED_TRACE(slot);
        if (slot == 20 || slot == 161) {
            EXPECT_EQ(g_effect_meshes[slot], nullptr);
            EXPECT_STREQ(g_effect_mesh_names[slot], "") << "a failed mesh is not named";
            continue;
        }
        ASSERT_NE(g_effect_meshes[slot], nullptr);
        EXPECT_NE(g_effect_mesh_names[slot][0], '\0');
        const bool flag = std::find(flagged.begin(), flagged.end(), slot) != flagged.end();
        for (const ModelMaterial& material : g_effect_meshes[slot]->materials)
            EXPECT_EQ((material.word & MODEL_MATERIAL_FLAG) != 0, flag);
    }
    EXPECT_EQ(g_effect_meshes[150], nullptr);
    EXPECT_STREQ(g_effect_mesh_names[150], "");
    EXPECT_EQ(g_effect_meshes[1], nullptr) << "unnamed";
}

TEST_F(EftMeshTest, ReleaseGivesBackEveryMesh)
{
    mount_meshes({0, 61, 199}, {});
    eft_load_meshes();
    // A second holder of the same model shows that the release drops exactly the table's reference.
    const ResourceHandle handle =
        ResrcMgr::Load(g_effect_mesh_names[61], ResrcLoadParams{}, RESRC_POOL_MODEL, 0);
    ASSERT_NE(ResrcMgr::Get(handle), nullptr);
    EXPECT_EQ(ResrcMgr::Get(handle)->refcount, 2);
    EXPECT_EQ(ResrcMgr::Get(handle)->keep_mode, 0) << "kept past the scene-change purge";
    ResrcMgr::PurgeCached();
    ASSERT_NE(g_effect_meshes[61], nullptr);

    eft_release_meshes();
    for (Model* model : g_effect_meshes)
        EXPECT_EQ(model, nullptr);
    ASSERT_NE(ResrcMgr::Get(handle), nullptr);
    EXPECT_EQ(ResrcMgr::Get(handle)->refcount, 1);
    ResrcMgr::Release(RESRC_POOL_MODEL, ResrcMgr::Get(handle)->object);
    EXPECT_EQ(ResrcMgr::Get(handle), nullptr);
    eft_release_meshes(); // nothing left to give back
}

// ---- Curves -----------------------------------------------------------------------------------

EffectCurve curve_of(std::initializer_list<std::array<float, 3>> keys)
{
    EffectCurve curve{};
    for (const auto& key : keys)
        curve.keys[curve.key_count++] = {key[0], key[1], key[2]};
    return curve;
}

TEST(EftCurve, EvaluatesKeysSegmentsAndEnds)
{
    const EffectCurve three = curve_of({{0.0f, 0.0f, 4.0f}, {0.25f, 1.0f, 4.0f / 3.0f}, {1.0f, 0.0f, 0.0f}});
    const EffectCurve two = curve_of({{0.5f, 0.2f, 2.0f}, {1.0f, 0.6f, 0.0f}});
    const EffectCurve zero_span =
        curve_of({{0.0f, 0.0f, 2.0f}, {0.5f, 1.0f, INFINITY}, {0.5f, 3.0f, 2.0f}, {1.0f, 5.0f, 0.0f}});
    const EffectCurve infinite = curve_of({{0.0f, 0.0f, INFINITY}, {0.5f, 1.0f, 2.0f}, {1.0f, 0.0f, 0.0f}});
    const EffectCurve late_start = curve_of({{0.5f, 0.5f, 4.0f}, {0.75f, 1.0f, 4.0f}, {1.0f, 0.0f, 0.0f}});
    struct Case {
        const char* name;
        const EffectCurve* curve;
        float t, expected;
    } cases[] = {
        {"first key", &three, 0.0f, 0.0f},
        {"inside the first segment", &three, 0.125f, 0.5f},
        {"on the middle key", &three, 0.25f, 1.0f},
        {"inside the last segment", &three, 0.625f, 0.5f},
        {"on the last key", &three, 1.0f, 0.0f},
        {"past the last key", &three, 1.5f, 0.0f},
        {"two keys ignore their times", &two, 0.5f, 0.4f},
        {"two keys at 0", &two, 0.0f, 0.2f},
        {"a zero span takes the later key", &zero_span, 0.5f, 3.0f},
        {"after the zero span", &zero_span, 0.75f, 4.0f},
        {"an infinite stored span takes the later key", &infinite, 0.25f, 1.0f},
        {"before the first key", &late_start, 0.25f, 0.5f},
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(eft_curve_eval(*c.curve, c.t), c.expected) << c.name;
    EXPECT_FALSE(std::isnan(eft_curve_eval(three, NAN)));
    EXPECT_FLOAT_EQ(eft_curve_linear(three, 0.5f), 0.5f) << "first two values over t";
    EXPECT_FLOAT_EQ(eft_curve_linear(curve_of({{0.0f, 0.7f, 0.0f}}), 0.5f), 0.7f);
}

TEST(EftCurve, FactorsAndBytes)
{
    EXPECT_FLOAT_EQ(eft_curve_factor(0.0f, -10, 10), 1.0f / 6.0f);
    EXPECT_FLOAT_EQ(eft_curve_factor(0.5f, -10, 10), 1.0f);
    EXPECT_FLOAT_EQ(eft_curve_factor(1.0f, -10, 10), 6.0f);
    EXPECT_FLOAT_EQ(eft_curve_factor(0.75f, -10, 10), 3.5f);
    EXPECT_FLOAT_EQ(eft_curve_factor(0.25f, -10, 10), 1.0f / 3.5f);
    const std::pair<float, int> bytes[] = {{1.0f, 255}, {0.5f, 128}, {0.0f, 0}, {0.999f, 255},   {0.25f, 64},
                                           {2.0f, 255}, {-0.5f, 0},  {NAN, 0},  {0.00390625f, 1}};
    for (const auto& [v, expected] : bytes)
        EXPECT_EQ(eft_curve_byte(v), expected) << v;
}

} // namespace
