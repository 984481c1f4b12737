#include "gfx/ani_script.h"

#include "core/bytes.h"
#include "core/errors.h"
#include "core/sys.h"
#include "game/g_play_state.h"
#include "gfx/script_ops_cases.h"
#include "lib/aia_writer.h"
#include "lib/demo_sprites.h"
#include "lib/packed_writer.h"
#include "lib/script_assembler.h"
#include "object/object_fixture.h"
#include "scenegraph/renderer_fixture.h"
#include "thrown_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr int k_set = 10;
// Key 0: 8 directions of 3 frames; key 5: 16 directions of 1 frame. Each frame draws one pixel at
// (direction, frame) in a colour naming key, direction and frame, and has record values of its own.
constexpr int k_images = 20;
constexpr int k_paired_images = 21; // frame 0 with a second layer, frame 1 without
constexpr int k_other_images = 22;  // the standard archive with another scale
constexpr std::uint16_t k_width = 16;
constexpr std::uint16_t k_height = 8;
constexpr float k_scale = 2.0f;
constexpr std::uint32_t k_wide_key = 5;
constexpr std::int32_t k_nowhere = 999; // an action id no set has

std::uint32_t frame_colour(std::uint32_t key, std::uint32_t direction, std::uint32_t frame)
{
    return 0xFF000000u | key << 16 | direction << 8 | (frame + 1);
}

float frame_left(std::uint32_t direction)
{
    return -8.0f + static_cast<float>(direction);
}
float frame_top(std::uint32_t frame)
{
    return 8.0f + static_cast<float>(frame);
}
float frame_depth(std::uint32_t direction)
{
    return 0.5f * static_cast<float>(direction);
}
float frame_height(std::uint32_t direction, std::uint32_t frame)
{
    return 10.0f * static_cast<float>(direction) + static_cast<float>(frame);
}

AiaEntry entry_of(std::uint32_t key, std::uint32_t directions, std::uint32_t frames)
{
    AiaEntry entry{key, directions, frames, {}};
    for (std::uint32_t d = 0; d < directions; ++d)
        for (std::uint32_t f = 0; f < frames; ++f) {
            AiaFrame frame;
            frame.pixels.assign(std::size_t{k_width} * k_height, 0);
            frame.pixels[f * k_width + d] = frame_colour(key, d, f);
            frame.canvas_left = frame_left(d);
            frame.canvas_top = frame_top(f);
            frame.depth = frame_depth(d);
            frame.height = frame_height(d, f);
            entry.frames.push_back(frame);
        }
    return entry;
}

AiaArchive standard_archive(float scale = k_scale)
{
    AiaArchive archive;
    archive.canvas_width = k_width;
    archive.canvas_height = k_height;
    archive.scale = scale;
    archive.entries = {entry_of(0, 8, 3), entry_of(k_wide_key, 16, 1)};
    return archive;
}

AiaArchive paired_archive()
{
    AiaArchive archive;
    archive.canvas_width = 4;
    archive.canvas_height = 4;
    archive.paired_layers = true;
    AiaEntry entry{0, 1, 2, {}};
    for (std::uint32_t f = 0; f < 2; ++f) {
        AiaFrame frame;
        frame.pixels.assign(16, 0);
        frame.pixels[f] = frame_colour(0, 0, f);
        if (f == 0) {
            AiaLayer second;
            second.pixels.assign(16, 0);
            second.pixels[5] = 0xFF00FF00;
            frame.second = second;
        }
        entry.frames.push_back(frame);
    }
    archive.entries = {entry};
    return archive;
}

std::string set_path(int number)
{
    char path[64];
    std::snprintf(path, sizeof path, "data\\ani\\c_%03d.aso.z", number);
    return path;
}

ArchiveSource script_file(int number, const std::string& text)
{
    return {set_path(number), packed_build(sasm_assemble_or_throw(text))};
}

std::string fatal_text(const char* code, const std::string& detail, const char* source, unsigned line)
{
    return std::string(code) + "\r\n->" + detail + "\n" + source + "(" + std::to_string(line) + ")\n";
}

std::string e_fail_text(const std::string& detail, unsigned line)
{
    return fatal_text("E_FAIL(80004005h)", detail, "ani_script", line);
}

std::string statement(const char* format, std::int64_t a = 0, std::int64_t b = 0)
{
    char text[128];
    std::snprintf(text, sizeof text, format, static_cast<long long>(a), static_cast<long long>(b));
    return text;
}

// A call of any id by its raw words, so ids without a name are written as well.
std::string call_text(std::int32_t id, const std::vector<std::int32_t>& args)
{
    std::string text = " word " + std::to_string(sasm_call_word(static_cast<std::uint32_t>(id),
                                                                static_cast<std::uint32_t>(args.size())));
    for (std::int32_t arg : args)
        text += " " + std::to_string(arg);
    return text + "\n";
}

// A device, a working folder and the work block to load through; every test mounts its own
// archive of script sets and the image archives above, and binds m_script to set k_set.
class AniScriptTest : public RendererTest {
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), std::uint32_t(m_block.size()), nullptr, 0};
        m_saved_32bit = g_tex_a8r8g8b8_ok;
        g_tex_a8r8g8b8_ok = true;
        m_saved_heading = g_camera_heading;
        g_camera_heading = 0.0f;
        std::fill(std::begin(g_play_state.game_flags), std::end(g_play_state.game_flags), 0);
    }
    void TearDown() override
    {
        m_script.ReleaseTextures();
        ani_dat_release_script_sets();
        ani_dat_release_all_images();
        vfs_close_all();
        vfs::Startup((s_folder->windows() + "\\").c_str());
        g_work_block = m_saved_block;
        g_tex_a8r8g8b8_ok = m_saved_32bit;
        g_camera_heading = m_saved_heading;
        std::fill(std::begin(g_play_state.game_flags), std::end(g_play_state.game_flags), 0);
        RendererTest::TearDown();
    }

    void mount(std::vector<ArchiveSource> files)
    {
        m_script.ReleaseTextures();
        ani_dat_release_script_sets();
        ani_dat_release_all_images();
        files.push_back({aia_archive_path(k_images), aia_packed(standard_archive())});
        files.push_back({aia_archive_path(k_paired_images), aia_packed(paired_archive())});
        files.push_back({aia_archive_path(k_other_images), aia_packed(standard_archive(0.5f))});
        vfs_close_all();
        ASSERT_TRUE(archive_write_set(m_data.path(), files, {}));
        vfs::Startup((m_data.windows() + "\\").c_str());
    }

    // Binds m_script to the script; follow-ups lead nowhere, so an action that ends stays ended.
    void bind(const std::string& text)
    {
        mount({script_file(k_set, text)});
        ASSERT_EQ(m_script.Bind(k_set), S_OK);
        m_script.follow_up = m_script.follow_up_after_3 = k_nowhere;
    }

    // Starts the action and runs its first tick.
    void run(std::int32_t action, GoActor* owner = nullptr)
    {
        m_script.SetAction(action);
        m_script.Step(owner);
    }

    AniScript m_script{};
    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 20);
    WorkBlock m_saved_block{};
    bool m_saved_32bit = false;
    float m_saved_heading = 0.0f;
    TempFolder m_data;
};

// With the object pools, for scripts whose owner is an actor.
class AniScriptOwned : public AniScriptTest {
protected:
    void SetUp() override
    {
        AniScriptTest::SetUp();
        ASSERT_EQ(obj_create_pools(), S_OK);
        m_actor = spawn(g_pool_actor);
        ASSERT_NE(m_actor, nullptr);
    }
    void TearDown() override
    {
        obj_destroy_all();
        obj_destroy_pools();
        AniScriptTest::TearDown();
    }

    GoActor* m_actor = nullptr;
};

std::uint32_t texel(const AniFrameTexture& texture, int x, int y)
{
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(texture.texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::uint32_t value = 0;
    std::memcpy(&value, static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4,
                sizeof value);
    texture.texture->UnlockRect(0);
    return value;
}

void set_texel(const AniFrameTexture& texture, int x, int y, std::uint32_t value)
{
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture.texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, &value, sizeof value);
    texture.texture->UnlockRect(0);
}

