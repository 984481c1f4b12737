#include "object/wnd/go_wnddialog.h"

#include "core/errors.h"
#include "game/g_game.h"
#include "game/g_image_table.h"
#include "game/g_pointer.h"
#include "game/g_rules.h"
#include "game/g_settings.h"
#include "game/g_sound.h"
#include "game/game_font_fixture.h"
#include "game/input_records.h"
#include "game/sound_fixture.h"
#include "game/tick_fixture.h"
#include "lib/sound_table_writer.h"
#include "lib/wav_writer.h"
#include "lowlv/audio/audio_fixture.h"
#include "platform/impl/gdi_font_seams.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD k_now_ms = 1'000'000;
constexpr std::int32_t k_sound_decide = 0;
constexpr std::int32_t k_sound_cancel = 1;
constexpr std::int32_t k_sound_cursor = 3;
constexpr std::int32_t k_sound_typewriter = 12;
constexpr int k_image_skin = 9;
constexpr int k_image_cursor_bar = 11;
const D3DXVECTOR2 k_at(320.0f, 240.0f);

// What the choices' callbacks saw: which choice ran, in order.
std::vector<int> g_chosen;
template <int N> void choose(GoWndDialog&)
{
    g_chosen.push_back(N);
}

// Dialogs on the game tick's device, with the game font made from the synthetic font (single-byte
// glyphs advance 10 pixels, lines are 20 high), the sound table holding the windows' sounds 0, 1,
// 3 and 12 over the loopback audio device, and the frame clock fixed.
class DialogTest : public TickTest {
protected:
    static void SetUpTestSuite()
    {
        s_folder = std::make_unique<TempFolder>();
        std::vector<ArchiveSource> files = demo_shader_files(shader_file_names());
        const WavFormat mono{1, 22050, 16};
        SoundTableWriter table;
        for (std::uint32_t id : {k_sound_decide, k_sound_cancel, k_sound_cursor, k_sound_typewriter})
            table.Effect({.id = id, .name = "tick"});
        files.push_back({SOUND_EFFECT_TABLE_PATH, table.Bytes()});
        files.push_back({"data\\wave\\effect\\tick.wav", wav_build_pcm(mono, wav_tone(mono, 220, 440.0))});
        ASSERT_TRUE(archive_write_set(s_folder->path(), files, {}));
        vfs::Startup((s_folder->windows() + "\\").c_str());
    }

    void SetUp() override
    {
        seam_font_use_synthetic(true);
        TickTest::SetUp();
        seam_set_clock([] { return k_now_ms; });
        timer_frame();
        game_font_start();
        if (HasFatalFailure()) return;
        sound_effects_start(m_saved_play_effect);
        g_input_ring = {};
        g_pointer_in_use = g_pointer_moved = 0;
        g_last_dialog_label[0] = '\0';
        g_draw_frame = 0;
        g_chosen.clear();
    }

    void TearDown() override
    {
        obj_destroy_all();
        sound_effects_stop(m_saved_play_effect);
        game_font_stop();
        g_input_ring = {};
        g_pointer_in_use = g_pointer_moved = 0;
        TickTest::TearDown();
        seam_font_use_synthetic(false);
    }

    // The sounds played since the last call, in order; the audio thread then takes them.
    static std::vector<std::int32_t> sounds()
    {
        std::vector<std::int32_t> played;
        for (const AudioCommand& command : posted_commands()) {
            EXPECT_EQ(command.type, AUDIO_CMD_PLAY);
            EXPECT_EQ(command.param2, 1024);
            played.push_back(static_cast<std::int32_t>(command.target));
        }
        dsound_seam_advance_ms(AUDIO_THREAD_PERIOD_MS);
        audio_thread_pass();
        return played;
    }

    // A laid-out list of the choices under the title at k_at, activated unless told.
    static GoWndDialog& open(const char* title, std::vector<std::pair<const char*, DialogCallback>> choices,
                             bool activate = true)
    {
        GoWndDialog* dialog = obj_create<GoWndDialog>(g_pool_wnddialog);
        EXPECT_NE(dialog, nullptr);
        dialog->Setup(title, k_at, true);
        for (const auto& [label, callback] : choices)
            dialog->AddItem(label, callback);
        dialog->Layout();
        if (activate) dialog->Activate();
        return *dialog;
    }
    static GoWndDialog& open_three(const char* title = "", bool activate = true)
    {
        return open(title, {{"One", &choose<1>}, {"Two", &choose<2>}, {"Three", &choose<3>}}, activate);
    }

