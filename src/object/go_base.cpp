#include "object/go_base.h"

#include "object/obj_pools.h"

#include <cstddef>
#include <cstring>

namespace {

std::uint32_t g_object_id_counters[GO_CLASS_LIMIT] = {};

// The id is read and cleared in the slot's bytes, where the slot may hold a deleted object
// that no member access may reach. GoBase has a vtable but no virtual base, so the id lies at
// a fixed offset that compilers give through offsetof.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
constexpr std::size_t k_id_offset = offsetof(GoBase, object_id);
#pragma GCC diagnostic pop

} // namespace

GoBase::GoBase(std::uint32_t id, std::uint8_t code) : class_code(code), object_id(id)
{
    D3DXMatrixIdentity(&world);
    D3DXMatrixIdentity(&rotation);
    status.max_hp = 1.0f;
    status.hp = 1.0f;
    status.status_element = STATUS_ELEMENT_NONE;
}

void GoBase::DeletingDestructor()
{
    MemPoolDesc& pool = obj_pool_of_class(class_code);
    void* slot = this;
    this->~GoBase();
    // Cleared once the object is gone, where no store of a destructor could be dropped as dead.
    const std::uint32_t gone = 0;
    std::memcpy(static_cast<std::byte*>(slot) + k_id_offset, &gone, sizeof gone);
    mempool_free(pool, slot);
}

std::uint32_t go_next_object_id(std::uint8_t class_code)
{
    const std::uint32_t counter = ++g_object_id_counters[class_code];
    return static_cast<std::uint32_t>(class_code) << 24 | (counter & 0xFFFFFF);
}

std::uint32_t go_slot_id(const void* slot)
{
    std::uint32_t id;
    std::memcpy(&id, static_cast<const std::byte*>(slot) + k_id_offset, sizeof id);
    return id;
}

void go_kill(GoBase& object)
{
    object.flags |= GO_FLAG_DEAD;
    object.hit_shape.class_bits &= ~HIT_ACTIVE;
}