// ---- Script sets ------------------------------------------------------------------------------------

std::vector<std::uint8_t> two_action_set()
{
    return sasm_assemble_or_throw("images 20\naction 2 1\n SCRIPT_OP_YIELD\naction 4 1\n SCRIPT_OP_NOP\n");
}

TEST_F(AniScriptTest, ASoundSetLoadsWithItsRecordsInPlace)
{
    const std::vector<std::uint8_t> bytes = two_action_set();
    mount({{set_path(k_set), packed_build(bytes)}});
    AniScriptSet& set = ani_dat_get_script_set(k_set);
    ASSERT_NE(set.header, nullptr);
    EXPECT_EQ(set.number, k_set);
    EXPECT_EQ(set.file_size, bytes.size());
    EXPECT_EQ(set.header->action_count, 2u);
    EXPECT_EQ(set.header->image_archive, static_cast<std::uint32_t>(k_images));
    EXPECT_EQ(set.code_words, 2u);
    EXPECT_EQ(ani_find_action(set, 4), &set.actions[1]);
    EXPECT_EQ(set.code[set.actions[1].code_offset / 4], 0u) << "the NOP";
    EXPECT_EQ(ani_find_action(set, 3), nullptr);
    EXPECT_EQ(&ani_dat_get_script_set(k_set), &set) << "loaded once";
}

