// Every pooled object class with its pool, capacity and code, in the pools' creation order.
#pragma once

#include "object_fixture.h"

struct ObjClassRow {
    const char* name;
    MemPoolDesc* pool;
    std::int32_t capacity;
    std::uint8_t class_code;
    GoBase* (*spawn)();
};

template <typename T>
ObjClassRow obj_class_row(const char* name, MemPool<T>& pool, std::int32_t capacity, std::uint8_t class_code)
{
    // Each class has one pool, so the pool is found again from the type.
    static MemPool<T>* s_pool = &pool;
    return {name, &pool, capacity, class_code, []() -> GoBase* { return spawn(*s_pool); }};
}

inline const std::vector<ObjClassRow>& obj_classes()
{
    static const std::vector<ObjClassRow> rows = {
        obj_class_row("GoActor", g_pool_actor, 80, 1),
        obj_class_row("GoSkyBox", g_pool_skybox, 2, 18),
        obj_class_row("GoBoss1", g_pool_boss1, 1, 2),
        obj_class_row("GoBoss2", g_pool_boss2, 1, 3),
        obj_class_row("GoBoss3", g_pool_boss3, 1, 4),
        obj_class_row("GoBoss4", g_pool_boss4, 1, 5),
        obj_class_row("GoBoss5", g_pool_boss5, 1, 6),
        obj_class_row("GoBoss7", g_pool_boss7, 1, 7),
        obj_class_row("GoBoss8", g_pool_boss8, 1, 8),
        obj_class_row("GoEffect", g_pool_effect, 256, 9),
        obj_class_row("GoEmotion", g_pool_emotion, 32, 10),
        obj_class_row("GoLocusSword", g_pool_locus_sword, 8, 11),
        obj_class_row("GoMesh", g_pool_mesh, 512, 13),
        obj_class_row("GoParticle", g_pool_particle, 2048, 14),
        obj_class_row("GoPopup", g_pool_popup, 32, 15),
        obj_class_row("GoScript", g_pool_script, 256, 16),
        obj_class_row("GoXx", g_pool_xx, 512, 19),
        obj_class_row("GoWndDemo", g_pool_wnddemo, 1, 20),
        obj_class_row("GoWndDialog", g_pool_wnddialog, 2, 21),
        obj_class_row("GoWndMain2", g_pool_wndmain2, 1, 23),
        obj_class_row("GoWndShop2", g_pool_wndshop2, 1, 24),
        obj_class_row("GoWndText", g_pool_wndtext, 1, 22),
        obj_class_row("GoWndZzz", g_pool_wndzzz, 1, 25),
    };
    return rows;
}
