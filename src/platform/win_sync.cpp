#include "platform/win_sync.h"

#include "platform/impl/runtime_dir.h"
#include "platform/impl/win_handles.h"
#include "platform/win_kernel.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace {

// One mutex object of this process; every handle to it shares it, as on the platform.
class MutexObject : public HandleObject {
public:
    MutexObject(std::string path, std::string guard_path, int fd)
        : m_path(std::move(path)), m_guard_path(std::move(guard_path)), m_fd(fd)
    {
    }
    ~MutexObject() override;

    void take_ownership();
    bool release();

private:
    std::string m_path; // empty for a mutex without a name
    std::string m_guard_path;
    int m_fd;
    std::mutex m_lock;
    DWORD m_owner = 0;
    int m_owned_count = 0;
};

std::mutex g_named_lock;
std::map<std::string, std::weak_ptr<MutexObject>> g_named; // by lock-file path

// Creating, opening and removing lock files of one runtime folder go one at a time across all
// processes, so the test for "nobody holds it" and the action on its answer see the same state.
class GuardLock {
public:
    explicit GuardLock(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        if (m_fd >= 0) flock(m_fd, LOCK_EX);
    }
    ~GuardLock()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    GuardLock(const GuardLock&) = delete;
    GuardLock& operator=(const GuardLock&) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd;
};

std::string guard_path_for(const std::string& object_path)
{
    return object_path.substr(0, object_path.rfind('/') + 1) + "kro.guard.mutex";
}

bool nobody_holds(int fd)
{
    return flock(fd, LOCK_EX | LOCK_NB) == 0;
}

// Our own lock was closed first: the file goes only when no other process (a forked child
// sharing the descriptor included) still holds it.
void remove_if_unheld(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return;
    if (nobody_holds(fd)) unlink(path.c_str());
    ::close(fd);
}

MutexObject::~MutexObject()
{
    if (m_path.empty()) return;
    {
        std::lock_guard lock(g_named_lock);
        auto entry = g_named.find(m_path);
        if (entry != g_named.end() && entry->second.expired()) g_named.erase(entry);
    }
    GuardLock guard(m_guard_path);
    ::close(m_fd);
    if (guard.held()) remove_if_unheld(m_path);
}

void MutexObject::take_ownership()
{
    std::lock_guard lock(m_lock);
    m_owner = GetCurrentThreadId();
    m_owned_count = 1;
}

bool MutexObject::release()
{
    std::lock_guard lock(m_lock);
    if (m_owned_count == 0 || m_owner != GetCurrentThreadId()) return false;
    if (--m_owned_count == 0) m_owner = 0;
    return true;
}

HANDLE add_handle(const std::shared_ptr<MutexObject>& object, DWORD last_error)
{
    HANDLE handle = handle_add(object);
    if (handle) SetLastError(last_error);
    return handle;
}

bool name_fits(const char* name)
{
    if (std::strlen(name) < MAX_PATH) return true;
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
}

// The lock-file path of a name; empty (last error set) when the runtime folder is unusable.
std::string path_of(const char* name)
{
    std::string path = runtime_object_path("mutex", name);
    if (path.empty()) SetLastError(win_error_from_errno(errno));
    return path;
}

std::shared_ptr<MutexObject> find_live(const std::string& path)
{
    std::lock_guard lock(g_named_lock);
    auto entry = g_named.find(path);
    return entry == g_named.end() ? nullptr : entry->second.lock();
}

std::shared_ptr<MutexObject> remember(const std::string& path, int fd)
{
    auto object = std::make_shared<MutexObject>(path, guard_path_for(path), fd);
    std::lock_guard lock(g_named_lock);
    g_named[path] = object;
    return object;
}

} // namespace

HANDLE CreateMutexA(SECURITY_ATTRIBUTES* attributes, BOOL initial_owner, const char* name)
{
    if (attributes) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    if (!name) {
        auto object = std::make_shared<MutexObject>("", "", -1);
        if (initial_owner) object->take_ownership();
        return add_handle(object, ERROR_SUCCESS);
    }
    if (!name_fits(name)) return nullptr;
    std::string path = path_of(name);
    if (path.empty()) return nullptr;
    if (auto object = find_live(path)) return add_handle(object, ERROR_ALREADY_EXISTS);

    GuardLock guard(guard_path_for(path));
    int fd = guard.held() ? ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600) : -1;
    if (fd < 0) {
        // With O_CREAT only a missing runtime folder gives ENOENT.
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : win_error_from_errno(errno));
        return nullptr;
    }
    bool created = nobody_holds(fd);
    flock(fd, LOCK_SH);
    auto object = remember(path, fd);
    if (created && initial_owner) object->take_ownership();
    return add_handle(object, created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
}

HANDLE OpenMutexA(DWORD, BOOL inherit_handle, const char* name)
{
    if (inherit_handle) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!name_fits(name)) return nullptr;
    std::string path = path_of(name);
    if (path.empty()) return nullptr;
    if (auto object = find_live(path)) return add_handle(object, ERROR_SUCCESS);

    GuardLock guard(guard_path_for(path));
    int fd = guard.held() ? ::open(path.c_str(), O_RDWR | O_CLOEXEC) : -1;
    if (fd < 0) {
        SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : win_error_from_errno(errno));
        return nullptr;
    }
    if (nobody_holds(fd)) {
        // A file left by a process that ended: the mutex went with it.
        unlink(path.c_str());
        ::close(fd);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    flock(fd, LOCK_SH);
    return add_handle(remember(path, fd), ERROR_SUCCESS);
}

BOOL ReleaseMutex(HANDLE mutex)
{
    auto object = handle_get<MutexObject>(mutex);
    if (!object) return FALSE;
    if (object->release()) return TRUE;
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
}