// The header word, the action records and every action's code range are checked at load; the
// copy of a refused file stays in the slot, but the slot does not count as loaded.
TEST_F(AniScriptTest, ALoadRefusesAHeaderOtherThan16AndCodeOutsideTheFile)
{
    const std::vector<std::uint8_t> sound = two_action_set();
    const std::size_t second = SASM_HEADER_SIZE + SASM_ACTION_SIZE; // the second action's record
    const struct {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        HRESULT expected;
    } cases[] = {
        {"header size 15", [](auto& b) { bytes_put_u16(b, 4, 15); }, ERR_UNMATCHED_VERSION},
        {"header size 20", [](auto& b) { bytes_put_u16(b, 4, 20); }, ERR_UNMATCHED_VERSION},
        {"five bytes", [](auto& b) { b.resize(5); }, ERR_BROKEN_DATA},
        {"a header without its last word", [](auto& b) { b.resize(14); }, ERR_BROKEN_DATA},
        {"more action records than the file holds", [](auto& b) { bytes_put_u32(b, 8, 3); }, ERR_BROKEN_DATA},
        {"a count near 2^32", [](auto& b) { bytes_put_u32(b, 8, 0xFFFFFFFF); }, ERR_BROKEN_DATA},
        {"code past the end", [&](auto& b) { bytes_put_u32(b, second + 12, 2); }, ERR_BROKEN_DATA},
        {"an offset past the end", [&](auto& b) { bytes_put_u32(b, second + 8, 8); }, ERR_BROKEN_DATA},
        {"an offset that wraps with the length",
         [&](auto& b) { bytes_put_u32(b, second + 8, 0xFFFFFFFC), bytes_put_u32(b, second + 12, 1); },
         ERR_BROKEN_DATA},
        {"an offset inside a word", [&](auto& b) { bytes_put_u32(b, second + 8, 2); }, ERR_BROKEN_DATA},
        {"an empty action at the very end",
         [&](auto& b) { bytes_put_u32(b, second + 8, 8), bytes_put_u32(b, second + 12, 0); }, S_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> bytes = sound;
        c.damage(bytes);
        mount({{"data\\test.aso.z", packed_build(bytes)}});
        AniScriptSet slot;
        slot.number = 7;
        EXPECT_EQ(ani_dat_load_script_file("data\\test.aso", slot), c.expected);
        EXPECT_EQ(slot.number, 7);
        EXPECT_EQ(slot.file_size, bytes.size()) << "the copy stays";
        EXPECT_EQ(slot.header != nullptr, c.expected == S_OK);
        EXPECT_EQ(slot.code != nullptr, c.expected == S_OK);
    }
    AniScriptSet slot;
    EXPECT_EQ(ani_dat_load_script_file("data\\missing.aso", slot), ERR_OPEN_FILE);
    EXPECT_EQ(slot.file, nullptr);
}

TEST_F(AniScriptTest, TheGetterEndsWithTheCodeAndTheBaseNameOrTheNumber)
{
    std::vector<std::uint8_t> broken = two_action_set();
    bytes_put_u16(broken, 4, 15);
    mount({{set_path(11), packed_build(broken)}});
    EXPECT_EQ(thrown_text([] { ani_dat_get_script_set(11); }),
              fatal_text("Unmatched version.(80ff0003h)", "c_011", "ani_dat", 500));
    EXPECT_EQ(thrown_text([] { ani_dat_get_script_set(12); }),
              fatal_text("Couldn't open file.(80ff0009h)", "c_012", "ani_dat", 500));
    EXPECT_EQ(thrown_text([] { ani_dat_get_script_set(176); }),
              fatal_text("E_FAIL(80004005h)", "176", "ani_dat", 500));
    EXPECT_EQ(thrown_text([] { ani_dat_get_script_set(-1); }),
              fatal_text("E_FAIL(80004005h)", "-1", "ani_dat", 500));
    EXPECT_EQ(thrown_text([this] { m_script.Bind(176); }),
              fatal_text("E_FAIL(80004005h)", "176", "ani_dat", 500));
}

TEST_F(AniScriptTest, ReleasedSetsLoadAgainOnTheirNextRequest)
{
    mount({script_file(k_set, "images 20\naction 2\n SCRIPT_OP_YIELD\n"), script_file(11, "action 0\n")});
    ani_dat_get_script_set(k_set);
    ani_dat_get_script_set(11);
    ani_dat_release_script_sets();
    for (const AniScriptSet& slot : g_ani_script_sets) {
        EXPECT_EQ(slot.file, nullptr);
        EXPECT_EQ(slot.header, nullptr);
    }
    EXPECT_NE(ani_find_action(ani_dat_get_script_set(k_set), 2), nullptr);
}

// ---- Bind ---------------------------------------------------------------------------------------------

TEST_F(AniScriptTest, BindStartsAction2ElseAction0)
{
    bind("images 20\naction 0\n SCRIPT_OP_YIELD\naction 2 3\n SCRIPT_OP_YIELD\n");
    EXPECT_EQ(m_script.set, &g_ani_script_sets[k_set]);
    EXPECT_EQ(m_script.set_number, k_set);
    EXPECT_EQ(m_script.current_action, 2);
    EXPECT_EQ(m_script.previous_action, 2);
    EXPECT_EQ(m_script.override_key, -1);
    EXPECT_EQ(m_script.image_archive, k_images);
    EXPECT_EQ(m_script.refresh, 1);
    EXPECT_EQ(m_script.shown_archive, -1);
    EXPECT_EQ(m_script.shown_frame, -1);

    mount({script_file(k_set, "images 20\naction 0\n SCRIPT_OP_YIELD\naction 7\n")});
    ASSERT_EQ(m_script.Bind(k_set), S_OK);
    EXPECT_EQ(m_script.current_action, 0);
    EXPECT_EQ(m_script.follow_up, 0);
    EXPECT_EQ(m_script.follow_up_after_3, 0);
    EXPECT_EQ(m_script.previous_action, 0);

    mount({script_file(k_set, "images 20\naction 1\n SCRIPT_OP_YIELD\naction 3\n")});
    EXPECT_EQ(thrown_text([this] { m_script.Bind(k_set); }), e_fail_text("c_010", 42));
}

TEST_F(AniScriptTest, BindMakesAFrameTextureForEachLayerInTheDevicesFormat)
{
    bind("images 20\naction 2\n");
    const AniFrameTexture& layer0 = m_script.textures[0];
    ASSERT_NE(layer0.texture, nullptr);
    EXPECT_EQ(layer0.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(layer0.width, k_width);
    EXPECT_EQ(layer0.height, k_height);
    EXPECT_EQ(layer0.scale, k_scale);
    EXPECT_EQ(layer0.x1, k_width);
    EXPECT_EQ(layer0.y1, k_height);
    EXPECT_EQ(m_script.textures[1].texture, nullptr) << "no paired layers";

    g_tex_a8r8g8b8_ok = false;
    bind("images 21\naction 2\n");
    EXPECT_EQ(m_script.textures[0].format, D3DFMT_A4R4G4B4);
    ASSERT_NE(m_script.textures[1].texture, nullptr);
    EXPECT_EQ(m_script.textures[1].format, D3DFMT_A4R4G4B4);
    EXPECT_EQ(m_script.textures[1].width, 4);

    // A second bind releases what the first made: the fixture's device check sees no leak.
    d3d8_seam_fail(D3D8Call::CreateTexture, E_OUTOFMEMORY);
    EXPECT_EQ(m_script.Bind(k_set), E_OUTOFMEMORY);
    EXPECT_EQ(m_script.textures[0].texture, nullptr);
}

TEST_F(AniScriptTest, AnArchiveNumberOutsideTheTableIsFatalFromTheHeaderAndFromSetImages)
{
    mount({script_file(k_set, "images 252\naction 2\n")});
    EXPECT_EQ(thrown_text([this] { m_script.Bind(k_set); }),
              fatal_text("E_FAIL(80004005h)", "252", "ani_dat", 453));

    bind("images 20\naction 2\n call FUNCID_SET_IMAGES 252\n");
    EXPECT_EQ(thrown_text([this] { m_script.Step(nullptr); }),
              fatal_text("E_FAIL(80004005h)", "252", "ani_dat", 453));
    bind("images 20\naction 2\n call FUNCID_SET_IMAGES -1\n");
    EXPECT_EQ(thrown_text([this] { m_script.Step(nullptr); }),
              fatal_text("E_FAIL(80004005h)", "-1", "ani_dat", 453));
}

// ---- Opcodes -----------------------------------------------------------------------------------------

TEST_F(AniScriptTest, OpcodesMoveTheCounterAndChangeREG)
{
    struct Case {
        std::string name;
        std::string code;
        std::int32_t reg;
    };
    std::vector<Case> cases = {
        {"NOP", "SCRIPT_OP_SETINT 4\n SCRIPT_OP_NOP\n", 4},
        {"SKIP passes over one word", "SCRIPT_OP_SETINT 5\n SCRIPT_OP_SKIP 0x0C000000\n SCRIPT_OP_ADDINT 1\n",
         6},
        {"CLEAR 12", "SCRIPT_OP_SETINT 9\n SCRIPT_OP_CLEAR\n", 0},
        {"CLEAR 13", "SCRIPT_OP_SETINT 9\n SCRIPT_OP_CLEAR2\n", 0},
        {"SETINT", "SCRIPT_OP_SETINT -77\n", -77},
        {"ADDINT wraps", "SCRIPT_OP_SETINT 0x7FFFFFFF\n SCRIPT_OP_ADDINT 1\n", INT_MIN},
        {"SUBINT wraps", "SCRIPT_OP_SETINT 0x80000000\n SCRIPT_OP_SUBINT 1\n", INT_MAX},
        {"ANDINT", "SCRIPT_OP_SETINT 0xF0F0\n SCRIPT_OP_ANDINT 0xFF00\n", 0xF000},
        {"ORINT", "SCRIPT_OP_SETINT 0xF0F0\n SCRIPT_OP_ORINT 0xFF00\n", 0xFFF0},
        {"XORINT", "SCRIPT_OP_SETINT 0xF0F0\n SCRIPT_OP_XORINT 0xFF00\n", 0x0FF0},
        {"an operand past the code reads as 0", "SCRIPT_OP_SETINT 5\n word 0x0E000000\n", 0},
        {"a call's arguments past the code read as 0", "SCRIPT_OP_SETINT 5\n word 0x020BC001\n", 0},
    };
    // Each jump sets REG to 2 when taken and to 1 when it falls through.
    const struct {
        const char* opcode;
        std::int32_t reg;
        bool taken;
    } jumps[] = {
        {"SCRIPT_OP_JUMP", 5, true},  {"SCRIPT_OP_JUMP2", 5, true},     {"SCRIPT_OP_JLT", -1, true},
        {"SCRIPT_OP_JLT", 0, false},  {"SCRIPT_OP_JEQ", 0, true},       {"SCRIPT_OP_JEQ", -1, false},
        {"SCRIPT_OP_JLE", 0, true},   {"SCRIPT_OP_JLE", INT_MIN, true}, {"SCRIPT_OP_JLE", 1, false},
        {"SCRIPT_OP_JGT", 1, true},   {"SCRIPT_OP_JGT", 0, false},      {"SCRIPT_OP_JGT", INT_MIN, false},
        {"SCRIPT_OP_JNE", -1, true},  {"SCRIPT_OP_JNE", 0, false},      {"SCRIPT_OP_JGE", 0, true},
        {"SCRIPT_OP_JGE", -1, false},
    };
    for (const auto& jump : jumps)
        cases.push_back({std::string(jump.opcode) + " with REG " + std::to_string(jump.reg),
                         statement("SCRIPT_OP_SETINT %lld\n", jump.reg) + jump.opcode +
                             " @taken\n SCRIPT_OP_SETINT 1\n SCRIPT_OP_YIELD\ntaken: SCRIPT_OP_SETINT 2\n",
                         jump.taken ? 2 : 1});

    std::string text = "images 20\naction 0\n";
    for (std::size_t i = 0; i < cases.size(); ++i)
        text += statement("action %lld\n", 100 + static_cast<std::int64_t>(i)) + cases[i].code;
    bind(text);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        run(100 + static_cast<std::int32_t>(i));
        EXPECT_EQ(m_script.reg, cases[i].reg);
    }
}

TEST_F(AniScriptTest, OpcodesFrom20AreFatal)
{
    for (std::uint32_t opcode : {20u, 21u, 255u}) {
        bind(statement("images 20\naction 2\n SCRIPT_OP_NOP\n op %lld\n", opcode));
        EXPECT_EQ(
            thrown_text([this] { m_script.Step(nullptr); }),
            e_fail_text(statement("Undefined instruction [%lld]", opcode), ANI_SCRIPT_LINE_STEP_OPCODE));
    }
}

// ---- Waits, marks and actions ---------------------------------------------------------------------

TEST_F(AniScriptTest, WaitsAndYieldsResumeOnTheRightTick)
{
    bind(R"(images 20
action 2
 call FUNCID_LOCAL_ADDINT 8 1
 call FUNCID_WAIT 3
 call FUNCID_LOCAL_ADDINT 8 1
 call FUNCID_WAIT 1
 call FUNCID_LOCAL_ADDINT 8 1
 SCRIPT_OP_YIELD
 call FUNCID_LOCAL_ADDINT 8 1
 call FUNCID_WAIT 0
 call FUNCID_LOCAL_ADDINT 8 1
)");
    // WAIT 3: the next two steps do nothing; WAIT 1, YIELD and WAIT 0 resume on the next tick.
    const std::int32_t counts[] = {1, 1, 1, 2, 3, 4, 5, 5};
    for (std::int32_t expected : counts) {
        m_script.Step(nullptr);
        EXPECT_EQ(m_script.locals[8], expected);
    }
}

TEST_F(AniScriptTest, ANegativeWaitCountsDownWithoutOverflow)
{
    bind("images 20\naction 2\n call FUNCID_WAIT 0x80000000\n call FUNCID_LOCAL_SETINT 8 1\n");
    m_script.Step(nullptr);
    m_script.Step(nullptr);
    EXPECT_EQ(m_script.wait, INT_MAX);
    EXPECT_EQ(m_script.locals[8], 0);
}

TEST_F(AniScriptTest, TheStopMarkHoldsTheScriptOnItsMarkUntilCleared)
{
    bind(R"(images 20
action 2
 call FUNCID_LOCAL_ADDINT 8 1
 SCRIPT_OP_YIELD
 call FUNCID_MARK 2
 call FUNCID_LOCAL_ADDINT 8 1
 SCRIPT_OP_YIELD
)");
    m_script.Step(nullptr);
    m_script.stop_mark = 2;
    for (int tick = 0; tick < 3; ++tick) {
        m_script.Step(nullptr);
        EXPECT_EQ(m_script.mark, 2);
        EXPECT_EQ(m_script.pc, 4u) << "back on the call word";
        EXPECT_EQ(m_script.locals[8], 1);
    }
    m_script.stop_mark = -1;
    m_script.Step(nullptr);
    EXPECT_EQ(m_script.locals[8], 2);
}

TEST_F(AniScriptTest, AnOverrideFreezesTheScript)
{
    bind("images 20\naction 2\n call FUNCID_LOCAL_ADDINT 8 1\n SCRIPT_OP_YIELD\n");
    m_script.override_key = 0;
    m_script.Step(nullptr);
    EXPECT_EQ(m_script.locals[8], 0);
    m_script.override_key = -1;
    m_script.Step(nullptr);
    EXPECT_EQ(m_script.locals[8], 1);
}

TEST_F(AniScriptTest, RequestsStartActionsByPriority)
{
    bind(R"(images 20
action 0 5
 SCRIPT_OP_YIELD
action 2 5
 SCRIPT_OP_NOP
 SCRIPT_OP_YIELD
action 4 3
action 6 0x80000000
 call FUNCID_SET_IMAGES 22
 SCRIPT_OP_YIELD
action 7 9
)");
    m_script.Step(nullptr);
    ASSERT_EQ(m_script.pc, 2u);

    EXPECT_EQ(m_script.RequestAction(2, true), 0) << "keep: the running action goes on";
    EXPECT_EQ(m_script.pc, 2u);
    EXPECT_EQ(m_script.previous_action, 2);

    m_script.override_key = 5;
    m_script.override_frame = 1;
    EXPECT_EQ(m_script.RequestAction(4, false), 0) << "priority 3 below 5";
    EXPECT_EQ(m_script.current_action, 2);
    EXPECT_EQ(m_script.override_key, -1) << "cleared though refused";
    EXPECT_EQ(m_script.override_frame, 0);

    EXPECT_EQ(m_script.RequestAction(2, false), 1) << "without keep the action restarts";
    EXPECT_EQ(m_script.pc, 0u);

    EXPECT_EQ(m_script.RequestAction(99, false), 0) << "a missing id starts action 0";
    EXPECT_EQ(m_script.current_action, 0);
    EXPECT_EQ(m_script.previous_action, 2);

    EXPECT_EQ(m_script.RequestAction(6, false), 1);
    m_script.Step(nullptr);
    EXPECT_EQ(m_script.image_archive, k_other_images);
    m_script.reg = 7;
    m_script.wait = 3;
    EXPECT_EQ(m_script.RequestAction(7, false), 0) << "priorities compare unsigned";
    EXPECT_EQ(m_script.current_action, 6);

    m_script.SetAction(7);
    EXPECT_EQ(m_script.previous_action, 6);
    EXPECT_EQ(m_script.pc, 0u);
    EXPECT_EQ(m_script.wait, 0);
    EXPECT_EQ(m_script.reg, 0);
    EXPECT_EQ(m_script.image_archive, k_images) << "the header's archive again";

    bind("images 20\naction 2\n");
    EXPECT_EQ(m_script.RequestAction(99, false), 0) << "neither the id nor action 0";
    EXPECT_EQ(m_script.current_action, 2);
}

TEST_F(AniScriptTest, AnEndedActionHandsOverToItsFollowUpInTheSameTick)
{
    bind(R"(images 20
action 2
 SCRIPT_OP_NOP
action 3
 call FUNCID_LOCAL_SETINT 0 7
action 4
 call FUNCID_LOCAL_ADDINT 8 1
 call FUNCID_WAIT 1
action 5
 call FUNCID_LOCAL_ADDINT 9 1
 SCRIPT_OP_YIELD
)");
    m_script.follow_up = 4;
    m_script.follow_up_after_3 = 5;
    m_script.Step(nullptr);
    EXPECT_EQ(m_script.current_action, 4) << "action 2 ends into the follow-up";
    EXPECT_EQ(m_script.previous_action, 2);
    EXPECT_EQ(m_script.locals[8], 1);

    // An action following itself starts again, its per-action state cleared each time.
    m_script.locals[0] = 3;
    m_script.locals[9] = 3;
    m_script.Step(nullptr);
    m_script.Step(nullptr);
    EXPECT_EQ(m_script.current_action, 4);
    EXPECT_EQ(m_script.previous_action, 4);
    EXPECT_EQ(m_script.locals[8], 3);
    EXPECT_EQ(m_script.locals[0], 0);
    EXPECT_EQ(m_script.locals[9], 3) << "locals 8-15 live across actions";

    m_script.SetAction(3);
    m_script.Step(nullptr);
    EXPECT_EQ(m_script.current_action, 5) << "action 3 ends into its own follow-up";
    EXPECT_EQ(m_script.locals[9], 4);
    EXPECT_EQ(m_script.locals[0], 0);

    // Without a follow-up the script waits at the end and retries on every tick.
    m_script.follow_up = k_nowhere;
    m_script.SetAction(2);
    m_script.Step(nullptr);
    m_script.Step(nullptr);
    EXPECT_EQ(m_script.current_action, 2);
    EXPECT_EQ(m_script.pc, 1u);
    m_script.follow_up = 5;
    m_script.Step(nullptr);
    EXPECT_EQ(m_script.current_action, 5);
}

TEST_F(AniScriptTest, AnActionStartClearsThePerActionState)
{
    bind("images 20\naction 2\n SCRIPT_OP_YIELD\n");
    m_script.mark = 4;
    m_script.stop_mark = 4;
    m_script.direction_offset = 2;
    m_script.height_offset = 1.5f;
    m_script.move_scale = 2.0f;
    std::fill(std::begin(m_script.switches), std::end(m_script.switches), 1);
    std::fill(std::begin(m_script.locals), std::end(m_script.locals), 9);
    m_script.anim_key = 5;
    m_script.frame = 2;
    m_script.Step(nullptr);
    EXPECT_EQ(m_script.mark, 0);
    EXPECT_EQ(m_script.stop_mark, -1);
    EXPECT_EQ(m_script.direction_offset, 0);
    EXPECT_EQ(m_script.height_offset, 0.0f);
    EXPECT_EQ(m_script.move_scale, 0.0f);
    for (std::uint8_t s : m_script.switches)
        EXPECT_EQ(s, 0);
    for (int i = 0; i < ANI_LOCAL_COUNT; ++i)
        EXPECT_EQ(m_script.locals[i], i < 8 ? 0 : 9) << i;
    EXPECT_EQ(m_script.anim_key, 5) << "the shown frame is not action state";
    EXPECT_EQ(m_script.frame, 2);
}

TEST_F(AniScriptTest, GotoActionContinuesInTheNewActionWithinTheTick)
{
    bind(R"(images 20
action 2
 call FUNCID_LOCAL_SETINT 0 5
 call FUNCID_GOTO_ACTION 6
 call FUNCID_LOCAL_SETINT 9 1
 SCRIPT_OP_YIELD
action 6
 call FUNCID_LOCAL_ADDINT 8 1
 SCRIPT_OP_YIELD
action 7
 call FUNCID_GOTO_ACTION 99
 call FUNCID_LOCAL_SETINT 9 1
 SCRIPT_OP_YIELD
)");
    m_script.Step(nullptr);
    EXPECT_EQ(m_script.current_action, 6);
    EXPECT_EQ(m_script.previous_action, 2);
    EXPECT_EQ(m_script.locals[0], 0) << "cleared with the action state";
    EXPECT_EQ(m_script.locals[8], 1);
    EXPECT_EQ(m_script.locals[9], 0);
    EXPECT_EQ(m_script.pc, 4u);

    run(7);
    EXPECT_EQ(m_script.current_action, 7) << "a missing action: nothing";
    EXPECT_EQ(m_script.locals[9], 1);
}

// ---- Script-state functions ---------------------------------------------------------------------------

TEST_F(AniScriptTest, SwitchAndValueFunctionsSetTheirFields)
{
    using Switches = std::array<std::uint8_t, ANI_SWITCH_COUNT>;
    const struct {
        const char* call;
        Switches switches;
    } switch_cases[] = {
        {"FUNCID_SWITCH5 1", {0, 0, 0, 0, 0, 1, 0, 0, 0}},
        {"FUNCID_SWITCH4 -1", {0, 0, 0, 0, 1, 0, 0, 0, 0}},
        {"FUNCID_SWITCH01 7", {1, 1, 0, 0, 0, 0, 0, 0, 0}},
        {"FUNCID_SWITCH2 1", {0, 0, 1, 0, 0, 0, 0, 0, 0}},
        {"FUNCID_NO_REACTION 1", {0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"FUNCID_SWITCH1 1", {0, 1, 0, 0, 0, 0, 0, 0, 0}},
        {"FUNCID_SWITCH3 1", {0, 0, 0, 1, 0, 0, 0, 0, 0}},
        {"FUNCID_NO_HIT 1", {0, 0, 0, 0, 0, 0, 0, 1, 0}},
        {"FUNCID_NO_HIT 0", {}},
    };
    std::string text = "images 20\naction 0\n";
    for (std::size_t i = 0; i < std::size(switch_cases); ++i)
        text += statement("action %lld\n call ", 100 + std::int64_t(i)) + switch_cases[i].call +
                "\n SCRIPT_OP_YIELD\n";
    text += R"(action 200
 call FUNCID_MOVE_SCALE 1.5
 call FUNCID_OFFSET_Y -2.25
 call FUNCID_DIR_OFFSET 3
 call FUNCID_SET_ANIM 5 2
 call FUNCID_MARK 9
 SCRIPT_OP_YIELD
)";
    bind(text);
    for (std::size_t i = 0; i < std::size(switch_cases); ++i) {
        SCOPED_TRACE(switch_cases[i].call);
        run(100 + static_cast<std::int32_t>(i));
        EXPECT_TRUE(std::equal(std::begin(m_script.switches), std::end(m_script.switches),
                               switch_cases[i].switches.begin()));
    }
    run(200);
    EXPECT_EQ(m_script.move_scale, 1.5f);
    EXPECT_EQ(m_script.height_offset, -2.25f);
    EXPECT_EQ(m_script.direction_offset, 3);
    EXPECT_EQ(m_script.anim_key, 5);
    EXPECT_EQ(m_script.frame, 2);
    EXPECT_EQ(m_script.mark, 9);
}

TEST_F(AniScriptTest, LocalFunctionsAddressLocalsByNumberAndPrevActionComparesThePreviousAction)
{
    const struct {
        const char* code;
        std::int32_t local3;
        std::int32_t reg;
    } cases[] = {
        {"call FUNCID_LOCAL_SETINT 3 -7", -7, 5},
        {"call FUNCID_LOCAL_SETINT 3 0x7FFFFFFF\n call FUNCID_LOCAL_ADDINT 3 1", INT_MIN, 5},
        {"call FUNCID_LOCAL_SETINT 3 0x10000\n call FUNCID_LOCAL_MULINT 3 0x10001", 0x10000, 5},
        {"call FUNCID_LOCAL_SETINT 3 4\n call FUNCID_LOCAL_EQINT 3 4", 4, 1},
        {"call FUNCID_LOCAL_EQINT 3 4", 0, 0},
        {"call FUNCID_REG_PREVACTION 2", 0, 1},
        {"call FUNCID_REG_PREVACTION 100", 0, 0},
    };
    std::string text = "images 20\naction 2\n";
    for (std::size_t i = 0; i < std::size(cases); ++i)
        text += statement("action %lld\n SCRIPT_OP_SETINT 5\n ", 100 + std::int64_t(i)) + cases[i].code +
                "\n SCRIPT_OP_YIELD\n";
    bind(text);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].code);
        m_script.current_action = 2;
        run(100 + static_cast<std::int32_t>(i));
        EXPECT_EQ(m_script.locals[3], cases[i].local3);
        EXPECT_EQ(m_script.reg, cases[i].reg);
    }
}