    // One whole tick of the dialog alone with this input, focused unless told.
    static void tick(GoWndDialog& dialog, const InputRecord& input = {}, bool focused = true)
    {
        current_record() = input;
        g_whole_tick = 1;
        dialog.focus = focused ? 1 : 0;
        dialog.Update();
    }

    // Whole ticks without input until the choices are shown; the sounds are taken.
    static void until_shown(GoWndDialog& dialog)
    {
        for (int i = 0; i < 200 && !dialog.title_shown; ++i)
            tick(dialog);
        ASSERT_TRUE(dialog.title_shown);
        sounds();
    }

    std::uint8_t m_saved_play_effect = 0;
};

// ---- Set-up and layout ------------------------------------------------------------------------------

TEST_F(DialogTest, ConstructionGivesTheDefaults)
{
    GoWndDialog* dialog = obj_create<GoWndDialog>(g_pool_wnddialog);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->GetClassCode(), GO_CLASS_WNDDIALOG);
    EXPECT_EQ(dialog->object_id >> 24, GO_CLASS_WNDDIALOG);
    EXPECT_EQ(dialog->count, 1);
    EXPECT_EQ(dialog->cursor, 1);
    EXPECT_EQ(dialog->cancel_item, -1);
    EXPECT_EQ(dialog->box_size.x, 192.0f);
    EXPECT_EQ(dialog->box_size.y, 64.0f);
    EXPECT_EQ(dialog->alpha, 0.0f);
    for (const TextSurface& surface : dialog->surfaces)
        EXPECT_EQ(surface.texture, nullptr);
}

// Each choice adds its line height and 4; the box is 32 wider than the widest entry and 8
// deeper; rows are centred, the title above the box and the choices 24 apart.
TEST_F(DialogTest, LayoutSizesTheBoxAndPlacesTheRows)
{
    GoWndDialog& dialog = open("Title", {{"Retry", nullptr}, {"Return to Title", nullptr}});
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(dialog.surfaces[i].texture, nullptr) << i;
    EXPECT_EQ(dialog.surfaces[3].texture, nullptr);
    EXPECT_EQ(dialog.surfaces[0].width, 256);
    EXPECT_EQ(dialog.surfaces[0].height, 32);

    TextRequest title{}, widest{};
    title.text = "Title";
    widest.text = "Return to Title";
    text_measure(dialog.surfaces[0], title);
    text_measure(dialog.surfaces[2], widest);
    EXPECT_EQ(title.counted, 5 << 16);
    EXPECT_EQ(dialog.reveal_end, 5 << 16);
    ASSERT_GT(widest.virtual_width, title.virtual_width);
    EXPECT_EQ(dialog.widest, static_cast<float>(widest.virtual_width));
    EXPECT_EQ(dialog.box_size.x, widest.virtual_width + 32.0f);
    EXPECT_EQ(dialog.box_size.y, 2.0f * (widest.virtual_height + 4.0f) + 8.0f);
    EXPECT_EQ(dialog.items[0].row_x, -0.5f * title.virtual_width);
    EXPECT_EQ(dialog.items[2].row_x, -0.5f * widest.virtual_width);
    EXPECT_EQ(dialog.items[0].row_y, -28.0f);
    EXPECT_EQ(dialog.items[1].row_y, 4.0f);
    EXPECT_EQ(dialog.items[2].row_y, 28.0f);

    GoWndDialog& untitled = open(nullptr, {{"Retry", nullptr}});
    EXPECT_EQ(untitled.reveal_end, 0x7FFF0000);
}

TEST_F(DialogTest, EntriesPastSeventeenAreIgnored)
{
    GoWndDialog* dialog = obj_create<GoWndDialog>(g_pool_wnddialog);
    dialog->Setup("T", k_at, false);
    for (int i = 0; i < 20; ++i)
        dialog->AddItem(i < 16 ? "row" : "late", &choose<9>);
    EXPECT_EQ(dialog->count, DIALOG_ITEMS);
    EXPECT_STREQ(dialog->items[16].label, "row");
}

