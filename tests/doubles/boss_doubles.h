// Logging stand-ins of the boss classes and the arena rows that make them: each notes its Init
// and every change of its control block that its update finds, as a boss reads its block once a
// step.
#pragma once

#include "object/boss/boss_command.h"
#include "object/boss/go_boss.h"

#include <cstdint>
#include <vector>

enum class BossEvent { init, control };

struct BossLogEntry {
    BossEvent event;
    std::uint8_t class_code;
    std::uint32_t object_id;
    BossControl control; // as the boss found it
};

inline std::vector<BossLogEntry> g_boss_log;

// Logs the boss's block when it differs from the one the boss logged last.
void boss_log_control(const GoBoss& boss);

// A boss class with a logging Init and update, and not a byte more, so it fits its class's pool.
template <typename Boss> class LoggingBoss final : public Boss {
public:
    void Init()
    {
        this->control = {};
        g_boss_log.push_back({BossEvent::init, this->class_code, this->object_id, this->control});
    }
    void Update() override { boss_log_control(*this); }
};

// The game's arena table with each row making its class's logging stand-in.
std::vector<BossArenaRow> boss_logging_rows();
// The logging stand-in of a boss class made as command 0 makes it: in its pool, then Init.
GoBoss* boss_make_logging(std::uint8_t class_code);

// The entries of one event for a class, in order.
std::vector<BossLogEntry> boss_log_of(std::uint8_t class_code, BossEvent event);
