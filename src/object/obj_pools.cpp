#include "object/obj_pools.h"

#include "gfx/g_ripple.h"
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
#include "object/wnd/go_wnddemo.h"
#include "object/wnd/go_wnddialog.h"
#include "object/wnd/go_wndmain2.h"
#include "object/wnd/go_wndshop2.h"
#include "object/wnd/go_wndtext.h"
#include "object/wnd/go_wndzzz.h"
#include "object/xx/go_xx.h"

#include <array>

MemPool<GoActor> g_pool_actor;
MemPool<GoSkyBox> g_pool_skybox;
MemPool<GoBoss1> g_pool_boss1;
MemPool<GoBoss2> g_pool_boss2;
MemPool<GoBoss3> g_pool_boss3;
MemPool<GoBoss4> g_pool_boss4;
MemPool<GoBoss5> g_pool_boss5;
MemPool<GoBoss7> g_pool_boss7;
MemPool<GoBoss8> g_pool_boss8;
MemPool<GoEffect> g_pool_effect;
MemPool<GoEmotion> g_pool_emotion;
MemPool<GoLocusSword> g_pool_locus_sword;
MemPool<GoMesh> g_pool_mesh;
MemPool<GoParticle> g_pool_particle;
MemPool<GoPopup> g_pool_popup;
MemPool<GoScript> g_pool_script;
MemPool<GoXx> g_pool_xx;
MemPool<GoWndDemo> g_pool_wnddemo;
MemPool<GoWndDialog> g_pool_wnddialog;
MemPool<GoWndMain2> g_pool_wndmain2;
MemPool<GoWndShop2> g_pool_wndshop2;
MemPool<GoWndText> g_pool_wndtext;
MemPool<GoWndZzz> g_pool_wndzzz;
MemPool<Ripple> g_pool_ripple;
MemPool<ParticleAttack> g_pool_attack_player;
MemPool<ParticleAttack> g_pool_attack_enemy;

std::uint8_t g_pools_ready = 0;

namespace {

template <typename T> constexpr ObjPoolRow row(MemPool<T>& pool, std::int32_t capacity, std::uint8_t code)
{
    return {&pool, sizeof(T), capacity, 16, code};
}

template <typename T> constexpr ObjPoolRow record_row(MemPool<T>& pool, std::int32_t capacity)
{
    return {&pool, sizeof(T), capacity, 8, 0};
}

const std::array k_rows = {
    row(g_pool_actor, 80, GO_CLASS_ACTOR),
    row(g_pool_skybox, 2, GO_CLASS_SKYBOX),
    row(g_pool_boss1, 1, GO_CLASS_BOSS1),
    row(g_pool_boss2, 1, GO_CLASS_BOSS2),
    row(g_pool_boss3, 1, GO_CLASS_BOSS3),
    row(g_pool_boss4, 1, GO_CLASS_BOSS4),
    row(g_pool_boss5, 1, GO_CLASS_BOSS5),
    row(g_pool_boss7, 1, GO_CLASS_BOSS7),
    row(g_pool_boss8, 1, GO_CLASS_BOSS8),
    row(g_pool_effect, 256, GO_CLASS_EFFECT),
    row(g_pool_emotion, 32, GO_CLASS_EMOTION),
    row(g_pool_locus_sword, 8, GO_CLASS_LOCUS_SWORD),
    row(g_pool_mesh, 512, GO_CLASS_MESH),
    row(g_pool_particle, 2048, GO_CLASS_PARTICLE),
    row(g_pool_popup, 32, GO_CLASS_POPUP),
    row(g_pool_script, 256, GO_CLASS_SCRIPT),
    row(g_pool_xx, 512, GO_CLASS_XX),
    row(g_pool_wnddemo, 1, GO_CLASS_WNDDEMO),
    row(g_pool_wnddialog, 2, GO_CLASS_WNDDIALOG),
    row(g_pool_wndmain2, 1, GO_CLASS_WNDMAIN2),
    row(g_pool_wndshop2, 1, GO_CLASS_WNDSHOP2),
    row(g_pool_wndtext, 1, GO_CLASS_WNDTEXT),
    row(g_pool_wndzzz, 1, GO_CLASS_WNDZZZ),
    record_row(g_pool_ripple, 256),
    record_row(g_pool_attack_player, PARTICLE_ATTACK_PLAYER_RECORDS),
    record_row(g_pool_attack_enemy, PARTICLE_ATTACK_ENEMY_RECORDS),
};

// The actors go first: every object that refers to one has been deleted before.
MemPoolDesc* const k_destroy_order[] = {
    &g_pool_actor,        &g_pool_skybox,      &g_pool_boss1,   &g_pool_boss2,     &g_pool_boss3,
    &g_pool_boss4,        &g_pool_boss5,       &g_pool_boss7,   &g_pool_boss8,     &g_pool_effect,
    &g_pool_emotion,      &g_pool_locus_sword, &g_pool_mesh,    &g_pool_particle,  &g_pool_popup,
    &g_pool_script,       &g_pool_xx,          &g_pool_wnddemo, &g_pool_wnddialog, &g_pool_wndmain2,
    &g_pool_wndshop2,     &g_pool_wndtext,     &g_pool_wndzzz,  &g_pool_ripple,    &g_pool_attack_player,
    &g_pool_attack_enemy,
};

// The pool of each class code, from the table.
const std::array<MemPoolDesc*, GO_CLASS_LIMIT> k_pools_by_class = [] {
    std::array<MemPoolDesc*, GO_CLASS_LIMIT> pools{};
    for (const ObjPoolRow& r : k_rows)
        if (r.class_code) pools[r.class_code] = r.pool;
    return pools;
}();

} // namespace

std::span<const ObjPoolRow> obj_pool_rows()
{
    return k_rows;
}

std::span<MemPoolDesc* const> obj_pool_destroy_order()
{
    return k_destroy_order;
}

HRESULT obj_create_pools()
{
    for (const ObjPoolRow& r : k_rows) {
        r.pool->capacity = r.capacity;
        r.pool->flags = 0;
        r.pool->alignment = r.alignment;
        // A pool that could not be made stays empty, and its class goes without objects.
        mempool_create(*r.pool, r.object_size);
    }
    g_pools_ready = 1;
    return S_OK;
}

void obj_destroy_pools()
{
    for (MemPoolDesc* pool : k_destroy_order)
        mempool_destroy(*pool);
    g_pools_ready = 0;
}

MemPoolDesc& obj_pool_of_class(std::uint8_t class_code)
{
    return *k_pools_by_class[class_code];
}