TEST_F(DialogTest, ALabelLongerThanItsFieldIsCut)
{
    const std::string long_label(300, 'x');
    GoWndDialog& dialog = open(long_label.c_str(), {{long_label.c_str(), nullptr}});
    EXPECT_EQ(std::strlen(dialog.items[0].label), DIALOG_LABEL_SIZE - 1);
    EXPECT_EQ(std::strlen(dialog.items[1].label), DIALOG_LABEL_SIZE - 1);
}

TEST_F(DialogTest, ASurfaceThatCannotBeMadeIsFatalAtLine206)
{
    GoWndDialog* dialog = obj_create<GoWndDialog>(g_pool_wnddialog);
    dialog->Setup("Title", k_at, false);
    dialog->AddItem("Retry", nullptr);
    d3d8_seam_fail(D3D8Call::CreateTexture, D3DERR_OUTOFVIDEOMEMORY, 1);
    try {
        dialog->Layout();
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& error) {
        EXPECT_NE(std::strstr(error.text, "D3DERR_OUTOFVIDEOMEMORY"), nullptr) << error.text;
        EXPECT_NE(std::strstr(error.text, "\ngo_wnddialog(206)\n"), nullptr) << error.text;
    }
}

TEST_F(DialogTest, ActivationTakesTheFrameClockOnce)
{
    GoWndDialog& dialog = open_three("", false);
    EXPECT_EQ(dialog.active, 0);
    EXPECT_EQ(dialog.show_time, 0u);
    dialog.Activate();
    EXPECT_EQ(dialog.active, 1);
    EXPECT_EQ(dialog.show_time, k_now_ms);
    seam_set_clock([] { return k_now_ms + 500; });
    timer_frame();
    dialog.Activate();
    EXPECT_EQ(dialog.show_time, k_now_ms);
}

// ---- Update ---------------------------------------------------------------------------------------

// 0.075 a whole tick: 14 ticks to 1.0; nothing else happens meanwhile, and the input is used up.
TEST_F(DialogTest, FadesInBeforeItTakesInput)
{
    GoWndDialog& dialog = open_three();
    for (int i = 1; i <= 13; ++i) {
        tick(dialog, keys(INPUT_DECIDE, INPUT_DECIDE, 1));
        EXPECT_NEAR(dialog.alpha, 0.075f * i, 1e-5f);
        EXPECT_EQ(current_record().held, 0u);
        EXPECT_EQ(current_record().pressed, 0u);
        EXPECT_EQ(current_record().step_y, 0);
    }
    EXPECT_EQ(dialog.armed, 0);
    EXPECT_EQ(dialog.cursor, 1);
    tick(dialog);
    EXPECT_EQ(dialog.alpha, 1.0f);
    EXPECT_EQ(dialog.decided, 0);
    EXPECT_TRUE(g_chosen.empty());
    EXPECT_TRUE(sounds().empty());
}

// Between whole ticks nothing moves; the input is cleared all the same, and the draw is queued on
// the frame's drawing step only.
TEST_F(DialogTest, StepsBetweenWholeTicksOnlyClearTheInputAndDraw)
{
    GoWndDialog& dialog = open_three();
    InputRecord input = keys(INPUT_DECIDE, INPUT_DECIDE, 1);
    input.cursor_x = 123;
    input.direction = INPUT_DIR_DOWN;
    input.magnitude = 1.0f;
    input.step_x = 1;
    current_record() = input;
    g_whole_tick = 0;
    dialog.focus = 1;
    dialog.Update();
    EXPECT_EQ(dialog.alpha, 0.0f);
    const InputRecord& left = current_record();
    EXPECT_EQ(left.held | left.pressed | left.direction, 0u);
    EXPECT_EQ(left.magnitude, 0.0f);
    EXPECT_EQ(left.step_x | left.step_y, 0);
    EXPECT_EQ(left.cursor_x, 123);
    EXPECT_EQ(g_rq_rows[13].used, 0u);

    g_draw_frame = 1;
    dialog.Update();
    ASSERT_EQ(g_rq_rows[13].used, RQ_SIZE_CALLBACK);
    const auto* layer = reinterpret_cast<const RqCallbackItem*>(g_rq_rows[13].buffer.get());
    EXPECT_EQ(layer->header.key0, 0x03000001u);
    EXPECT_EQ(layer->callback, &GoWndDialog::Draw);
    EXPECT_EQ(layer->user, &dialog);
}