TEST_F(AniScriptTest, LocalNumbersAndVariableIndicesOutsideTheirRangeAreFatal)
{
    const struct {
        const char* call;
        const char* text;
    } cases[] = {
        {"FUNCID_LOCAL_SETINT 16 1", "Local number out of range: 16 (script set 10, action 2)"},
        {"FUNCID_LOCAL_ADDINT -1 1", "Local number out of range: -1 (script set 10, action 2)"},
        {"FUNCID_LOCAL_MULINT 100 1", "Local number out of range: 100 (script set 10, action 2)"},
        {"FUNCID_LOCAL_EQINT 16 1", "Local number out of range: 16 (script set 10, action 2)"},
        {"FUNCID_FLAG_SETINT 528 1", "Variable index out of range: 528 (script set 10, action 2)"},
        {"FUNCID_FLAG_SETINT -1 1", "Variable index out of range: -1 (script set 10, action 2)"},
        {"FUNCID_REG_SETFLAG 0x7FFFFFFF",
         "Variable index out of range: 2147483647 (script set 10, action 2)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        bind(std::string("images 20\naction 2\n call ") + c.call + "\n");
        const std::string text = thrown_text([this] { m_script.Step(nullptr); });
        EXPECT_THAT(text, HasSubstr(c.text));
        EXPECT_THAT(text, HasSubstr("E_FAIL(80004005h)"));
    }
    EXPECT_EQ(ani_script_var_ptr(511, m_script), &g_play_state.game_flags[511]);
    EXPECT_EQ(ani_script_var_ptr(512, m_script), &m_script.locals[0]);
    EXPECT_EQ(ani_script_var_ptr(527, m_script), &m_script.locals[15]);
}

// Ids without a function: nothing changes but the counter, which passes their argument words.
TEST_F(AniScriptTest, IdsWithoutAFunctionDoNothing)
{
    const std::int32_t ids[] = {0, 38, 45, 49, 51, 100, 149, 182, 218, 4095};
    std::string text = "images 20\naction 2\n";
    for (std::int32_t id : ids)
        text += statement("action %lld\n SCRIPT_OP_SETINT 5\n", 1000 + id) + call_text(id, {300, 77, 2, 3}) +
                " SCRIPT_OP_YIELD\n";
    bind(text);
    for (std::int32_t id : ids) {
        SCOPED_TRACE(id);
        m_script.SetAction(1000 + id);
        m_script.locals[12] = 4;
        m_script.Step(nullptr);
        EXPECT_EQ(m_script.pc, 8u);
        EXPECT_EQ(m_script.reg, 5);
        EXPECT_EQ(m_script.wait, 0);
        EXPECT_EQ(m_script.mark, 0);
        EXPECT_EQ(m_script.current_action, 1000 + id);
        EXPECT_EQ(m_script.image_archive, k_images);
        EXPECT_EQ(m_script.locals[12], 4);
        EXPECT_TRUE(std::all_of(std::begin(g_play_state.game_flags), std::end(g_play_state.game_flags),
                                [](std::int32_t flag) { return flag == 0; }));
        EXPECT_TRUE(std::all_of(std::begin(m_script.switches), std::end(m_script.switches),
                                [](std::uint8_t s) { return s == 0; }));
    }
}

TEST_F(AniScriptTest, TheSharedFunctionsRunThroughTheInterpreter)
{
    const std::vector<ScriptOpsCase>& cases = script_ops_cases();
    std::string text = "images 20\naction 2\n";
    for (std::size_t i = 0; i < cases.size(); ++i)
        text += statement("action %lld\n SCRIPT_OP_SETINT %lld\n", 100 + std::int64_t(i), cases[i].reg) +
                call_text(cases[i].id, cases[i].args) + " SCRIPT_OP_YIELD\n";
    bind(text);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const ScriptOpsCase& c = cases[i];
        SCOPED_TRACE(c.name);
        m_script.SetAction(100 + static_cast<std::int32_t>(i));
        for (const ScriptVarValue& var : c.vars)
            *ani_script_var_ptr(var.index, m_script) = var.value;
        m_script.Step(nullptr);
        EXPECT_EQ(m_script.reg, c.expected_reg);
        for (const ScriptVarValue& var : c.expected_vars)
            EXPECT_EQ(*ani_script_var_ptr(var.index, m_script), var.value) << var.index;
    }
}

