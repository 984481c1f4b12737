// Objects of every class that log their updates and deletions, on pools made for each test.
#pragma once

#include "gfx/go_effect.h"
#include "gfx/go_emotion.h"
#include "gfx/go_locus_sword.h"
#include "gfx/go_particle.h"
#include "gfx/go_popup.h"
#include "object/actor/go_actor.h"
#include "object/boss/go_boss.h"
#include "object/go_mesh.h"
#include "object/go_script.h"
#include "object/go_skybox.h"
#include "object/obj_manager.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wnddemo.h"
#include "object/wnd/go_wnddialog.h"
#include "object/wnd/go_wndmain2.h"
#include "object/wnd/go_wndshop2.h"
#include "object/wnd/go_wndtext.h"
#include "object/wnd/go_wndzzz.h"
#include "object/xx/go_xx.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

enum class ObjEvent { updated, deleted };

struct ObjLogEntry {
    ObjEvent event;
    std::uint8_t class_code;
    std::uint32_t object_id;
    bool operator==(const ObjLogEntry&) const = default;
};

inline std::vector<ObjLogEntry> g_obj_log;
// Runs in every logged update once it is logged, so a test sees the world as the object saw it.
inline std::function<void(GoBase&)> g_obj_update_hook;

// A class of the game with a logging update and destructor, and not a byte more, so it fits
// its class's pool slot.
template <typename Base> class Logged final : public Base {
public:
    ~Logged() override { g_obj_log.push_back({ObjEvent::deleted, this->class_code, this->object_id}); }
    void Update() override
    {
        g_obj_log.push_back({ObjEvent::updated, this->class_code, this->object_id});
        if (g_obj_update_hook) g_obj_update_hook(*this);
    }
};

// An object of the pool's class from the pool; null when it is full.
template <typename T> Logged<T>* spawn(MemPool<T>& pool)
{
    static_assert(sizeof(Logged<T>) == sizeof(T));
    return obj_create<Logged<T>>(pool);
}

inline void kill(GoBase& object)
{
    go_kill(object);
}

// The objects a pool holds, in its list order.
inline std::vector<GoBase*> pool_objects(const MemPoolDesc& pool)
{
    std::vector<GoBase*> objects;
    for (std::int32_t i = 0; i < pool.count; ++i)
        objects.push_back(static_cast<GoBase*>(pool.active[i]));
    return objects;
}

class ObjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(obj_create_pools(), S_OK);
        g_obj_log.clear();
    }
    void TearDown() override
    {
        g_obj_update_hook = nullptr;
        obj_destroy_all();
        obj_destroy_pools();
        g_obj_log.clear();
    }
};
