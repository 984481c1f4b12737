#include "core/sys.h"
#include "game/g_fade.h"
#include "game/g_game_flags.h"
#include "lib/demo_sprites.h"
#include "object/go_script.h"
#include "tick_fixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The demo room's two event scripts on the real tick: the fade script takes its lock and fades
// to dusk, waits for the flag that the other script sets after 45 ticks, fades back and ends.
class DemoEvents : public TickTest {
protected:
    void SetUp() override
    {
        TickTest::SetUp();
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), std::uint32_t(m_block.size()), nullptr, 0};
        std::vector<ArchiveSource> files = demo_shader_files(shader_file_names());
        for (ArchiveSource& file : demo_event_files())
            files.push_back(std::move(file));
        vfs_close_all();
        ASSERT_TRUE(archive_write_set(m_data.path(), files, {}));
        vfs::Startup((m_data.windows() + "\\").c_str());
        script_install_commands();
        fade_reset();
        g_fade.value = g_fade.target = 0.0f;
        g_play_state.status.hp = 1.0f;
    }
    void TearDown() override
    {
        vfs_close_all();
        vfs::Startup((s_folder->windows() + "\\").c_str());
        g_work_block = m_saved_block;
        TickTest::TearDown();
    }

    static GoScript* start(const char* name)
    {
        GoScript* script = obj_create<GoScript>(g_pool_script);
        const std::string path = std::string("data\\map\\") + name + ".xso";
        script->Load(path.c_str(), name, {});
        script->Run();
        return script;
    }
    // Whole ticks until the condition holds; false when it did not within the limit.
    bool run_until(const std::function<bool()>& done, int limit)
    {
        for (int tick = 0; tick < limit && !done(); ++tick)
            step();
        return done();
    }

    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 20);
    WorkBlock m_saved_block{};
    TempFolder m_data;
};

TEST_F(DemoEvents, TheFadeScriptWaitsForTheFlagScriptAndReleasesItsLock)
{
    const std::int32_t* flags = g_play_state.game_flags;
    GoScript* fade = start("demo\\fade");
    start("demo\\flag");
    EXPECT_EQ(g_event_lock_count[EVENT_LOCK_EVENT], 1);
    EXPECT_EQ(flags[GF_EVENT_RUNNING], 1);
    EXPECT_EQ(g_fade.target, 1.0f);
    EXPECT_EQ(g_fade.color, 0x203060u);

    ASSERT_TRUE(run_until([] { return g_fade.value == 1.0f; }, 30)) << "covered in 20 ticks";
    EXPECT_EQ(flags[DEMO_EVENT_FLAG], 0) << "the flag comes later";
    EXPECT_EQ(g_fade.target, 1.0f) << "the fade script waits for the flag";

    ASSERT_TRUE(run_until([&] { return flags[DEMO_EVENT_FLAG] == 1; }, 40));
    ASSERT_TRUE(run_until([] { return g_fade.value == 0.0f; }, 30)) << "uncovered again";
    ASSERT_TRUE(run_until([&] { return (fade->flags & GO_FLAG_DEAD) != 0; }, 3));
    EXPECT_EQ(g_event_lock_count[EVENT_LOCK_EVENT], 0);
    EXPECT_EQ(flags[GF_EVENT_RUNNING], 0);
}

} // namespace