TEST_F(AniScriptTest, DivisionsByZeroAreFatalFromTheirLinesInStepAndEvalDuration)
{
    const std::vector<ScriptDivisionCase>& cases = script_division_cases();
    std::vector<ArchiveSource> files;
    std::string text = "images 20\naction 2\n";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string call = call_text(cases[i].id, cases[i].args);
        text += statement("action %lld\n", 100 + std::int64_t(i)) + call;
        files.push_back(script_file(30 + static_cast<int>(i), "images 20\naction 0\naction 3\n" + call));
    }
    files.push_back(script_file(k_set, text));
    mount(files);
    ASSERT_EQ(m_script.Bind(k_set), S_OK);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const ScriptDivisionCase& c = cases[i];
        SCOPED_TRACE(c.id);
        for (const ScriptVarValue& var : c.vars)
            *ani_script_var_ptr(var.index, m_script) = var.value;
        m_script.SetAction(100 + static_cast<std::int32_t>(i));
        EXPECT_EQ(thrown_text([this] { m_script.Step(nullptr); }),
                  script_division_error_text(c.error, "ani_script", k_ani_step_division_lines[c.error]));
    }
    // A dry run leaves variables alone, so only the REG forms divide there.
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const ScriptDivisionCase& c = cases[i];
        SCOPED_TRACE(c.id);
        ASSERT_EQ(m_script.Bind(30 + static_cast<int>(i)), S_OK);
        for (const ScriptVarValue& var : c.vars)
            *ani_script_var_ptr(var.index, m_script) = var.value;
        const std::string expected =
            c.error < 4
                ? "no error"
                : script_division_error_text(c.error, "ani_script", k_ani_eval_division_lines[c.error]);
        EXPECT_EQ(thrown_text([this] { m_script.EvalDuration(); }), expected);
    }
}