// The title reveals 0.4375 characters a tick with the tick sound every fifth tick, three characters
// a tick while the action key is held; the choices show once it is all out.
TEST_F(DialogTest, TheTitleRevealsWithItsTickSound)
{
    GoWndDialog& dialog = open_three("Game Over");
    for (int i = 0; i < 14; ++i)
        tick(dialog);
    ASSERT_EQ(dialog.alpha, 1.0f);
    EXPECT_EQ(dialog.reveal_position, 0x7000) << "the tick the fade ends on reveals too";
    for (int i = 0; i < 9; ++i)
        tick(dialog);
    EXPECT_EQ(dialog.reveal_position, 10 * 0x7000);
    EXPECT_EQ(sounds(), (std::vector<std::int32_t>{k_sound_typewriter, k_sound_typewriter}));
    EXPECT_EQ(dialog.title_shown, 0);

    tick(dialog, keys(INPUT_ACTION));
    EXPECT_EQ(dialog.fast_reveal, 1);
    tick(dialog);
    EXPECT_EQ(dialog.reveal_position, 11 * 0x7000 + 0x30000);
    while (!dialog.title_shown)
        tick(dialog);
    EXPECT_GE(dialog.reveal_position, 9 << 16);

    GoWndDialog& quiet = open_three("Game Over");
    quiet.typewriter_sound = 0;
    sounds();
    until_shown(quiet);
    for (int i = 0; i < 40; ++i)
        tick(quiet);
    EXPECT_TRUE(sounds().empty());
}

// An empty title has nothing to reveal: a choice can be made on the tick the fade-in ends.
TEST_F(DialogTest, AnEmptyTitleIsUsableOnceFadedIn)
{
    GoWndDialog& untitled = open_three();
    GoWndDialog& titled = open_three("Title");
    for (int i = 0; i < 14; ++i) {
        tick(untitled);
        tick(titled);
    }
    EXPECT_EQ(untitled.alpha, 1.0f);
    EXPECT_EQ(untitled.armed, 1);
    tick(untitled, keys(INPUT_DECIDE, INPUT_DECIDE));
    EXPECT_EQ(untitled.decided, 1);
    tick(titled, keys(INPUT_DECIDE, INPUT_DECIDE));
    EXPECT_EQ(titled.decided, 0) << "still revealing its title";
    EXPECT_EQ(g_chosen, (std::vector<int>{1}));
}

// Decide runs the cursor's choice with sound 0 and keeps its script label; cancel runs the cancel
// entry with sound 1 and leaves the last label as it was; without a cancel entry it does nothing.
TEST_F(DialogTest, DecideAndCancelRunTheirChoiceWithTheirSounds)
{
    GoWndDialog& decided = open_three();
    std::strcpy(decided.items[2].script_label, "ev_two");
    until_shown(decided);
    tick(decided, keys(0, 0, 1));
    EXPECT_EQ(decided.cursor, 2);
    tick(decided, keys(INPUT_DECIDE, INPUT_DECIDE));
    EXPECT_EQ(decided.decided, 1);
    EXPECT_EQ(g_chosen, (std::vector<int>{2}));
    EXPECT_STREQ(g_last_dialog_label, "ev_two");
    EXPECT_EQ(sounds(), (std::vector<std::int32_t>{k_sound_cursor, k_sound_decide}));
    tick(decided, keys(INPUT_DECIDE, INPUT_DECIDE));
    EXPECT_EQ(g_chosen.size(), 1u) << "decided once";

    GoWndDialog& no_cancel = open_three();
    std::strcpy(no_cancel.items[3].script_label, "ev_back");
    until_shown(no_cancel);
    tick(no_cancel, keys(INPUT_CANCEL, INPUT_CANCEL));
    EXPECT_EQ(no_cancel.decided, 0);
    EXPECT_TRUE(sounds().empty());

    no_cancel.SetCancelByLabel("nothing");
    EXPECT_EQ(no_cancel.cancel_item, -1);
    no_cancel.SetCancelByLabel("EV_BACK");
    EXPECT_EQ(no_cancel.cancel_item, 3);
    tick(no_cancel, keys(INPUT_CANCEL, INPUT_CANCEL));
    EXPECT_EQ(no_cancel.decided, 1);
    EXPECT_EQ(g_chosen, (std::vector<int>{2, 3}));
    EXPECT_STREQ(g_last_dialog_label, "ev_two");
    EXPECT_EQ(sounds(), (std::vector<std::int32_t>{k_sound_cancel}));
}

