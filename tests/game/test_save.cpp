#include "game/g_save.h"

#include "core/errors.h"
#include "core/ini.h"
#include "core/maths.h"
#include "core/userdir.h"
#include "game/g_fade.h"
#include "game/g_play_state.h"
#include "game/g_rules.h"
#include "game/g_scene.h"
#include "game_font_fixture.h"
#include "lib/save_writer.h"
#include "object/actor/go_actor.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wnddialog.h"
#include "platform/impl/gdi_font_seams.h"
#include "platform/impl/steam_api_seams.h"
#include "platform/impl/test_seams.h"
#include "platform/steam_api.h"
#include "scene_fixture.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <span>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* k_slot = "kro_03.nacci";
constexpr int k_any_flag = 400; // a game flag no entry touches
constexpr std::size_t k_body = sizeof(SaveHeader);
constexpr SYSTEMTIME k_now = {2026, 3, 3, 4, 5, 6, 7, 890};

std::vector<std::uint8_t> bytes_of(const PlayState& ps)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&ps);
    return {bytes, bytes + sizeof ps};
}

PlayState state_of(std::span<const std::uint8_t> bytes)
{
    PlayState ps;
    std::memcpy(&ps, bytes.data(), sizeof ps);
    return ps;
}

bool same_body(const PlayState& a, const PlayState& b)
{
    return std::memcmp(reinterpret_cast<const char*>(&a) + k_body, reinterpret_cast<const char*>(&b) + k_body,
                       sizeof a - k_body) == 0;
}

// A saved game as a load leaves it: the saved place handed on to the arrival, no element state.
PlayState as_loaded(const PlayState& saved)
{
    PlayState loaded = saved;
    std::fill(std::begin(loaded.saved_position), std::end(loaded.saved_position), 0.0f);
    loaded.saved_facing = 0.0f;
    loaded.status.status_element = STATUS_ELEMENT_NONE;
    return loaded;
}

enum class Storage { local, cloud };

std::string storage_name(const ::testing::TestParamInfo<Storage>& info)
{
    return info.param == Storage::local ? "Local" : "Cloud";
}

// Slots in the user folder under the scene tests' working folder, or in the cloud of a store of
// the test's own; the test scenes mounted, the game font for the notice, the generator seeded
// and the local time fixed.
class SaveSlots : public SceneTest, public ::testing::WithParamInterface<Storage> {
protected:
    void SetUp() override
    {
        seam_font_use_synthetic(true);
        SceneTest::SetUp();
        if (HasFatalFailure()) return;
        game_font_start();
        mount(scene_test_set());
        m_saved_profile_here = g_user_profile_here;
        g_user_profile_here = 1;
        seam_set_store_folder(m_store.host());
        ASSERT_TRUE(SteamAPI_Init());
        g_remote_storage = SteamRemoteStorage();
        if (GetParam() == Storage::cloud) {
            ASSERT_TRUE(seam_set_cloud_enabled_for_account(true));
            g_remote_storage->SetCloudEnabledForApp(true);
        }
        seam_set_local_time(&k_now);
        math_rand_seed();
        std::memset(g_save_location, 0, sizeof g_save_location);
    }
    void TearDown() override
    {
        obj_destroy_all();
        game_font_stop();
        seam_set_local_time(nullptr);
        g_remote_storage = nullptr;
        SteamAPI_Shutdown();
        seam_set_store_folder("");
        g_user_profile_here = m_saved_profile_here;
        SceneTest::TearDown();
        seam_font_use_synthetic(false);
    }