TEST_F(AniScriptTest, HasItemReadsThePlayersItems)
{
    bind("images 20\naction 2\n call FUNCID_REG_HASITEM 3\n SCRIPT_OP_YIELD\naction 4\n"
         " SCRIPT_OP_SETINT 5\n call FUNCID_REG_HASITEM -1\n SCRIPT_OP_YIELD\n");
    g_play_state.game_flags[GF_WEAPON] = 3;
    run(2);
    EXPECT_EQ(m_script.reg, 1);
    run(4);
    EXPECT_EQ(m_script.reg, 0);
}

TEST_F(AniScriptOwned, OwnerFunctionsActOnTheOwner)
{
    bind("images 20\naction 2\n call FUNCID_REG_ONGROUND\n call FUNCID_LAND_EVENT\n SCRIPT_OP_YIELD\n");
    m_actor->on_ground = 1;
    m_actor->event_bits = 0;
    m_script.Step(m_actor);
    EXPECT_EQ(m_script.reg, 1);
    EXPECT_EQ(m_actor->event_bits, ACTOR_EVENT_LANDED);
    run(2, nullptr);
    EXPECT_EQ(m_script.reg, 0) << "no owner: nothing";
}

// ---- Runaway scripts ----------------------------------------------------------------------------------

TEST_F(AniScriptTest, ALoopThatNeverGivesControlBackIsFatal)
{
    const std::string tail = " (script set 10, action ";
    bind("images 20\naction 2\nloop: SCRIPT_OP_JUMP @loop\n");
    const std::string text = thrown_text([this] { m_script.Step(nullptr); });
    EXPECT_THAT(text, StartsWith("E_FAIL(80004005h)\r\n->Words run without giving control back: 1000000" +
                                 tail + "2)\nani_script("));

    bind("images 20\naction 2\naction 6\n");
    m_script.follow_up = 6;
    EXPECT_THAT(thrown_text([this] { m_script.Step(nullptr); }), HasSubstr(tail + "6)"));

    bind(
        "images 20\naction 2\n SCRIPT_OP_YIELD\naction 3\nloop: call FUNCID_WAIT 1\n SCRIPT_OP_JUMP @loop\n");
    EXPECT_THAT(thrown_text([this] { m_script.EvalDuration(); }), HasSubstr(tail + "3)"));

    // A long loop that gives control back in time is none of this.
    bind("images 20\naction 2\n SCRIPT_OP_SETINT 300000\nloop: SCRIPT_OP_SUBINT 1\n SCRIPT_OP_JGT @loop\n"
         " SCRIPT_OP_YIELD\n");
    m_script.Step(nullptr);
    EXPECT_EQ(m_script.reg, 0);
}

// ---- RunUntilMark and EvalDuration ---------------------------------------------------------------------

TEST_F(AniScriptOwned, RunUntilMarkSumsTheSkippedWaits)
{
    bind(R"(images 20
action 2
 call FUNCID_WAIT 2
 call FUNCID_WAIT 3
 call FUNCID_MARK 1
 call FUNCID_WAIT 4
 call FUNCID_MARK 2
 call FUNCID_WAIT 5
 call FUNCID_MARK 3
)");
    m_script.stop_mark = 2;
    EXPECT_EQ(m_script.RunUntilMark(m_actor, 2), 9);
    EXPECT_EQ(m_script.mark, 2);
    EXPECT_EQ(m_script.wait, 5) << "the wait after the mark stays";
    EXPECT_EQ(m_script.stop_mark, -1);
    EXPECT_EQ(m_script.RunUntilMark(m_actor, 2), 0) << "already there";
    m_script.override_key = 0;
    EXPECT_EQ(m_script.RunUntilMark(m_actor, 3), 0) << "an override rests the script";
    m_script.override_key = -1;
    EXPECT_EQ(m_script.RunUntilMark(m_actor, 3), 5);
    EXPECT_EQ(m_script.mark, 3);
}

TEST_F(AniScriptOwned, RunUntilMarkStopsAtTheActionsEndOrWhenTheActionChanges)
{
    bind(R"(images 20
action 2
 call FUNCID_WAIT 2
 call FUNCID_GOTO_ACTION 4
action 4
 call FUNCID_WAIT 7
 call FUNCID_MARK 5
)");
    EXPECT_EQ(m_script.RunUntilMark(m_actor, 5), 2);
    EXPECT_EQ(m_script.current_action, 4);
    EXPECT_EQ(m_script.mark, 0);
    EXPECT_EQ(m_script.RunUntilMark(m_actor, 5), 7);
    EXPECT_EQ(m_script.mark, 5);
}

TEST_F(AniScriptOwned, RunUntilMarkFailsAfter101Steps)
{
    bind("images 20\naction 2\nloop: call FUNCID_LOCAL_ADDINT 8 1\n call FUNCID_WAIT 1\n SCRIPT_OP_JUMP "
         "@loop\n");
    m_actor->cast = 13;
    EXPECT_EQ(
        thrown_text([this] { m_script.RunUntilMark(m_actor, 7); }),
        "AniScript infinite loop? Cast:13 StopMark:-1, CurMark0, Mark:7 ActionID2\r\n\nani_script(354)\n");
    EXPECT_EQ(m_script.locals[8], 102) << "the 102nd step runs before the error";

    // A mark reached on the 101st step is fine.
    std::string text = "images 20\naction 2\n";
    for (int i = 0; i < 100; ++i)
        text += " call FUNCID_WAIT 1\n";
    bind(text + " call FUNCID_MARK 7\n");
    EXPECT_EQ(m_script.RunUntilMark(m_actor, 7), 100);
}

