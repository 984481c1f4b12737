// The fixed-capacity pools of every object class, the water ripples and the attack records of
// attacking particles: made once at start-up, destroyed at exit. A full pool yields nothing and
// the caller goes on without the object.
#pragma once

#include "core/mempool.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

class GoActor;
class GoBoss1;
class GoBoss2;
class GoBoss3;
class GoBoss4;
class GoBoss5;
class GoBoss7;
class GoBoss8;
class GoEffect;
class GoEmotion;
class GoLocusSword;
class GoMesh;
class GoParticle;
class GoPopup;
class GoScript;
class GoSkyBox;
class GoXx;
class GoWndDemo;
class GoWndDialog;
class GoWndMain2;
class GoWndShop2;
class GoWndText;
class GoWndZzz;
struct Ripple;
struct ParticleAttack;

extern MemPool<GoActor> g_pool_actor;
extern MemPool<GoSkyBox> g_pool_skybox;
extern MemPool<GoBoss1> g_pool_boss1;
extern MemPool<GoBoss2> g_pool_boss2;
extern MemPool<GoBoss3> g_pool_boss3;
extern MemPool<GoBoss4> g_pool_boss4;
extern MemPool<GoBoss5> g_pool_boss5;
extern MemPool<GoBoss7> g_pool_boss7;
extern MemPool<GoBoss8> g_pool_boss8;
extern MemPool<GoEffect> g_pool_effect;
extern MemPool<GoEmotion> g_pool_emotion;
extern MemPool<GoLocusSword> g_pool_locus_sword;
extern MemPool<GoMesh> g_pool_mesh;
extern MemPool<GoParticle> g_pool_particle;
extern MemPool<GoPopup> g_pool_popup;
extern MemPool<GoScript> g_pool_script;
extern MemPool<GoXx> g_pool_xx;
extern MemPool<GoWndDemo> g_pool_wnddemo;
extern MemPool<GoWndDialog> g_pool_wnddialog;
extern MemPool<GoWndMain2> g_pool_wndmain2;
extern MemPool<GoWndShop2> g_pool_wndshop2;
extern MemPool<GoWndText> g_pool_wndtext;
extern MemPool<GoWndZzz> g_pool_wndzzz;
extern MemPool<Ripple> g_pool_ripple;
extern MemPool<ParticleAttack> g_pool_attack_player; // attacking particles of the player's side
extern MemPool<ParticleAttack> g_pool_attack_enemy;

extern std::uint8_t g_pools_ready; // set while all pools exist

// One row of the pool table, in creation order. Code 0: a pool of records, not of objects.
struct ObjPoolRow {
    MemPoolDesc* pool;
    std::size_t object_size;
    std::int32_t capacity;
    std::uint32_t alignment;
    std::uint8_t class_code;
};
std::span<const ObjPoolRow> obj_pool_rows();
std::span<MemPoolDesc* const> obj_pool_destroy_order();

// Creates every pool in the table's order, whatever one of them returns, then sets
// g_pools_ready; S_OK.
HRESULT obj_create_pools();
// Destroys every pool in the destruction order and clears g_pools_ready. The objects have been
// deleted before (obj_destroy_all).
void obj_destroy_pools();
// The pool of the objects of a class code.
MemPoolDesc& obj_pool_of_class(std::uint8_t class_code);

// Takes a slot of the pool and constructs the object in it, which also lists it last in the
// pool's active list; null when the pool is full. T is the pool's class or one of the same size.
template <typename T, typename Pooled, typename... Args> T* obj_create(MemPool<Pooled>& pool, Args&&... args)
{
    static_assert(std::is_base_of_v<Pooled, T> && sizeof(T) == sizeof(Pooled));
    void* slot = pool.Alloc();
    return slot ? new (slot) T(std::forward<Args>(args)...) : nullptr;
}