    bool Cloud() const { return GetParam() == Storage::cloud; }
    fs::path Local(const char* name) const
    {
        char folder[MAX_PATH];
        sys_user_folder(folder);
        std::string relative(folder);
        std::replace(relative.begin(), relative.end(), '\\', '/');
        return m_work.path() / relative / name;
    }
    void Put(const std::vector<std::uint8_t>& bytes, const char* name = k_slot) const
    {
        if (Cloud()) {
            ASSERT_TRUE(
                g_remote_storage->FileWrite(name, bytes.data(), static_cast<std::int32_t>(bytes.size())));
            return;
        }
        fs::create_directories(Local(name).parent_path());
        write_host_file(Local(name), std::string(bytes.begin(), bytes.end()));
    }
    std::vector<std::uint8_t> Get(const char* name = k_slot) const
    {
        if (!Cloud()) {
            const std::string text = read_host_file(Local(name));
            return {text.begin(), text.end()};
        }
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(g_remote_storage->GetFileSize(name)));
        g_remote_storage->FileRead(name, bytes.data(), static_cast<std::int32_t>(bytes.size()));
        return bytes;
    }
    // Where the other storage would have put it: a slot goes to one place only.
    bool InOtherStorage(const char* name = k_slot) const
    {
        return Cloud() ? fs::exists(Local(name)) : g_remote_storage->FileExists(name);
    }

    // A game in progress in the test room, with values in every summary field, in the body and
    // in the saved position.
    static PlayState game_in_progress()
    {
        play_state_init();
        PlayState ps = g_play_state;
        ps.scene_id = SCENE_TEST_ROOM;
        ps.status.level = 17;
        ps.status.max_hp = 50.0f;
        ps.status.hp = 10.0f;
        ps.status.max_mp = 3000.0f;
        ps.status.mp = 1200.0f;
        ps.status.exp = 4321.75f;
        ps.status.gold = 65432;
        ps.status.status_element = 2;
        ps.game_flags[GF_DIFFICULTY] = 2;
        ps.game_flags[GF_EASY] = 0;
        ps.game_flags[GF_VERY_EASY] = 1;
        ps.game_flags[GF_INFERNO] = 0;
        ps.game_flags[GF_PLAY_FRAMES] = 216'000;
        ps.game_flags[GF_ENTRY_VALUE] = 3;
        ps.game_flags[k_any_flag] = 77;
        ps.saved_position[0] = 4.0f;
        ps.saved_position[1] = 0.0f;
        ps.saved_position[2] = -6.0f;
        ps.saved_facing = 0.5f;
        ps.topics[5].known = 1;
        return ps;
    }
    static std::vector<std::uint8_t> tool_slot(const PlayState& ps, SaveSlotSeeds seeds = {},
                                               std::uint32_t version = 1)
    {
        return save_slot_bytes(bytes_of(ps), {.location = "Old Mill"}, seeds, version);
    }
    // A live game other than any slot's, to see that a failed load leaves it alone.
    static void play_something_else()
    {
        play_state_init();
        g_play_state.scene_id = SCENE_TEST_CHAIN;
        g_play_state.status.gold = 12;
        g_play_state.game_flags[k_any_flag] = 5;
        g_play_state.saved_position[0] = 9.0f;
    }

    static GoWndDialog* only_dialog()
    {
        return g_pool_wnddialog.count == 1 ? static_cast<GoWndDialog*>(g_pool_wnddialog.active[0]) : nullptr;
    }
    static void expect_corrupt_notice()
    {
        const GoWndDialog* dialog = only_dialog();
        ASSERT_NE(dialog, nullptr) << "one notice";
        EXPECT_STREQ(dialog->items[0].label, "Data is corrupt.");
        ASSERT_EQ(dialog->count, 2);
        EXPECT_STREQ(dialog->items[1].label, "OK");
        EXPECT_EQ(dialog->items[1].callback, &noop_callback);
        EXPECT_EQ(dialog->position.x, 320.0f);
        EXPECT_EQ(dialog->position.y, 236.0f);
        EXPECT_EQ(dialog->active, 1);
    }
    // A refused load: its result, the notice, and the live game and the fade untouched.
    void expect_refused(HRESULT expected)
    {
        obj_destroy_all();
        play_something_else();
        const PlayState before = g_play_state;
        g_fade = {};
        g_scene_change_busy = 0; // a load earlier in the test set it
        EXPECT_EQ(save_load(k_slot), expected);
        EXPECT_EQ(std::memcmp(&g_play_state, &before, sizeof before), 0)
            << "the live game is kept byte for byte";
        EXPECT_EQ(g_fade.pending_scene, 0);
        EXPECT_EQ(g_fade.target, 0.0f);
        EXPECT_EQ(g_scene_change_busy, 0);
        expect_corrupt_notice();
    }

    TempFolder m_store;
    std::uint8_t m_saved_profile_here = 0;
};

