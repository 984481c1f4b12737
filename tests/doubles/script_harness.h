// The command harness: scripts written in the assembler's text form are put into the test's
// archive, loaded into a `GoScript` and run through the real interpreter on the real tick over a
// world the test sets up; what the script left (REG, its program counter, whether it waits,
// whether it ended) is handed back, the world's state is read from its globals.
#pragma once

#include "doubles/world_fixture.h"
#include "object/go_script.h"

#include <cstdint>
#include <span>
#include <string>

constexpr const char* HARNESS_SCRIPT_PATH = "data\\map\\harness.xso";
constexpr const char* HARNESS_SCRIPT_NAME = "harness";
constexpr int HARNESS_TICKS = 1;

struct ScriptState {
    std::int32_t reg = 0;
    std::uint32_t pc = 0;
    bool waits = false; // the last tick left the script where it stood or counting down a wait
    bool ended = false;
};

// The archive file of a script whose action 0 holds the statements of `body` (one a line, the
// assembler's text form).
ArchiveSource harness_script_file(const std::string& body);
// One call statement: "call <id> <words>".
std::string script_call(std::int32_t id, const std::string& words = {});
bool script_ended(const GoScript& script);

class ScriptHarnessTest : public ScriptWorldTest {
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        script_install_commands();
    }

    // Writes the script with the test's files and loads it as a new script; nothing runs yet.
    GoScript& load_script(const std::string& body, std::span<const std::int32_t> args = {})
    {
        add_file(harness_script_file(body));
        mount();
        m_script = obj_create<GoScript>(g_pool_script);
        EXPECT_NE(m_script, nullptr);
        m_script->Load(HARNESS_SCRIPT_PATH, HARNESS_SCRIPT_NAME, args);
        return *m_script;
    }
    // Runs whole ticks of the world until `ticks` have passed or the script ended.
    ScriptState run_ticks(int ticks = HARNESS_TICKS)
    {
        ScriptState state;
        for (int i = 0; i < ticks && !script_ended(*m_script); ++i) {
            const std::uint32_t pc = m_script->pc;
            step();
            state.waits = m_script->pc == pc || m_script->wait > 0;
        }
        state.reg = m_script->accumulator;
        state.pc = m_script->pc;
        state.ended = script_ended(*m_script);
        if (state.ended) state.waits = false;
        return state;
    }
    // Both at once.
    ScriptState run_script(const std::string& body, int ticks = HARNESS_TICKS,
                           std::span<const std::int32_t> args = {})
    {
        load_script(body, args);
        return run_ticks(ticks);
    }

    GoScript* m_script = nullptr;
};