// Keys held while the dialog opens do nothing until they were let go once.
TEST_F(DialogTest, HeldKeysNeedAReleaseFirst)
{
    GoWndDialog& dialog = open_three();
    for (int i = 0; i < 30; ++i)
        tick(dialog, keys(INPUT_DECIDE, i == 20 ? INPUT_DECIDE : 0));
    EXPECT_EQ(dialog.armed, 0);
    EXPECT_EQ(dialog.decided, 0);
    tick(dialog, keys(INPUT_CLICK, INPUT_CLICK, 1));
    EXPECT_EQ(dialog.cursor, 1) << "not armed: no input at all";
    tick(dialog);
    EXPECT_EQ(dialog.armed, 1);
    tick(dialog, keys(INPUT_DECIDE, INPUT_DECIDE));
    EXPECT_EQ(dialog.decided, 1);
}

// The cursor steps with sound 3 and wraps from the first choice to the last and back.
TEST_F(DialogTest, TheCursorWrapsBothWays)
{
    GoWndDialog& dialog = open_three();
    until_shown(dialog);
    const struct {
        std::int32_t step;
        std::int32_t cursor;
    } steps[] = {{-1, 3}, {1, 1}, {1, 2}, {1, 3}, {1, 1}, {0, 1}, {-1, 3}, {-1, 2}};
    for (const auto& s : steps) {
        tick(dialog, keys(0, 0, s.step));
        EXPECT_EQ(dialog.cursor, s.cursor) << "step " << s.step;
        EXPECT_EQ(sounds().size(), s.step != 0 ? 1u : 0u);
    }
}

// A list without choices wraps its cursor to 0; deciding then runs nothing.
TEST_F(DialogTest, AListWithoutChoicesDecidesNothing)
{
    GoWndDialog& dialog = open("", {});
    until_shown(dialog);
    tick(dialog, keys(0, 0, -1));
    EXPECT_EQ(dialog.cursor, 0);
    tick(dialog, keys(INPUT_DECIDE, INPUT_DECIDE));
    EXPECT_EQ(dialog.decided, 1);
    EXPECT_TRUE(g_chosen.empty());
}

// With the pointer moved: dy = (y - 240) - 16 must lie in the box's height, |x - 320 - 16| x 2 in its
// width; the row is (dy + 4) / 24 + 1 and only a choice takes the cursor (sound 3 when it changes).
TEST_F(DialogTest, TheHoverRulePutsTheCursorOnTheRowUnderThePointer)
{
    GoWndDialog& dialog = open_three();
    until_shown(dialog);
    const auto half_width = static_cast<std::int32_t>(dialog.box_size.x) / 2;
    const auto height = static_cast<std::int32_t>(dialog.box_size.y);
    const struct {
        const char* name;
        std::int32_t x, y;
        std::int32_t cursor;
        std::uint8_t on_row;
        std::size_t sounds;
    } cases[] = {
        {"second row", 336, 256 + 24, 2, 1, 1},
        {"same row again", 340, 256 + 30, 2, 1, 0},
        {"first row's top", 336, 256, 1, 1, 1},
        {"above the box", 336, 255, 1, 0, 0},
        {"third row", 336, 256 + 44, 3, 1, 1},
        {"past the last row", 336, 256 + height, 3, 0, 0},
        {"right edge inside", 336 + half_width - 1, 257, 1, 1, 1},
        {"right of the box", 336 + half_width, 257, 1, 0, 0},
        {"left edge inside", 337 - half_width, 281, 2, 1, 1},
    };
    g_pointer_moved = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tick(dialog, pointer_at(c.x, c.y));
        EXPECT_EQ(dialog.cursor, c.cursor);
        EXPECT_EQ(dialog.mouse_on_row, c.on_row);
        EXPECT_EQ(sounds().size(), c.sounds);
    }
    g_pointer_moved = 0;
    tick(dialog, pointer_at(336, 256 + 24));
    EXPECT_EQ(dialog.cursor, 2) << "a still pointer keeps the row";
    EXPECT_EQ(dialog.mouse_on_row, 1);
}

