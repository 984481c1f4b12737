#include "object/obj_manager.h"

#include "gfx/g_ripple.h"
#include "object/go_base.h"
#include "object/obj_pools.h"

namespace {

MemPoolDesc* const k_walk_order[] = {
    &g_pool_script,   &g_pool_wndzzz,  &g_pool_wnddialog, &g_pool_wndtext,     &g_pool_wndmain2,
    &g_pool_wndshop2, &g_pool_wnddemo, &g_pool_actor,     &g_pool_locus_sword, &g_pool_popup,
    &g_pool_emotion,  &g_pool_effect,  &g_pool_particle,  &g_pool_xx,          &g_pool_mesh,
    &g_pool_skybox,   &g_pool_boss1,   &g_pool_boss2,     &g_pool_boss3,       &g_pool_boss4,
    &g_pool_boss5,    &g_pool_boss7,   &g_pool_boss8,
};

GoBase* entry(const MemPoolDesc& pool, std::int32_t index)
{
    return static_cast<GoBase*>(pool.active[index]);
}

bool deletable(const GoBase& object, bool regardless)
{
    return (object.flags & GO_FLAG_DEAD) && (regardless || object.ref_count == 0);
}

// A deletion shifts the later entries down, so the entry that moved into place is examined next.
void delete_dead(MemPoolDesc& pool, bool regardless)
{
    if (pool.capacity == 1) {
        if (pool.count > 0 && deletable(*entry(pool, 0), regardless)) entry(pool, 0)->DeletingDestructor();
        return;
    }
    std::int32_t count = pool.count;
    for (std::int32_t i = 0; i < count; ++i) {
        GoBase* object = entry(pool, i);
        if (!deletable(*object, regardless)) continue;
        object->DeletingDestructor();
        --i;
        --count;
    }
}

void kill_all(MemPoolDesc& pool)
{
    for (std::int32_t i = 0; i < pool.count; ++i) {
        go_kill(*entry(pool, i));
    }
}

} // namespace

void obj_sweep_dead()
{
    for (MemPoolDesc* pool : k_walk_order)
        delete_dead(*pool, false);
}

void obj_destroy_all()
{
    for (MemPoolDesc* pool : k_walk_order) {
        kill_all(*pool);
        delete_dead(*pool, true);
    }
    while (g_pool_ripple.count > 0)
        g_pool_ripple.Free(static_cast<Ripple*>(g_pool_ripple.active[0]));
}
