// The event-script interpreter: GoScript::Run over a full pool of running scripts (256), each run
// going through accumulator opcodes, variable functions on game flags and locals, a comparison, a
// conditional jump and a wait whose flag holds, up to a yield. Reported as script words executed
// per second.
#include "common/bench_engine.h"
#include "core/errors.h"
#include "core/sys.h"
#include "core/vfs.h"
#include "lib/archive_writer.h"
#include "lib/packed_writer.h"
#include "lib/script_assembler.h"
#include "object/go_script.h"
#include "object/obj_manager.h"
#include "object/obj_pools.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int k_scripts = 256;
constexpr const char* k_path = "data\\map\\bench.xso";

// After the first run every run executes the jump back and the 19 words from the label to the
// yield.
constexpr int k_words_per_run = 21;
constexpr const char* k_script = R"(action 0
loop: SCRIPT_OP_SETINT 3
 call FUNCID_REG_ADDINT 4
 call FUNCID_FLAG_SETREG flag:300
 call FUNCID_FLAG_ADDINT local:0 1
 call FUNCID_FLAG_CMPINT local:1 2 0
 SCRIPT_OP_JNE @wait
wait: call FUNCID_WAIT_FLAG flag:301 0
 call FUNCID_YIELD
 SCRIPT_OP_JUMP @loop
)";

// The pools, the script in an archive of its own, and the scripts loaded and run once.
class ScriptWorld {
public:
    explicit ScriptWorld(benchmark::State& state)
    {
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), static_cast<std::uint32_t>(m_block.size()), nullptr, 0};
        if (!mount() || FAILED(obj_create_pools())) {
            state.SkipWithError("no archive or pools");
            return;
        }
        script_install_commands();
        try {
            for (int i = 0; i < k_scripts; ++i) {
                GoScript* script = obj_create<GoScript>(g_pool_script);
                script->Load(k_path, ("bench" + std::to_string(i)).c_str(), {});
                script->Run();
                scripts.push_back(script);
            }
        } catch (const RuntimeError& error) {
            state.SkipWithError(error.text);
            return;
        }
        m_ok = scripts.back()->locals[0] == 1;
        if (!m_ok) state.SkipWithError("the script did not run");
    }
    ~ScriptWorld()
    {
        obj_destroy_all();
        obj_destroy_pools();
        vfs_close_all();
        g_work_block = m_saved_block;
        if (!m_folder.empty()) std::filesystem::remove_all(m_folder);
    }
    ScriptWorld(const ScriptWorld&) = delete;
    ScriptWorld& operator=(const ScriptWorld&) = delete;

    bool ok() const { return m_ok; }

    std::vector<GoScript*> scripts;

private:
    bool mount()
    {
        const ArchiveSource files[] = {
            {std::string(k_path) + ".z", packed_build(sasm_assemble_or_throw(k_script))}};
        m_folder = bench_mount_files("kro_bench_go_script_", files);
        return !m_folder.empty();
    }

    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 20);
    WorkBlock m_saved_block{};
    std::filesystem::path m_folder;
    bool m_ok = false;
};

void BM_GoScriptRun(benchmark::State& state)
{
    ScriptWorld world(state);
    if (!world.ok()) return;
    for (auto _ : state)
        for (GoScript* script : world.scripts)
            script->Run();
    state.counters["words"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * k_scripts * k_words_per_run, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GoScriptRun);

} // namespace