// A click decides only while the pointer rests on a row.
TEST_F(DialogTest, AClickDecidesOnlyOnARow)
{
    GoWndDialog& dialog = open_three();
    until_shown(dialog);
    g_pointer_moved = 1;
    tick(dialog, pointer_at(10, 10, INPUT_CLICK));
    EXPECT_EQ(dialog.decided, 0);
    tick(dialog, pointer_at(10, 10));
    tick(dialog, pointer_at(336, 280 + 24, INPUT_CLICK));
    EXPECT_EQ(dialog.decided, 0) << "the row is found after the click is judged";
    g_pointer_moved = 0;
    tick(dialog, pointer_at(336, 280 + 24));
    tick(dialog, pointer_at(336, 280 + 24, INPUT_CLICK));
    EXPECT_EQ(dialog.decided, 1);
    EXPECT_EQ(g_chosen, (std::vector<int>{3}));
}

// Gaining the input with the pointer in use takes the row under it at once, moved or not.
TEST_F(DialogTest, GainingTheFocusWithThePointerInUseTakesTheRowUnderIt)
{
    GoWndDialog& dialog = open_three();
    until_shown(dialog);
    tick(dialog, {}, false);
    g_pointer_in_use = 1;
    tick(dialog, pointer_at(336, 256 + 48), false);
    EXPECT_EQ(dialog.cursor, 1) << "no input";
    tick(dialog, pointer_at(336, 256 + 48));
    EXPECT_EQ(dialog.cursor, 3);
    EXPECT_EQ(dialog.mouse_on_row, 1);
    EXPECT_EQ(dialog.had_focus, 1);
    tick(dialog, pointer_at(336, 256));
    EXPECT_EQ(dialog.cursor, 3) << "only on the first tick with input";
}

// A never-activated dialog fades in and reveals but takes no input.
TEST_F(DialogTest, ANeverActivatedDialogTakesNoInput)
{
    GoWndDialog& dialog = open_three("", false);
    for (int i = 0; i < 20; ++i)
        tick(dialog, keys(i % 2 ? INPUT_DECIDE : 0, i % 2 ? INPUT_DECIDE : 0, 1));
    EXPECT_EQ(dialog.alpha, 1.0f);
    EXPECT_EQ(dialog.title_shown, 1);
    EXPECT_EQ(dialog.armed, 0);
    EXPECT_EQ(dialog.cursor, 1);
    EXPECT_EQ(dialog.decided, 0);
    EXPECT_EQ(dialog.ticks_shown, 0);
}

// Released from outside, it closes once the title is out, with no callback and no sound.
TEST_F(DialogTest, AReleasedDialogClosesWithoutAChoice)
{
    GoWndDialog& dialog = open_three("Question");
    dialog.close_request = 1;
    for (int i = 0; i < 30 && !dialog.decided; ++i)
        tick(dialog);
    EXPECT_EQ(dialog.decided, 1);
    EXPECT_EQ(dialog.active, 0);
    EXPECT_EQ(dialog.fast_reveal, 1);
    EXPECT_TRUE(g_chosen.empty());
    for (std::int32_t id : sounds())
        EXPECT_EQ(id, k_sound_typewriter);
}

