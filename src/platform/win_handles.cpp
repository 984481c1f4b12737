#include "platform/impl/win_handles.h"

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <vector>

namespace {

// Table handles are small multiples of four, as the platform's are; real addresses never
// fall this low, so the kernel's other handles (heaps, pseudo handles) cannot collide.
constexpr std::uintptr_t k_first_handle = 0x1000;
constexpr std::uintptr_t k_handle_step = 4;
constexpr std::size_t k_table_capacity = 0x3C00;

thread_local DWORD t_last_error = ERROR_SUCCESS;

std::mutex g_handle_lock;
std::vector<std::shared_ptr<HandleObject>> g_handles;

bool slot_of(HANDLE handle, std::size_t& slot)
{
    auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (value < k_first_handle || (value - k_first_handle) % k_handle_step) return false;
    slot = (value - k_first_handle) / k_handle_step;
    return slot < k_table_capacity;
}

} // namespace

DWORD GetLastError()
{
    return t_last_error;
}
void SetLastError(DWORD code)
{
    t_last_error = code;
}

DWORD win_error_from_errno(int error)
{
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    default:
        return ERROR_INVALID_PARAMETER;
    }
}

HANDLE handle_add(std::shared_ptr<HandleObject> object)
{
    std::lock_guard lock(g_handle_lock);
    std::size_t slot = 0;
    while (slot < g_handles.size() && g_handles[slot])
        ++slot;
    if (slot == k_table_capacity) {
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return nullptr;
    }
    if (slot == g_handles.size()) g_handles.emplace_back();
    g_handles[slot] = std::move(object);
    return reinterpret_cast<HANDLE>(k_first_handle + slot * k_handle_step);
}

std::shared_ptr<HandleObject> handle_lookup(HANDLE handle)
{
    std::size_t slot = 0;
    if (!slot_of(handle, slot)) return nullptr;
    std::lock_guard lock(g_handle_lock);
    return slot < g_handles.size() ? g_handles[slot] : nullptr;
}

bool handle_in_table(HANDLE handle)
{
    std::size_t slot = 0;
    return slot_of(handle, slot);
}

bool handle_close(HANDLE handle)
{
    std::shared_ptr<HandleObject> object;
    std::size_t slot = 0;
    if (slot_of(handle, slot)) {
        std::lock_guard lock(g_handle_lock);
        if (slot < g_handles.size()) object = std::move(g_handles[slot]);
    }
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return true; // the object goes with the last reference, outside the lock
}

int handle_live_count()
{
    std::lock_guard lock(g_handle_lock);
    int count = 0;
    for (const auto& object : g_handles)
        count += object != nullptr;
    return count;
}