TEST_F(AniScriptTest, EvalDurationCountsTheWaitsOfAction3WhileTheLastMarkIs0)
{
    bind(R"(images 20
action 2
 call FUNCID_LOCAL_SETINT 8 1
 SCRIPT_OP_YIELD
action 3
 call FUNCID_WAIT 4
 call FUNCID_MARK 1
 call FUNCID_WAIT 100
 call FUNCID_MARK 0
 call FUNCID_WAIT 3
 call FUNCID_REG_SETINT 2
loop: call FUNCID_WAIT 1
 SCRIPT_OP_SUBINT 1
 SCRIPT_OP_JGT @loop
 call FUNCID_REG_PREVACTION 2
 SCRIPT_OP_JEQ @skip
 call FUNCID_WAIT 10
skip: call FUNCID_LOCAL_EQINT 9 6
 SCRIPT_OP_JNE @end
 call FUNCID_WAIT 20
end: call FUNCID_FLAG_SETINT 300 1
 call FUNCID_LOCAL_SETINT 9 5
 call FUNCID_SET_ANIM 5 5
 call FUNCID_GOTO_ACTION 2
 SCRIPT_OP_SKIP 0x01000000
 call FUNCID_WAIT 30
 SCRIPT_OP_YIELD
 call FUNCID_WAIT 50
)");
    m_script.Step(nullptr);
    m_script.locals[9] = 6;
    m_script.reg = 77;
    const std::uint32_t pc = m_script.pc;
    // 4 + 3 + 2 in the loop; the previous action is 2, so + 10; local 9 is 6, so not + 20; + 30.
    EXPECT_EQ(m_script.EvalDuration(), 4 + 3 + 2 + 10 + 30);
    EXPECT_EQ(m_script.reg, 77);
    EXPECT_EQ(m_script.pc, pc);
    EXPECT_EQ(m_script.current_action, 2);
    EXPECT_EQ(m_script.anim_key, 0);
    EXPECT_EQ(m_script.locals[9], 6);
    EXPECT_EQ(g_play_state.game_flags[300], 0);

    bind("images 20\naction 2\n SCRIPT_OP_YIELD\naction 3\n call FUNCID_WAIT 2\n op 20\n");
    EXPECT_EQ(thrown_text([this] { m_script.EvalDuration(); }),
              e_fail_text("Undefined instruction [20]", ANI_SCRIPT_LINE_EVAL_OPCODE));
    bind("images 20\naction 2\n call FUNCID_WAIT 2\n");
    EXPECT_EQ(m_script.EvalDuration(), 0) << "no action 3";
}

// ---- Frames
// ------------------------------------------------------------------------------------------------

TEST_F(AniScriptTest, UpdateTexturesDecodesOnlyWhenTheShownFrameChanges)
{
    bind("images 20\naction 2\n call FUNCID_SET_ANIM 0 1\n SCRIPT_OP_YIELD\n");
    m_script.Step(nullptr);
    m_script.direction = 3;
    m_script.UpdateTextures();
    const AniFrameTexture& texture = m_script.textures[0];
    EXPECT_EQ(texel(texture, 3, 1), frame_colour(0, 3, 1));
    EXPECT_EQ(m_script.shown_archive, k_images);
    EXPECT_EQ(m_script.shown_key, 0);
    EXPECT_EQ(m_script.shown_direction, 3);
    EXPECT_EQ(m_script.shown_frame, 1);
    EXPECT_EQ(m_script.refresh, 0);

    set_texel(texture, 3, 1, 0x12345678);
    m_script.UpdateTextures();
    EXPECT_EQ(texel(texture, 3, 1), 0x12345678u) << "unchanged: not decoded again";
    m_script.refresh = 1;
    m_script.UpdateTextures();
    EXPECT_EQ(texel(texture, 3, 1), frame_colour(0, 3, 1));

    m_script.frame = 2;
    m_script.UpdateTextures();
    EXPECT_EQ(texel(texture, 3, 1), 0u) << "the last rectangle was cleared";
    EXPECT_EQ(texel(texture, 3, 2), frame_colour(0, 3, 2));

    m_script.override_key = static_cast<std::int32_t>(k_wide_key);
    m_script.override_frame = 0;
    m_script.direction = 12;
    m_script.UpdateTextures();
    EXPECT_EQ(texel(texture, 12, 0), frame_colour(k_wide_key, 12, 0)) << "the override is shown";
    EXPECT_EQ(texel(texture, 3, 2), 0u);

    m_script.override_key = -1;
    m_script.image_archive = k_other_images;
    m_script.UpdateTextures();
    EXPECT_EQ(m_script.shown_archive, k_other_images) << "another archive is a change";
}

TEST_F(AniScriptTest, TheDirectionOffsetMovesTheDecodeButNotTheQuad)
{
    bind("images 20\naction 2\n call FUNCID_SET_ANIM 0 1\n call FUNCID_DIR_OFFSET 2\n SCRIPT_OP_YIELD\n");
    m_script.Step(nullptr);
    m_script.direction = 3;
    m_script.UpdateTextures();
    EXPECT_EQ(texel(m_script.textures[0], 5, 1), frame_colour(0, 5, 1));
    EXPECT_EQ(texel(m_script.textures[0], 3, 1), 0u);
    EXPECT_EQ(m_script.shown_direction, 5);

    QuadVertex quad[4];
    m_script.BuildQuad(quad, 0.0f, 0, 0, 0, 1.0f);
    const float g = k_scale * 0.03125f;
    EXPECT_FLOAT_EQ(quad[0].x, frame_left(3) * g);
    EXPECT_FLOAT_EQ(m_script.FrameOffsetY(), frame_height(3, 1));
}

TEST_F(AniScriptTest, TheSecondLayerDecodesIntoLayer1WhenTheFrameHasOne)
{
    bind("images 21\naction 2\n SCRIPT_OP_YIELD\n");
    m_script.Step(nullptr);
    m_script.UpdateTextures();
    EXPECT_EQ(m_script.second_layer_shown, 1);
    EXPECT_EQ(texel(m_script.textures[0], 0, 0), frame_colour(0, 0, 0));
    EXPECT_EQ(texel(m_script.textures[1], 1, 1), 0xFF00FF00u);
    m_script.frame = 1;
    m_script.UpdateTextures();
    EXPECT_EQ(m_script.second_layer_shown, 0);
    EXPECT_EQ(texel(m_script.textures[0], 1, 0), frame_colour(0, 0, 1));
    EXPECT_EQ(texel(m_script.textures[1], 1, 1), 0xFF00FF00u) << "layer 1 is left as it was";
}

TEST_F(AniScriptTest, AFailedLockLeavesTheTextureAsItWas)
{
    bind("images 20\naction 2\n SCRIPT_OP_YIELD\n");
    m_script.UpdateTextures();
    ASSERT_EQ(texel(m_script.textures[0], 0, 0), frame_colour(0, 0, 0));
    m_script.frame = 1;
    d3d8_seam_fail(D3D8Call::Lock, D3DERR_INVALIDCALL);
    m_script.UpdateTextures();
    EXPECT_EQ(texel(m_script.textures[0], 0, 0), frame_colour(0, 0, 0));
    EXPECT_EQ(texel(m_script.textures[0], 0, 1), 0u);
}