// Decided, it fades by 0.075 a whole tick and dies without a draw; the sweep then deletes it.
TEST_F(DialogTest, ADecidedDialogFadesOutAndIsSwept)
{
    GoWndDialog& dialog = open_three();
    until_shown(dialog);
    tick(dialog, keys(INPUT_DECIDE, INPUT_DECIDE));
    ASSERT_EQ(dialog.decided, 1);
    g_draw_frame = 1;
    for (int i = 1; i <= 13; ++i) {
        tick(dialog, keys(0, 0, 1));
        EXPECT_NEAR(dialog.alpha, 1.0f - 0.075f * i, 1e-5f);
        EXPECT_EQ(current_record().step_y, 0);
        EXPECT_EQ(dialog.flags & GO_FLAG_DEAD, 0);
    }
    rq_clear_rows();
    tick(dialog);
    EXPECT_NE(dialog.flags & GO_FLAG_DEAD, 0);
    EXPECT_EQ(dialog.hit_shape.class_bits & HIT_ACTIVE, 0u);
    EXPECT_EQ(g_rq_rows[13].used, 0u) << "no draw on the tick it dies";
    obj_sweep_dead();
    EXPECT_EQ(g_pool_wnddialog.count, 0);
}

// ---- Through the game tick --------------------------------------------------------------------------

// The tick gives the input to the dialog activated last; the other, or one never activated,
// sees nothing. The paused world does not stop them.
TEST_F(DialogTest, OnlyTheNewerDialogReacts)
{
    for (const bool other_activated : {true, false}) {
        SCOPED_TRACE(other_activated ? "activated earlier" : "never activated");
        g_chosen.clear();
        seam_set_clock([] { return k_now_ms; });
        timer_frame();
        GoWndDialog& other = open("", {{"A", &choose<7>}}, other_activated);
        seam_set_clock([] { return k_now_ms + 1000; });
        timer_frame();
        GoWndDialog& newer = open("", {{"B", &choose<8>}});
        g_menu_open = MENU_OPEN_CAMP;
        current_record() = {};
        for (int i = 0; i < 15; ++i)
            step(2);
        EXPECT_EQ(newer.focus, 1);
        EXPECT_EQ(other.focus, 0);
        EXPECT_EQ(newer.alpha, 1.0f);
        EXPECT_EQ(other.alpha, 1.0f);
        current_record() = keys(INPUT_DECIDE, INPUT_DECIDE);
        step(2);
        EXPECT_EQ(newer.decided, 1);
        EXPECT_EQ(other.decided, 0);
        EXPECT_EQ(g_chosen, (std::vector<int>{8}));
        g_menu_open = 0;
        obj_destroy_all();
    }
}

// ---- Drawing --------------------------------------------------------------------------------------

// The four vertices of a strip draw.
std::vector<ScreenVertex> strip_of(const D3D8DrawRecord& draw)
{
    return drawn_screen_vertices(draw, 4);
}

class DialogDrawTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        for (int image : {k_image_skin, k_image_cursor_bar}) {
            ASSERT_EQ(
                g_d3d_device->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &m_images[image]),
                D3D_OK);
            g_texture_handles[image] = m_images[image];
        }
    }
    void TearDown() override
    {
        for (int image : {k_image_skin, k_image_cursor_bar}) {
            g_texture_handles[image] = nullptr;
            if (m_images[image]) m_images[image]->Release();
        }
        DialogTest::TearDown();
    }

    // The draws of the dialog's layer alone.
    static const std::vector<D3D8DrawRecord>& draw(GoWndDialog& dialog)
    {
        d3d8_seam_log_draws(false);
        d3d8_seam_log_draws(true);
        EXPECT_EQ(g_d3d_device->BeginScene(), D3D_OK);
        GoWndDialog::Draw(nullptr, &dialog);
        g_d3d_device->EndScene();
        return d3d8_seam_draws();
    }

    IDirect3DTexture8* m_images[12] = {};
};

