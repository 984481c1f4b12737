// The event-script object: one running compiled event script (".xso"), its interpreter, and the
// event locks that scripts hold while the world is in an event.
#pragma once

#include "gfx/script_ops.h"
#include "object/go_base.h"

#include <cstdint>
#include <memory>
#include <span>

struct AniScriptSet;
class GoScript;

constexpr int SCRIPT_NAME_SIZE = 80;
constexpr int SCRIPT_LOCALS = 16;                    // the start arguments, script variables 512-527
constexpr std::int32_t SCRIPT_VAR_LOCAL_FIRST = 512; // variables below are game flags
constexpr std::int32_t SCRIPT_VAR_COUNT = 528;
// One run that executes this many words without giving control back is stuck in a loop of its
// data, and fatal.
constexpr std::uint32_t SCRIPT_RUN_LIMIT = 1000000;

// Modes 0 and 1 put the world in an event (1 also pauses the enemies' thinking); mode 2 is only
// counted.
enum EventLock : std::int32_t {
    EVENT_LOCK_NONE = -1,
    EVENT_LOCK_EVENT = 0,
    EVENT_LOCK_EVENT_NO_AI = 1,
    EVENT_LOCK_COUNTED = 2,
    EVENT_LOCK_MODES = 3,
};

class GoScript : public GoBase {
public:
    GoScript();

    // Loads "<path>.z" and takes the name and the start arguments. Fatal: a name of 80 bytes or
    // more; a file that is missing, of another version or broken (its actions, code or string
    // tables outside the file, a text without its terminator), with the path; more than 16
    // arguments, with the path.
    void Load(const char* path, const char* script_name, std::span<const std::int32_t> args);
    // Runs the script on whole ticks while the world is not paused.
    void Update() override;
    // Runs action 0's words from the program counter until the script yields, waits or ends;
    // nothing while a scene change is being carried out or a tick wait lasts.
    void Run();
    // The text of string operand `index` of action 0; null for -1. Another index outside the
    // table is fatal.
    const char* StringOperand(std::int32_t index) const;
    // Takes lock `mode` (0-2) in place of the one held; another mode is fatal.
    void BeginEvent(std::int32_t mode);
    void EndEvent();
    // Asks the awaited window to close and forgets it.
    void ReleaseWindow();
    // The awaited window, or null once its slot no longer holds it (it was swept).
    GoBase* AwaitedWindow();

    std::unique_ptr<AniScriptSet> code_set;
    char name[SCRIPT_NAME_SIZE] = {}; // under which it was started
    std::uint32_t pc = 0;             // the next word of action 0's code
    std::int32_t wait = 0;            // ticks still to skip
    std::int32_t accumulator = 0;
    std::int32_t locals[SCRIPT_LOCALS] = {};
    EventLock event_lock = EVENT_LOCK_NONE;
    std::int32_t window_started = 0;
    ObjHandle<GoBase> awaited_window; // a dialog or the message window; not owned

protected:
    // Releases the lock.
    ~GoScript() override;

private:
    // The end of the script: the lock and an awaited dialog are released, and it is dead.
    void End();
};

// The locks held by all scripts, one counter per mode.
extern std::int32_t g_event_lock_count[EVENT_LOCK_MODES];
// Whether a script holds lock 0 or 1: the world is in an event.
bool script_event_running();

// The variable a ScriptVarIndex names: 0-511 game flags, 512-527 the script's locals. Another
// index is fatal, naming the script.
std::int32_t* script_var_address(GoScript& script, std::int32_t index);
// The script of that name (case ignored) that has not ended; null for none and for a null name.
GoScript* script_find_running(const char* name);

// ---- Commands ----------------------------------------------------------------------------------
constexpr int SCRIPT_COMMAND_COUNT = 300;

// One command call of a running script: its argument words (words the action's code does not
// hold read as 0). A command that must wait returns SCRIPT_WAIT: the run stops and the call runs
// again on the next run. SCRIPT_STOP ends this run after the command (a yield or a set wait),
// SCRIPT_END ends the script.
enum ScriptFlow { SCRIPT_NEXT, SCRIPT_WAIT, SCRIPT_STOP, SCRIPT_END };

struct ScriptCall {
    GoScript& script;
    std::span<const ScriptWord> args;
    std::uint32_t argc = 0; // the call word's count, which may run past the action's code

    std::int32_t arg(std::size_t i) const { return i < args.size() ? static_cast<std::int32_t>(args[i]) : 0; }
    float arg_float(std::size_t i) const;
    // The variable a ScriptVarIndex argument names.
    std::int32_t& var(std::size_t i) const;
    // The text of a string-operand argument; null for -1.
    const char* text(std::size_t i) const;
};

using ScriptCommand = ScriptFlow (*)(ScriptCall& call);

// A module's commands: the table of 300 ids is filled from every module's rows at start-up.
struct ScriptCommandRow {
    std::int32_t id;
    ScriptCommand command;
};

// The rows of the event-flow commands (57, 58, 95-97, 105, 107), the no-operation ids and the
// shared ids 150-217 with 182.
std::span<const ScriptCommandRow> script_flow_commands();
// Fills the command table from every module's rows; ids no row defines stay undefined.
void script_install_commands();
// The same from the modules given. A row for an id that is always undefined (1-37, 50, 300 and
// above, negative) is fatal.
void script_install_command_rows(std::span<const std::span<const ScriptCommandRow>> modules);
