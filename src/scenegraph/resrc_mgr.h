// The resource manager: textures (pool 0) and models (pool 1) shared by name through
// reference-counted records and 32-bit handles, loaded on first use, kept until their last
// release or, when cached (keep mode 2), until the scene-change purge. Default-pool textures
// are released before a device reset and loaded again after it.
#pragma once

#include "core/sys.h"
#include "platform/d3d8.h"

#include <cstdint>
#include <string>

// (pool | 0x40) << 24 plus a 24-bit counter value; bits 24-29 give the pool. 0 = none.
using ResourceHandle = std::uint32_t;

constexpr std::uint32_t RESRC_POOL_TEXTURE = 0;
constexpr std::uint32_t RESRC_POOL_MODEL = 1;
constexpr std::uint32_t RESRC_POOL_COUNT = 2;
constexpr std::uint8_t RESRC_KEEP_CACHED = 2; // any other keep mode is plain
constexpr std::uint32_t RESRC_HANDLE_COUNTER_MASK = 0xFFFFFF;
constexpr std::uint32_t RESRC_HANDLE_POOL_MASK = 0x3F000000;

inline std::uint32_t resrc_handle_pool(ResourceHandle handle)
{
    return (handle & RESRC_HANDLE_POOL_MASK) >> 24;
}

// The reserve sizes of the engine's start-up parameters: textures, then models.
inline constexpr std::uint32_t RESRC_RESERVE[RESRC_POOL_COUNT] = {1024, 256};
inline constexpr const char* RESRC_TEXT_INIT = "failed: Subsys ResrcMgr::Initialize";

// What the texture loader is asked for.
struct TextureLoadParams {
    std::uint32_t levels; // 0 = the whole chain
    DWORD usage;
    D3DFORMAT format; // D3DFMT_UNKNOWN keeps the file's own
    D3DPOOL pool;
};

// What Load hands the pool's loader: textures read `texture`, models their load flags.
struct ResrcLoadParams {
    TextureLoadParams texture{};
    std::uint32_t model_flags = 0;
};

// A loaded texture as created: level 0's size, the level count, usage, format and pool, then
// the size of the image the file held.
struct TextureInfo {
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t levels;
    std::uint32_t usage;
    std::uint32_t format;
    std::uint32_t pool;
    std::uint16_t source_width;
    std::uint16_t source_height;
};
static_assert(sizeof(TextureInfo) == 28);

struct ResourceRecord {
    ResourceHandle handle = 0;
    void* object = nullptr; // IDirect3DTexture8 (pool 0) or Model (pool 1); null after a failed restore
    std::uint8_t pool = 0;
    std::uint8_t keep_mode = 0;
    std::int32_t refcount = 0;
    std::string name; // compared without regard to ASCII case
    TextureInfo texture_info{};

    IDirect3DTexture8* texture() const { return static_cast<IDirect3DTexture8*>(object); }
};

// The loader of a pool fills the record's object (and a texture's TextureInfo) from its name;
// destroy frees the object.
struct ResrcLoader {
    HRESULT (*load)(ResourceRecord& record, const ResrcLoadParams& params);
    void (*destroy)(ResourceRecord& record);
};

// The result of the last loader call.
extern HRESULT g_resrc_last_result;

namespace ResrcMgr {
// Destroys what the pools hold, reserves room and restarts the handle counters. Returns S_OK.
HRESULT Initialize(std::uint32_t texture_reserve, std::uint32_t model_reserve);
// Destroys the models, then the textures, and frees the pools; harmless when never started.
void Shutdown();
// The handle of the named resource, loaded when no record has the name (the parameters are then
// used) or shared when one has; 0 for an empty name, a pool other than 0 and 1 or a failed load.
ResourceHandle Load(const char* name, const ResrcLoadParams& params, std::uint32_t pool,
                    std::uint8_t keep_mode);
// Drops one reference of the pool's record holding the object; a plain record is destroyed at
// 0. A null or unknown object does nothing.
void Release(std::uint32_t pool, const void* object);
// The record of the handle, or null. Valid until the pool next changes.
ResourceRecord* Get(ResourceHandle handle);
// The first handle from the pool's counter on that no record of the pool has; 0 for a pool
// other than 0 and 1.
ResourceHandle NewHandle(std::uint32_t pool);
// Destroys every record of the pool, front to back.
void ReleasePool(std::uint32_t pool);
// At a scene change: cached records with at most one reference go, models first.
void PurgeCached();
// Around a device reset: default-pool textures are released to a Direct3D count of 0, then
// loaded again from their records, holding as many Direct3D references as the record has.
void ReleaseDeviceObjects();
void RestoreDeviceObjects();
} // namespace ResrcMgr

// Releases the record's object with the pool's loader and clears it. A default-pool texture is
// released until Direct3D holds no reference, since a restore added one per record reference.
void resrc_destroy_record(ResourceRecord& record);

// Replaces the loader of a pool (0 or 1) and returns the one it had (another pool: nothing). Models join the
// model pool with their loader; until then loading a model fails with E_FAIL.
ResrcLoader resrc_set_loader(std::uint32_t pool, ResrcLoader loader);

// Start-up step SUBSYS_RESRCMGR: Initialize with the parameters' two reserve sizes (none: 0).
HRESULT resrc_init_subsystem(SysInitContext& context);