TEST_F(AniScriptTest, BuildQuadSpansTheCanvasFromTheFramesHotSpot)
{
    bind("images 20\naction 2\n call FUNCID_SET_ANIM 0 1\n call FUNCID_OFFSET_Y 1.5\n SCRIPT_OP_YIELD\n");
    m_script.Step(nullptr);
    const struct {
        std::int32_t direction;
        float tilt, size;
    } cases[] = {{3, 0.5f, 1.5f}, {0, 0.0f, 1.0f}, {7, -0.25f, 2.0f}, {9, 1.0f, 1.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.direction);
        m_script.direction = c.direction;
        QuadVertex quad[4];
        m_script.BuildQuad(quad, c.tilt, 0x11223344, 0x55667788, 0, c.size);
        const std::uint32_t d = static_cast<std::uint32_t>(c.direction) % 8; // direction 9 of 8 shows 1
        const float g = k_scale * c.size * 0.03125f;
        const float L = frame_left(d), T = frame_top(1), Z = frame_depth(d), W = k_width, H = k_height;
        const float left = L * g, right = L * g + W * g, top = T * g, bottom = T * g - H * g;
        const float z_top = (Z + c.tilt * H) * g, z_bottom = (Z - (H - T) * c.tilt) * g;
        const float expected[4][5] = {{left, top, z_top, 0, 0},
                                      {right, top, z_top, 1, 0},
                                      {left, bottom, z_bottom, 0, 1},
                                      {right, bottom, z_bottom, 1, 1}};
        for (int i = 0; i < 4; ++i) {
            EXPECT_FLOAT_EQ(quad[i].x, expected[i][0]) << i;
            EXPECT_FLOAT_EQ(quad[i].y, expected[i][1]) << i;
            EXPECT_FLOAT_EQ(quad[i].z, expected[i][2]) << i;
            EXPECT_EQ(quad[i].u, expected[i][3]) << i;
            EXPECT_EQ(quad[i].v, expected[i][4]) << i;
            EXPECT_EQ(quad[i].diffuse, 0x11223344u);
            EXPECT_EQ(quad[i].specular, 0x55667788u);
        }
        EXPECT_FLOAT_EQ(m_script.FrameOffsetY(), frame_height(d, 1) + 1.5f);
    }
    // The archive's own scale, when FUNCID_SET_IMAGES chose another archive.
    m_script.direction = 0;
    m_script.image_archive = k_other_images;
    QuadVertex quad[4];
    m_script.BuildQuad(quad, 0.0f, 0, 0, 0, 1.0f);
    EXPECT_FLOAT_EQ(quad[1].x - quad[0].x, k_width * 0.5f * 0.03125f);
}

TEST_F(AniScriptTest, SetFacingPicksTheDirectionAroundTheCamera)
{
    bind("images 20\naction 2\n SCRIPT_OP_YIELD\n");
    constexpr float pi = std::numbers::pi_v<float>;
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float yaw, angle;
        std::uint32_t key; // 0: 8 directions, 5: 16
        std::int32_t direction;
    } cases[] = {
        {0, 0, 0, 0},        {0, pi / 4, 0, 1},         {0, -pi / 4, 0, 7}, {0, pi, 0, 4},
        {0, 0.38f, 0, 0},    {0, 0.41f, 0, 1},          {pi / 2, 0, 0, 2},  {pi / 2, -pi / 2, 0, 0},
        {0, 3 * pi, 0, 4},   {0, -2 * pi - 0.5f, 0, 0}, // a turn back truncates toward zero
        {0, 0, 5, 0},        {0, pi / 8, 5, 1},         {0, 0.19f, 5, 0},   {0, 0.20f, 5, 1},
        {0, -pi / 8, 5, 15}, {pi / 2, 0, 5, 4},         {0, nan, 0, 0},     {0, nan, 5, 0},
        {0, 1e30f, 0, 7},    {0, 1e30f, 5, 15},         {0, -1e30f, 0, 0},  {0, -1e30f, 5, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "yaw " << c.yaw << " angle " << c.angle << " key " << c.key);
        g_camera_heading = c.yaw;
        m_script.anim_key = static_cast<std::int32_t>(c.key);
        m_script.direction = -1;
        m_script.SetFacing(c.angle);
        EXPECT_EQ(m_script.direction, c.direction);
    }
    // The override's entry decides the count.
    g_camera_heading = 0;
    m_script.anim_key = 0;
    m_script.override_key = static_cast<std::int32_t>(k_wide_key);
    m_script.SetFacing(3 * pi / 8);
    EXPECT_EQ(m_script.direction, 3) << "8 directions would give 2";
}

TEST_F(AniScriptOwned, AFramePixelMapsOntoTheBillboardInTheWorld)
{
    D3DXVECTOR3 out(9, 9, 9);
    EXPECT_FALSE(ani_frame_point_to_world(nullptr, out, 0, 0, 0, D3DXMATRIX()));
    EXPECT_TRUE(out == D3DXVECTOR3(9, 9, 9));

    AniScript& script = m_actor->script;
    mount({script_file(k_set, "images 20\naction 2\n SCRIPT_OP_YIELD\n")});
    ASSERT_EQ(script.Bind(k_set), S_OK);
    script.direction = 2;
    D3DXMatrixTranslation(&m_actor->billboard_matrix, 10, 20, 30);
    g_camera_state.direction = D3DXVECTOR3(0, 0, -1);
    D3DXMATRIX transform;
    D3DXMatrixIdentity(&transform);
    transform.m[3][3] = 2; // w = 2: the point is halved

    const float g = k_scale * 0.03125f;
    const float left = frame_left(2) * g, top = frame_top(0) * g, z = frame_depth(2) * g;
    const struct {
        float x, y;
        D3DXVECTOR3 expected;
    } cases[] = {
        {0, 0, {left, top, z}},
        {k_width, k_height, {left + k_width * g, top - k_height * g, z}},
        {4, 2, {left + 4 * g, top - 2 * g, z}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(ani_frame_point_to_world(m_actor, out, c.x, c.y, 0.25f, transform));
        const D3DXVECTOR3 world = c.expected + D3DXVECTOR3(10, 20, 30 - 0.25f);
        EXPECT_FLOAT_EQ(out.x, world.x / 2) << c.x;
        EXPECT_FLOAT_EQ(out.y, world.y / 2) << c.y;
        EXPECT_FLOAT_EQ(out.z, world.z / 2);
    }
}

// The demo's hero binds its set, starts standing, runs every action it has, and every archive that
// scene entry preloads decodes its first frame.
TEST_F(AniScriptTest, TheDemoHeroRunsItsActionsAndItsArchivesDecode)
{
    mount(demo_sprite_files());
    ASSERT_EQ(m_script.Bind(DEMO_HERO_SCRIPT_SET), S_OK);
    EXPECT_EQ(m_script.current_action, 2) << "a bound set starts with its standing action";
    EXPECT_EQ(m_script.image_archive, DEMO_HERO_IMAGES);
    const struct {
        std::int32_t action;
        std::int32_t key;   // the animation the action shows first
        std::int32_t later; // the action 40 ticks on: the jump lands and stands again
    } actions[] = {{0, 1, 0}, {1, 2, 1}, {2, 0, 2}, {3, 3, 2}, {5, 3, 5}};
    for (const auto& a : actions) {
        m_script.SetAction(a.action);
        for (int tick = 0; tick < 40; ++tick)
            m_script.Step(nullptr);
        EXPECT_EQ(m_script.current_action, a.later) << a.action;
        m_script.SetAction(a.action);
        m_script.Step(nullptr);
        EXPECT_EQ(m_script.anim_key, a.key) << a.action;
        m_script.UpdateTextures();
        EXPECT_NE(m_script.textures[0].x1, m_script.textures[0].x0) << "a frame was decoded";
    }
    EXPECT_EQ(m_script.mark, 1) << "the defeat reaches its mark and stays down";

    for (int archive = DEMO_FIRST_PRELOADED_IMAGES; archive <= DEMO_LAST_PRELOADED_IMAGES; ++archive) {
        const AniImageSet& images = ani_dat_get_images(archive);
        AniFrameTexture texture{};
        ASSERT_EQ(ani_texture_create(texture, images.header->canvas_width, images.header->canvas_height,
                                     images.header->scale, ani_texture_format()),
                  S_OK);
        const AniFrame& frame = images.frames[ani_dat_frame_index(images, 0, 0, 0)];
        EXPECT_EQ(ani_texture_upload_frame(texture, ani_dat_palette(images, frame.palette),
                                           ani_dat_frame_rle(images, frame), frame),
                  S_OK);
        EXPECT_GT(texture.x1 - texture.x0, 0) << archive;
        ani_texture_release(texture);
    }
}

} // namespace