// A shown, focused list at (320, 240): the 3 x 3 skin around the box, the title and the choices
// (the ones off the cursor tinted), then the cursor bar over the cursor's row.
TEST_F(DialogDrawTest, AFrameDrawsTheSkinTheEntriesAndTheCursorBar)
{
    GoWndDialog& dialog = open_three("Choose");
    until_shown(dialog);
    tick(dialog, keys(0, 0, 1));
    ASSERT_EQ(dialog.cursor, 2);
    const float w = dialog.box_size.x, h = dialog.box_size.y;
    const std::vector<D3D8DrawRecord> draws = draw(dialog);
    ASSERT_EQ(draws.size(), 9u + 4u + 1u);

    const float left = 319.5f - std::floor(w / 2.0f), top = 239.5f;
    const float xs[4] = {left - 56.0f, left - 24.0f, left + w + 24.0f, left + w + 56.0f};
    const float ys[4] = {top - 48.0f, top, top + h, top + h + 16.0f};
    const float us[4] = {0.0f, 0.125f, 0.875f, 1.0f}, vs[4] = {0.0f, 0.375f, 0.875f, 1.0f};
    for (int piece = 0; piece < 9; ++piece) {
        SCOPED_TRACE(piece);
        const int row = piece / 3, column = piece % 3;
        const D3D8DrawRecord& d = draws[piece];
        EXPECT_EQ(d.state.textures[0], m_images[k_image_skin]);
        EXPECT_EQ(d.call.type, D3DPT_TRIANGLESTRIP);
        const std::vector<ScreenVertex> quad = strip_of(d);
        EXPECT_EQ(quad[0].x, xs[column]);
        EXPECT_EQ(quad[0].y, ys[row]);
        EXPECT_EQ(quad[3].x, xs[column + 1]);
        EXPECT_EQ(quad[3].y, ys[row + 1]);
        EXPECT_EQ(quad[0].u, us[column]);
        EXPECT_EQ(quad[3].v, vs[row + 1]);
        EXPECT_EQ(quad[0].color, 0xFFFFFFFFu);
    }

    // Each text is a shadow and a text quad: the text's colour is the second quad's.
    const D3DCOLOR text_colors[4] = {0xFFFFFFFF, 0xFFB0D0D0, 0xFFFFFFFF, 0xFFB0D0D0};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const D3D8DrawRecord& d = draws[9 + i];
        EXPECT_EQ(d.state.textures[0], dialog.surfaces[i].texture);
        EXPECT_EQ(d.call.type, D3DPT_TRIANGLELIST);
        ScreenVertex text{};
        std::memcpy(&text,
                    d3d8_buffer_data(*d.state.streams[0].buffer) + (d.call.start + 6) * sizeof(ScreenVertex),
                    sizeof text);
        EXPECT_EQ(text.color, text_colors[i]);
        EXPECT_EQ(text.x, 319.5f + dialog.items[i].row_x);
        EXPECT_EQ(text.y, 239.5f + dialog.items[i].row_y + 1.0f) << "the shadow's offset";
    }

    const D3D8DrawRecord& bar = draws.back();
    EXPECT_EQ(bar.state.textures[0], m_images[k_image_cursor_bar]);
    EXPECT_EQ(g_current_material, 0x40C1u);
    const std::vector<ScreenVertex> quad = strip_of(bar);
    EXPECT_EQ(quad[0].x, 319.5f - 32.0f - dialog.widest / 2.0f);
    EXPECT_EQ(quad[3].x, quad[0].x + dialog.widest + 64.0f);
    EXPECT_EQ(quad[0].y, 239.5f + 28.0f);
    EXPECT_EQ(quad[3].y, 239.5f + 28.0f + 20.0f);
}

// Unfocused it is grey with darker rows; before the title is out only the title is drawn and no
// bar; without a box no skin.
TEST_F(DialogDrawTest, WhatIsDrawnFollowsTheFocusTheRevealAndTheBox)
{
    GoWndDialog& dialog = open_three("Choose");
    until_shown(dialog);
    dialog.focus = 0;
    std::vector<D3D8DrawRecord> draws = draw(dialog);
    ASSERT_EQ(draws.size(), 14u);
    EXPECT_EQ(strip_of(draws[0])[0].color, 0xFF7F7F7Fu);
    ScreenVertex row{};
    std::memcpy(&row,
                d3d8_buffer_data(*draws[11].state.streams[0].buffer) +
                    (draws[11].call.start + 6) * sizeof(ScreenVertex),
                sizeof row);
    EXPECT_EQ(row.color, 0xFF586868u);

    GoWndDialog& revealing = open_three("Choose");
    for (int i = 0; i < 15; ++i)
        tick(revealing);
    ASSERT_EQ(revealing.title_shown, 0);
    EXPECT_EQ(draw(revealing).size(), 9u + 1u);

    dialog.no_box = 1;
    dialog.focus = 1;
    draws = draw(dialog);
    ASSERT_EQ(draws.size(), 5u);
    EXPECT_EQ(draws[0].state.textures[0], dialog.surfaces[0].texture);
}

} // namespace