INSTANTIATE_TEST_SUITE_P(Storage, SaveSlots, ::testing::Values(Storage::local, Storage::cloud), storage_name);
class LocalSaveSlots : public SaveSlots {};
INSTANTIATE_TEST_SUITE_P(Storage, LocalSaveSlots, ::testing::Values(Storage::local), storage_name);
class CloudSaveSlots : public SaveSlots {};
INSTANTIATE_TEST_SUITE_P(Storage, CloudSaveSlots, ::testing::Values(Storage::cloud), storage_name);

TEST(SaveFileName, IsTheSlotNumberInTwoDigits)
{
    char name[SAVE_FILE_NAME_SIZE];
    save_file_name(7, name);
    EXPECT_STREQ(name, "kro_07.nacci");
    save_file_name(63, name);
    EXPECT_STREQ(name, "kro_63.nacci");
}

// A slot the tools wrote from a game's state becomes the play state, its saved place handed to
// the covered fade as the "load" arrival; the transition then enters the slot's scene there and
// keeps a retry snapshot of the loaded game.
TEST_P(SaveSlots, ASlotWrittenByTheToolsLoadsAndEntersItsScene)
{
    const PlayState saved = game_in_progress();
    Put(tool_slot(saved));
    play_something_else();
    g_no_fall = 2;

    ASSERT_EQ(save_load(k_slot), 0);
    PlayState& ps = g_play_state;
    EXPECT_TRUE(same_body(ps, as_loaded(saved)));
    const SaveHeader& header = ps.save_header;
    for (std::uint32_t word : {header.version, header.total_size, header.header_crc, header.header_seed,
                               header.body_seed, header.body_crc, header.zero_word})
        EXPECT_EQ(word, 0u);
    EXPECT_EQ(std::string(header.magic, 4), std::string(4, '\0'));
    EXPECT_STREQ(header.summary.location, "Old Mill");

    EXPECT_EQ(g_fade.value, 1.0f);
    EXPECT_EQ(g_fade.target, 1.0f);
    EXPECT_EQ(g_fade.pending_scene, SCENE_TEST_ROOM);
    const ArrivalRecord& arrival = g_fade.arrival;
    EXPECT_EQ(arrival.position[0], 4.0f);
    EXPECT_EQ(arrival.position[1], 0.0f);
    EXPECT_EQ(arrival.position[2], -6.0f);
    EXPECT_EQ(arrival.facing, 0.5f);
    EXPECT_EQ(arrival.entry_value, 3);
    EXPECT_STREQ(arrival.tag, "load");
    EXPECT_EQ(g_scene_change_busy, 1);
    EXPECT_EQ(g_no_fall, 0) << "a No-Fall rescue under way ends";
    EXPECT_EQ(g_pool_wnddialog.count, 0);

    for (int i = 0; i < 4 && g_fade.pending_scene != 0; ++i)
        fade_update();
    ASSERT_EQ(g_fade.pending_scene, 0) << "the covered fade requests the scene";
    game_scene_step();
    EXPECT_EQ(ps.scene_id, SCENE_TEST_ROOM);
    EXPECT_EQ(ps.game_flags[GF_ENTRY_VALUE], 3);
    ASSERT_NE(g_player, nullptr);
    EXPECT_EQ(g_player->world._41, 4.0f);
    EXPECT_EQ(g_player->world._43, -6.0f);

    PlayState snapshot_expected = ps;
    snapshot_expected.requested_scene_id = SCENE_TEST_ROOM;
    ps.game_flags[k_any_flag] = 0;
    play_restore_retry_snapshot();
    EXPECT_EQ(std::memcmp(&ps, &snapshot_expected, sizeof ps), 0) << "the retry snapshot is the loaded game";
    EXPECT_EQ(ps.game_flags[k_any_flag], 77);
}

