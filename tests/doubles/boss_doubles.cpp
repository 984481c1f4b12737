#include "doubles/boss_doubles.h"

#include "object/obj_pools.h"

#include <cstring>

namespace {

bool same_block(const BossControl& a, const BossControl& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The block the object last logged: at its Init or at an update that found a change.
const BossControl* last_logged(std::uint32_t object_id)
{
    for (auto entry = g_boss_log.rbegin(); entry != g_boss_log.rend(); ++entry)
        if (entry->object_id == object_id) return &entry->control;
    return nullptr;
}

template <typename Boss, MemPool<Boss>& Pool> GoBoss* make_logging()
{
    static_assert(sizeof(LoggingBoss<Boss>) == sizeof(Boss));
    LoggingBoss<Boss>* boss = obj_create<LoggingBoss<Boss>>(Pool);
    if (boss) boss->Init();
    return boss;
}

BossCreate logging_create(std::uint8_t class_code)
{
    switch (class_code) {
    case GO_CLASS_BOSS1:
        return &make_logging<GoBoss1, g_pool_boss1>;
    case GO_CLASS_BOSS2:
        return &make_logging<GoBoss2, g_pool_boss2>;
    case GO_CLASS_BOSS3:
        return &make_logging<GoBoss3, g_pool_boss3>;
    case GO_CLASS_BOSS4:
        return &make_logging<GoBoss4, g_pool_boss4>;
    case GO_CLASS_BOSS5:
        return &make_logging<GoBoss5, g_pool_boss5>;
    case GO_CLASS_BOSS7:
        return &make_logging<GoBoss7, g_pool_boss7>;
    case GO_CLASS_BOSS8:
        return &make_logging<GoBoss8, g_pool_boss8>;
    default:
        return nullptr;
    }
}

} // namespace

void boss_log_control(const GoBoss& boss)
{
    const BossControl* logged = last_logged(boss.object_id);
    if (!logged || !same_block(*logged, boss.control))
        g_boss_log.push_back({BossEvent::control, boss.class_code, boss.object_id, boss.control});
}

std::vector<BossArenaRow> boss_logging_rows()
{
    std::vector<BossArenaRow> rows(boss_arena_rows().begin(), boss_arena_rows().end());
    for (BossArenaRow& row : rows)
        row.create = logging_create(row.class_code);
    return rows;
}

GoBoss* boss_make_logging(std::uint8_t class_code)
{
    const BossCreate create = logging_create(class_code);
    return create ? create() : nullptr;
}

std::vector<BossLogEntry> boss_log_of(std::uint8_t class_code, BossEvent event)
{
    std::vector<BossLogEntry> entries;
    for (const BossLogEntry& entry : g_boss_log)
        if (entry.class_code == class_code && entry.event == event) entries.push_back(entry);
    return entries;
}
