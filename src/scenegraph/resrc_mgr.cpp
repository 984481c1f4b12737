#include "scenegraph/resrc_mgr.h"

#include "core/text.h"
#include "scenegraph/texture.h"

#include <algorithm>
#include <vector>

HRESULT g_resrc_last_result = S_OK;

namespace {

HRESULT load_texture(ResourceRecord& record, const ResrcLoadParams& params)
{
    return tex_load(params.texture, record);
}

void destroy_texture(ResourceRecord& record)
{
    IDirect3DTexture8* texture = record.texture();
    if (record.texture_info.pool != D3DPOOL_DEFAULT) {
        texture->Release();
        return;
    }
    while (texture->Release() > 0) {
    }
}

std::vector<ResourceRecord> g_resrc_pools[RESRC_POOL_COUNT];
std::uint32_t g_resrc_counters[RESRC_POOL_COUNT];
ResrcLoader g_resrc_loaders[RESRC_POOL_COUNT] = {{load_texture, destroy_texture}, {nullptr, nullptr}};

bool handle_in_use(const std::vector<ResourceRecord>& pool, ResourceHandle handle)
{
    return std::any_of(pool.begin(), pool.end(), [&](const ResourceRecord& r) { return r.handle == handle; });
}

bool is_default_pool_texture(const ResourceRecord& record)
{
    return record.pool == RESRC_POOL_TEXTURE && record.texture_info.pool == D3DPOOL_DEFAULT;
}

} // namespace

void resrc_destroy_record(ResourceRecord& record)
{
    if (!record.object) return;
    g_resrc_loaders[record.pool].destroy(record);
    record.object = nullptr;
}

ResrcLoader resrc_set_loader(std::uint32_t pool, ResrcLoader loader)
{
    if (pool >= RESRC_POOL_COUNT) return {};
    ResrcLoader previous = g_resrc_loaders[pool];
    g_resrc_loaders[pool] = loader;
    return previous;
}

HRESULT ResrcMgr::Initialize(std::uint32_t texture_reserve, std::uint32_t model_reserve)
{
    const std::uint32_t reserve[RESRC_POOL_COUNT] = {texture_reserve, model_reserve};
    for (std::uint32_t pool = 0; pool < RESRC_POOL_COUNT; ++pool) {
        ReleasePool(pool);
        g_resrc_pools[pool].reserve(reserve[pool]);
        g_resrc_counters[pool] = 0;
    }
    g_resrc_last_result = S_OK;
    return S_OK;
}

void ResrcMgr::Shutdown()
{
    ReleasePool(RESRC_POOL_MODEL);
    ReleasePool(RESRC_POOL_TEXTURE);
    for (std::vector<ResourceRecord>& pool : g_resrc_pools)
        std::vector<ResourceRecord>().swap(pool);
}

ResourceHandle ResrcMgr::Load(const char* name, const ResrcLoadParams& params, std::uint32_t pool,
                              std::uint8_t keep_mode)
{
    if (!name || !*name) return 0;
    if (pool >= RESRC_POOL_COUNT || !g_resrc_loaders[pool].load) {
        g_resrc_last_result = E_FAIL;
        return 0;
    }
    std::vector<ResourceRecord>& records = g_resrc_pools[pool];
    for (ResourceRecord& record : records)
        if (sys_names_equal(record.name.c_str(), name)) {
            ++record.refcount;
            return record.handle;
        }

    ResourceRecord record;
    record.pool = static_cast<std::uint8_t>(pool);
    record.keep_mode = keep_mode;
    record.refcount = keep_mode == RESRC_KEEP_CACHED ? 2 : 1;
    record.name = name;
    g_resrc_last_result = g_resrc_loaders[pool].load(record, params);
    if (FAILED(g_resrc_last_result)) return 0;
    record.handle = NewHandle(pool);
    records.push_back(std::move(record));
    return records.back().handle;
}

void ResrcMgr::Release(std::uint32_t pool, const void* object)
{
    if (pool >= RESRC_POOL_COUNT || !object) return;
    std::vector<ResourceRecord>& records = g_resrc_pools[pool];
    auto it = std::find_if(records.begin(), records.end(),
                           [&](const ResourceRecord& record) { return record.object == object; });
    if (it == records.end()) return;
    if (--it->refcount > 0 || it->keep_mode == RESRC_KEEP_CACHED) return;
    resrc_destroy_record(*it);
    records.erase(it);
}

ResourceRecord* ResrcMgr::Get(ResourceHandle handle)
{
    std::uint32_t pool = resrc_handle_pool(handle);
    if (pool >= RESRC_POOL_COUNT) return nullptr;
    for (ResourceRecord& record : g_resrc_pools[pool])
        if (record.handle == handle) return &record;
    return nullptr;
}

ResourceHandle ResrcMgr::NewHandle(std::uint32_t pool)
{
    if (pool >= RESRC_POOL_COUNT) return 0;
    std::uint32_t& counter = g_resrc_counters[pool];
    const ResourceHandle base = (pool | 0x40) << 24;
    while (handle_in_use(g_resrc_pools[pool], base + counter))
        counter = counter >= RESRC_HANDLE_COUNTER_MASK ? 0 : counter + 1;
    return base + counter;
}

void ResrcMgr::ReleasePool(std::uint32_t pool)
{
    if (pool >= RESRC_POOL_COUNT) return;
    for (ResourceRecord& record : g_resrc_pools[pool])
        resrc_destroy_record(record);
    g_resrc_pools[pool].clear();
}

void ResrcMgr::PurgeCached()
{
    for (std::uint32_t pool : {RESRC_POOL_MODEL, RESRC_POOL_TEXTURE})
        std::erase_if(g_resrc_pools[pool], [](ResourceRecord& record) {
            if (record.keep_mode != RESRC_KEEP_CACHED || record.refcount > 1) return false;
            resrc_destroy_record(record);
            return true;
        });
}

void ResrcMgr::ReleaseDeviceObjects()
{
    for (ResourceRecord& record : g_resrc_pools[RESRC_POOL_TEXTURE])
        if (record.object && is_default_pool_texture(record)) resrc_destroy_record(record);
}

void ResrcMgr::RestoreDeviceObjects()
{
    for (ResourceRecord& record : g_resrc_pools[RESRC_POOL_TEXTURE]) {
        if (record.object || !is_default_pool_texture(record)) continue;
        ResrcLoadParams params;
        params.texture = {record.texture_info.levels, 0, static_cast<D3DFORMAT>(record.texture_info.format),
                          D3DPOOL_DEFAULT};
        g_resrc_last_result = g_resrc_loaders[RESRC_POOL_TEXTURE].load(record, params);
        if (FAILED(g_resrc_last_result) || !record.object) continue;
        for (std::int32_t i = 1; i < record.refcount; ++i)
            record.texture()->AddRef();
    }
}

HRESULT resrc_init_subsystem(SysInitContext& context)
{
    const std::uint32_t* reserve = context.params.resource_reserve;
    return ResrcMgr::Initialize(reserve ? reserve[0] : 0, reserve ? reserve[1] : 0);
}
