// The event-script object: one running compiled event script, and the event locks that scripts
// hold while the world is in an event.
#pragma once

#include "object/go_base.h"

#include <cstdint>

struct AniScriptSet;

constexpr int SCRIPT_NAME_SIZE = 80;
constexpr int SCRIPT_LOCALS = 16; // the start arguments, script variables 512-527

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
    GoScript() : GoBase(go_next_object_id(GO_CLASS_SCRIPT), GO_CLASS_SCRIPT) {}

    AniScriptSet* code_set = nullptr; // the loaded script, owned
    char name[SCRIPT_NAME_SIZE] = {}; // under which it was started
    std::uint32_t pc = 0;             // the next word of action 0's code
    std::int32_t wait = 0;            // ticks still to skip
    std::int32_t accumulator = 0;
    std::int32_t locals[SCRIPT_LOCALS] = {};
    EventLock event_lock = EVENT_LOCK_NONE;
    std::int32_t window_started = 0;
    ObjHandle<GoBase> awaited_window; // a dialog or the message window; not owned
};

// The locks held by all scripts, one counter per mode.
extern std::int32_t g_event_lock_count[EVENT_LOCK_MODES];