// The command line's description: its fields reach the slot list and the play state.
TEST_P(SaveSlots, ADescribedSlotShowsAndLoadsItsFields)
{
    const SaveSlotDescription description{.level = 12,
                                          .hp = 80.0f,
                                          .max_hp = 120.0f,
                                          .gold = 4500,
                                          .difficulty = 1,
                                          .easy = true,
                                          .play_ticks = 487'800,
                                          .scene_id = SCENE_TEST_ROOM};
    Put(save_slot_bytes(save_play_state_image(description), {"12/31/2025", "23:59:58", "Demo Room"}));

    SaveSummary summary;
    ASSERT_EQ(save_read_header(k_slot, summary), 1);
    EXPECT_EQ(summary.status, 1);
    EXPECT_EQ(summary.level, 12);
    EXPECT_EQ(summary.hp, 80);
    EXPECT_EQ(summary.max_hp, 120);
    EXPECT_EQ(summary.gold, 4500);
    EXPECT_EQ(summary.difficulty, 1);
    EXPECT_EQ(summary.easy, 1);
    EXPECT_EQ(summary.very_easy, 0);
    EXPECT_EQ(summary.inferno, 0);
    EXPECT_EQ(summary.play_ticks, 487'800);
    EXPECT_STREQ(summary.date, "12/31/2025");
    EXPECT_STREQ(summary.time, "23:59:58");
    EXPECT_STREQ(summary.location, "Demo Room");

    ASSERT_EQ(save_load(k_slot), 0);
    const PlayState& ps = g_play_state;
    EXPECT_EQ(ps.scene_id, SCENE_TEST_ROOM);
    EXPECT_EQ(ps.status.level, 12);
    EXPECT_EQ(ps.status.hp, 80.0f);
    EXPECT_EQ(ps.status.max_hp, 120.0f);
    EXPECT_EQ(ps.status.gold, 4500);
    EXPECT_EQ(ps.game_flags[GF_DIFFICULTY], 1);
    EXPECT_EQ(ps.game_flags[GF_EASY], 1);
    EXPECT_EQ(ps.game_flags[GF_PLAY_FRAMES], 487'800);
    EXPECT_EQ(ps.ring_slots[0], PLAY_SLOT_EMPTY);
    EXPECT_EQ(ps.item_list[0], PLAY_SLOT_EMPTY);
    EXPECT_EQ(ps.selected_magic, PLAY_NO_MAGIC);
}

// The game's own slot: in one place only, readable by the tools, shown by the slot list with
// the clock's stamp and the scripts' place, and loaded back. Saving fills hit and magic points.
TEST_P(SaveSlots, ASlotWrittenByTheGameReadsBack)
{
    g_play_state = game_in_progress();
    std::strcpy(g_save_location, "Sunken Library");
    ASSERT_EQ(save_write(k_slot), 0);
    EXPECT_EQ(g_play_state.status.hp, 50.0f) << "the live game keeps the full hit points";
    EXPECT_EQ(g_play_state.status.mp, 3000.0f);
    const PlayState written = g_play_state;
    const std::vector<std::uint8_t> file = Get();
    ASSERT_EQ(file.size(), PLAY_STATE_SIZE);
    EXPECT_FALSE(InOtherStorage());
    EXPECT_EQ(std::string(file.begin() + 32, file.begin() + 48), "KRO_WIN SAVEDATA");

    std::vector<std::uint8_t> image;
    ASSERT_TRUE(save_slot_restore(file, image)) << "both CRCs hold for an independent reader";
    EXPECT_TRUE(same_body(state_of(image), written));
    const SaveSummary& stored = state_of(image).save_header.summary;
    EXPECT_EQ(stored.difficulty, 3) << "stored plus one";
    EXPECT_EQ(stored.hp, 50);
    EXPECT_EQ(std::memcmp(stored.reserved_36, written.save_header.summary.reserved_36, 4), 0);

    SaveSummary summary;
    ASSERT_EQ(save_read_header(k_slot, summary), 1);
    EXPECT_EQ(summary.level, 17);
    EXPECT_EQ(summary.hp, 50);
    EXPECT_EQ(summary.max_hp, 50);
    EXPECT_EQ(summary.mp, 3000);
    EXPECT_EQ(summary.max_mp, 3000);
    EXPECT_EQ(summary.exp, 4321);
    EXPECT_EQ(summary.gold, 65432);
    EXPECT_EQ(summary.difficulty, 2) << "shown as it is played";
    EXPECT_EQ(summary.very_easy, 1);
    EXPECT_EQ(summary.play_ticks, 216'000);
    EXPECT_STREQ(summary.date, "03/04/2026");
    EXPECT_STREQ(summary.time, "05:06:07");
    EXPECT_STREQ(summary.location, "Sunken Library");

    play_something_else();
    ASSERT_EQ(save_load(k_slot), 0);
    EXPECT_TRUE(same_body(g_play_state, as_loaded(written)));
    EXPECT_EQ(g_play_state.status.hp, 50.0f);

    g_play_state = game_in_progress();
    math_rand_seed();
    ASSERT_EQ(save_write(k_slot), 0);
    const std::vector<std::uint8_t> again = Get();
    g_play_state = game_in_progress();
    math_rand_seed();
    ASSERT_EQ(save_write(k_slot), 0);
    EXPECT_EQ(Get(), again) << "a seeded generator and a fixed clock write the same slot";
}

// The header check covers bytes 48-95 only: damage after it passes the slot list, and the load
// catches it when it reaches the body's CRC or the body.
TEST_P(SaveSlots, DamageIsCaughtWhereTheChecksReach)
{
    const std::vector<std::uint8_t> good = tool_slot(game_in_progress());
    const struct {
        std::size_t offset;
        std::int32_t header_status;
        HRESULT load;
    } cases[] = {
        {0, ERR_UNMATCHED_VERSION, ERR_UNMATCHED_VERSION},
        {8, ERR_UNMATCHED_VERSION, ERR_UNMATCHED_VERSION},
        {60, ERR_BROKEN_DATA, ERR_BROKEN_DATA},
        {95, ERR_BROKEN_DATA, ERR_BROKEN_DATA},
        {96, 1, 0},
        {150, 1, 0},
        {176, 1, ERR_BROKEN_DATA},
        {179, 1, ERR_BROKEN_DATA},
        {187, 1, 0},
        {3000, 1, ERR_BROKEN_DATA},
        {7207, 1, ERR_BROKEN_DATA},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        std::vector<std::uint8_t> damaged = good;
        damaged[c.offset] ^= 0x41;
        Put(damaged);
        SaveSummary summary;
        EXPECT_EQ(save_read_header(k_slot, summary), c.header_status);
        EXPECT_EQ(summary.status, c.header_status);
        if (c.load == 0) {
            obj_destroy_all();
            EXPECT_EQ(save_load(k_slot), 0);
            EXPECT_EQ(g_pool_wnddialog.count, 0);
        } else {
            expect_refused(c.load);
        }
    }
}

TEST_P(SaveSlots, TheSlotListSaysWhyASlotCannotBeShown)
{
    const std::vector<std::uint8_t> good = tool_slot(game_in_progress());
    const struct {
        const char* name;
        bool present;
        std::vector<std::uint8_t> file;
        std::int32_t status;
        const char* text;
    } cases[] = {
        {"missing", false, {}, 0, "File doesn't exist."},
        {"version 2", true, tool_slot(game_in_progress(), {}, 2), ERR_UNMATCHED_VERSION, "Version mismatch."},
        {"187 bytes", true, {good.begin(), good.begin() + 187}, ERR_BROKEN_DATA, "File is corrupted."},
        {"empty", true, {}, ERR_BROKEN_DATA, "File is corrupted."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        save_delete(k_slot);
        if (c.present) Put(c.file);
        SaveSummary summary;
        std::memset(&summary, 0x5A, sizeof summary);
        EXPECT_EQ(save_read_header(k_slot, summary), c.status);
        EXPECT_EQ(summary.status, c.status);
        EXPECT_STREQ(summary.location, c.text);
        EXPECT_EQ(summary.level, 0) << "nothing else is shown";
    }
}

// Without a fixed clock the stamp is the local time of the moment of saving.
TEST_P(LocalSaveSlots, TheStampIsTheLocalTimeOfSaving)
{
    const auto clock_text = [](const char* format) {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char text[16];
        std::strftime(text, sizeof text, format, &local);
        return std::string(text);
    };
    seam_set_local_time(nullptr);
    g_play_state = game_in_progress();
    const std::string date_before = clock_text("%m/%d/%Y"), time_before = clock_text("%H:%M:%S");
    ASSERT_EQ(save_write(k_slot), 0);
    const std::string date_after = clock_text("%m/%d/%Y"), time_after = clock_text("%H:%M:%S");

    SaveSummary summary;
    ASSERT_EQ(save_read_header(k_slot, summary), 1);
    if (date_before != date_after) GTEST_SKIP() << "saved as the day changed";
    EXPECT_EQ(summary.date, date_before);
    EXPECT_LE(time_before, summary.time);
    EXPECT_GE(time_after, summary.time);
}

// Texts that fill their fields are cut by a byte rather than run on into the next field.
TEST_P(SaveSlots, TextsThatFillTheirFieldsAreCutForTheList)
{
    Put(save_slot_bytes(bytes_of(game_in_progress()), {"1234567890AB", "123456789", std::string(48, 'L')}));
    SaveSummary summary;
    ASSERT_EQ(save_read_header(k_slot, summary), 1);
    EXPECT_STREQ(summary.date, "1234567890");
    EXPECT_STREQ(summary.time, "12345678");
    EXPECT_EQ(std::string(summary.location), std::string(47, 'L'));
}

// The list shows the gold as saved; the load cuts it back only between the cap and its limit.
TEST_P(SaveSlots, GoldAboveTheCapIsCutBackUpToItsLimit)
{
    const struct {
        std::int32_t saved;
        std::int32_t loaded;
    } cases[] = {{999'999, 999'999},   {1'000'000, 999'999},     {1'200'000, 999'999},
                 {9'999'999, 999'999}, {10'000'000, 10'000'000}, {12'000'000, 12'000'000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.saved);
        PlayState ps = game_in_progress();
        ps.status.gold = c.saved;
        Put(tool_slot(ps));
        SaveSummary summary;
        ASSERT_EQ(save_read_header(k_slot, summary), 1);
        EXPECT_EQ(summary.gold, c.saved) << "the list shows the gold as saved";
        ASSERT_EQ(save_load(k_slot), 0);
        EXPECT_EQ(g_play_state.status.gold, c.loaded);
    }
}

TEST_P(SaveSlots, FailedLoadsKeepTheLiveGameAndShowTheNotice)
{
    PlayState in_no_scene = game_in_progress();
    in_no_scene.scene_id = 0;
    PlayState past_the_list = game_in_progress();
    past_the_list.scene_id = 999;
    const struct {
        const char* name;
        std::vector<std::uint8_t> file; // empty: none
        HRESULT result;
    } cases[] = {
        {"missing", {}, ERR_OPEN_FILE},
        {"version 2", tool_slot(game_in_progress(), {}, 2), ERR_UNMATCHED_VERSION},
        {"scene 0", tool_slot(in_no_scene), ERR_BROKEN_DATA},
        {"scene past the list", tool_slot(past_the_list), ERR_BROKEN_DATA},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        save_delete(k_slot);
        if (!c.file.empty()) Put(c.file);
        expect_refused(c.result);
    }
}

// With both dialogs taken the notice cannot show; the load is refused all the same.
TEST_P(LocalSaveSlots, AFullDialogPoolShowsNoNoticeButTheLoadIsStillRefused)
{
    play_something_else();
    while (obj_create<GoWndDialog>(g_pool_wnddialog)) {
    }
    const std::int32_t open = g_pool_wnddialog.count;
    const PlayState before = g_play_state;
    EXPECT_EQ(save_load(k_slot), ERR_OPEN_FILE);
    EXPECT_EQ(g_pool_wnddialog.count, open);
    EXPECT_EQ(std::memcmp(&g_play_state, &before, sizeof before), 0);
    EXPECT_EQ(g_fade.pending_scene, 0);
}

// A file longer than a slot is read no further than a slot; one cut short fails its checks.
TEST_P(SaveSlots, OnlyASlotsWorthIsRead)
{
    std::vector<std::uint8_t> file = tool_slot(game_in_progress());
    file.resize(file.size() + 5000, 0xEE);
    Put(file);
    EXPECT_EQ(save_load(k_slot), 0);

    file.resize(PLAY_STATE_SIZE - 1);
    Put(file);
    expect_refused(ERR_BROKEN_DATA);
}

TEST_P(SaveSlots, DeleteRemovesTheSlotAndSaysWhetherItDid)
{
    Put(tool_slot(game_in_progress()));
    EXPECT_TRUE(save_delete(k_slot));
    SaveSummary summary;
    EXPECT_EQ(save_read_header(k_slot, summary), 0);
    EXPECT_FALSE(save_delete(k_slot)) << "nothing left to delete";
}

// A write that fails leaves the slot that was there, and says so.
TEST_P(SaveSlots, AFailedWriteKeepsTheOldSlot)
{
    g_play_state = game_in_progress();
    ASSERT_EQ(save_write(k_slot), 0);
    const std::vector<std::uint8_t> old = Get();
    g_play_state.status.level = 18;
    if (Cloud()) {
        seam_set_store_writes_fail(true);
        EXPECT_EQ(save_write(k_slot), ERR_WRITE_FILE);
        seam_set_store_writes_fail(false);
    } else {
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        auto saved_handler = signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 1000;
        setrlimit(RLIMIT_FSIZE, &small);
        EXPECT_EQ(save_write(k_slot), ERR_WRITE_FILE);
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, saved_handler);
        EXPECT_EQ(folder_names(Local(k_slot).parent_path()), std::vector<std::string>{k_slot});
    }
    EXPECT_EQ(Get(), old);
    SaveSummary summary;
    ASSERT_EQ(save_read_header(k_slot, summary), 1);
    EXPECT_EQ(summary.level, 17);
}

TEST_P(LocalSaveSlots, AWriteWhoseFolderCannotBeMadeFailsToOpen)
{
    write_host_file(m_work.path() / "user", "a file where the folder belongs");
    g_play_state = game_in_progress();
    EXPECT_EQ(save_write(k_slot), ERR_OPEN_FILE);
}

// Remote storage's own failures: a delete that fails is reported, a read cut short is corrupt.
TEST_P(CloudSaveSlots, RemoteFailuresAreReported)
{
    Put(tool_slot(game_in_progress()));
    seam_set_remote_deletes_fail(true);
    EXPECT_FALSE(save_delete(k_slot));
    seam_set_remote_deletes_fail(false);
    EXPECT_TRUE(g_remote_storage->FileExists(k_slot));

    seam_set_remote_read_limit(100);
    SaveSummary summary;
    EXPECT_EQ(save_read_header(k_slot, summary), ERR_BROKEN_DATA);
    EXPECT_STREQ(summary.location, "File is corrupted.");
    expect_refused(ERR_BROKEN_DATA);
    seam_set_remote_read_limit(-1);
    obj_destroy_all();
    EXPECT_EQ(save_load(k_slot), 0);
}

} // namespace
