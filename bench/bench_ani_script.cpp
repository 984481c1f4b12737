// The animation-script interpreter: AniScript::Step over a full pool's worth of scripts (80),
// each tick running a typical mix of frame choice, accumulator and variable functions, locals,
// switches, a jump and a mark. Reported as script words executed per second.
#include "common/bench_engine.h"
#include "core/errors.h"
#include "core/sys.h"
#include "core/vfs.h"
#include "gfx/ani_script.h"
#include "lib/aia_writer.h"
#include "lib/archive_writer.h"
#include "lib/packed_writer.h"
#include "lib/script_assembler.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr int k_scripts = 80;
constexpr int k_set = 12;
constexpr int k_images = 13;

// After the first tick every tick runs the jump back and the 19 words from the label to the
// yield.
constexpr int k_words_per_tick = 21;
constexpr const char* k_script = R"(images 13
action 2
loop: call FUNCID_SET_ANIM 0 1
 SCRIPT_OP_SETINT 3
 call FUNCID_REG_ADDINT 4
 call FUNCID_FLAG_SETREG flag:300
 call FUNCID_LOCAL_ADDINT 8 1
 call FUNCID_SWITCH1 1
 SCRIPT_OP_JGT @mark
mark: call FUNCID_MARK 1
 SCRIPT_OP_YIELD
 SCRIPT_OP_JUMP @loop
)";

AiaArchive small_archive()
{
    AiaArchive archive;
    archive.canvas_width = 32;
    archive.canvas_height = 32;
    AiaFrame frame;
    frame.pixels.assign(32 * 32, 0xFF808080);
    archive.entries = {{0, 1, 2, {frame, frame}}};
    return archive;
}

// The engine on a device without a backend, the set and its archive mounted, and the scripts
// bound and run once.
class ScriptWorld {
public:
    explicit ScriptWorld(benchmark::State& state)
    {
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), static_cast<std::uint32_t>(m_block.size()), nullptr, 0};
        m_folder = bench_mount_shaders("kro_bench_ani_script_");
        if (m_folder.empty() ||
            !bench_start_engine(reinterpret_cast<HWND>(std::uintptr_t{0x71C5}), 640, 480) ||
            !mount_script()) {
            state.SkipWithError("no engine");
            return;
        }
        try {
            for (AniScript& script : scripts) {
                if (FAILED(script.Bind(k_set))) {
                    state.SkipWithError("no frame texture");
                    return;
                }
                script.Step(nullptr);
            }
        } catch (const RuntimeError& error) {
            state.SkipWithError(error.text);
            return;
        }
        m_ok = scripts.back().locals[8] == 1;
        if (!m_ok) state.SkipWithError("the script did not run");
    }
    ~ScriptWorld()
    {
        for (AniScript& script : scripts)
            script.ReleaseTextures();
        ani_dat_release_script_sets();
        ani_dat_release_all_images();
        bench_stop_engine(m_folder);
        g_work_block = m_saved_block;
    }
    ScriptWorld(const ScriptWorld&) = delete;
    ScriptWorld& operator=(const ScriptWorld&) = delete;

    bool ok() const { return m_ok; }

    std::vector<AniScript> scripts = std::vector<AniScript>(k_scripts);

private:
    // The shaders are loaded by now; the archive is written again with the animation files.
    bool mount_script() const
    {
        const ArchiveSource files[] = {
            {"data\\ani\\c_012.aso.z", packed_build(sasm_assemble_or_throw(k_script))},
            {aia_archive_path(k_images), aia_packed(small_archive())},
        };
        return bench_mount_archive(m_folder, files);
    }

    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 20);
    WorkBlock m_saved_block{};
    std::filesystem::path m_folder;
    bool m_ok = false;
};

void BM_AniScriptStep(benchmark::State& state)
{
    ScriptWorld world(state);
    if (!world.ok()) return;
    for (auto _ : state)
        for (AniScript& script : world.scripts)
            script.Step(nullptr);
    state.counters["words"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * k_scripts * k_words_per_tick, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AniScriptStep);

} // namespace
