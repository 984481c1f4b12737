#include "platform/win_thread.h"

#include "platform/impl/win_handles.h"
#include "platform/win_kernel.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

static_assert(std::is_same_v<pthread_t, unsigned long>);
static_assert(std::is_same_v<LPTHREAD_START_ROUTINE, unsigned (*)(void*)>);

namespace {

class ThreadObject final : public WaitableObject {
public:
    bool wait(DWORD milliseconds) override
    {
        std::unique_lock hold(lock);
        auto ended = [this] { return finished; };
        if (milliseconds == INFINITE)
            changed.wait(hold, ended);
        else
            changed.wait_for(hold, std::chrono::milliseconds(milliseconds), ended);
        return finished;
    }

    std::mutex lock;
    std::condition_variable changed;
    DWORD suspend_count = 0;
    bool resume_pending = false; // a resume that came before the thread's own suspend
    bool started = false;
    bool finished = false;
    DWORD exit_code = STILL_ACTIVE;
    pid_t host_id = 0;
    pthread_t posix_id = 0;
    int priority = THREAD_PRIORITY_NORMAL;
};

struct ThreadStart {
    std::shared_ptr<ThreadObject> thread;
    LPTHREAD_START_ROUTINE start;
    void* parameter;
};

thread_local ThreadObject* t_thread = nullptr;        // the calling thread's object, if made here
thread_local int t_priority = THREAD_PRIORITY_NORMAL; // of a thread not made here

HANDLE const k_current_thread = GetCurrentThread();

void* thread_entry(void* argument)
{
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(argument));
    ThreadObject& self = *start->thread;
    t_thread = &self;
    {
        std::unique_lock hold(self.lock);
        self.host_id = gettid();
        self.posix_id = pthread_self();
        self.started = true;
        self.changed.notify_all();
        self.changed.wait(hold, [&] { return self.suspend_count == 0; }); // CREATE_SUSPENDED
    }
    DWORD code = start->start(start->parameter);
    {
        std::lock_guard hold(self.lock);
        self.exit_code = code;
        self.finished = true;
    }
    self.changed.notify_all();
    return nullptr;
}

// The thread object behind a handle; the pseudo handle stands for the calling thread, which
// has an object only when it was started here.
std::shared_ptr<ThreadObject> thread_of(HANDLE thread)
{
    if (thread == k_current_thread) {
        if (t_thread) return std::shared_ptr<ThreadObject>(std::shared_ptr<ThreadObject>{}, t_thread);
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return handle_get<ThreadObject>(thread);
}

// Nice values for the platform's priorities, relative to the process's own.
int nice_offset(int priority)
{
    switch (priority) {
    case THREAD_PRIORITY_IDLE:
        return 19;
    case THREAD_PRIORITY_LOWEST:
        return 10;
    case THREAD_PRIORITY_BELOW_NORMAL:
        return 5;
    case THREAD_PRIORITY_ABOVE_NORMAL:
        return -5;
    case THREAD_PRIORITY_HIGHEST:
        return -10;
    case THREAD_PRIORITY_TIME_CRITICAL:
        return -20;
    default:
        return 0;
    }
}

bool is_priority(int priority)
{
    return priority == THREAD_PRIORITY_IDLE || priority == THREAD_PRIORITY_TIME_CRITICAL ||
           (priority >= THREAD_PRIORITY_LOWEST && priority <= THREAD_PRIORITY_HIGHEST);
}

} // namespace

HANDLE CreateThread(SECURITY_ATTRIBUTES*, SIZE_T stack_size, LPTHREAD_START_ROUTINE start, void* parameter,
                    DWORD flags, DWORD* thread_id)
{
    if (!start) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread = std::make_shared<ThreadObject>();
    thread->suspend_count = (flags & CREATE_SUSPENDED) ? 1 : 0;
    HANDLE handle = handle_add(thread);
    if (!handle) return nullptr;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stack_size) pthread_attr_setstacksize(&attributes, std::max<SIZE_T>(stack_size, PTHREAD_STACK_MIN));
    auto* argument = new ThreadStart{thread, start, parameter};
    pthread_t posix_id;
    int error = pthread_create(&posix_id, &attributes, thread_entry, argument);
    pthread_attr_destroy(&attributes);
    if (error) {
        delete argument;
        handle_close(handle);
        SetLastError(win_error_from_errno(error));
        return nullptr;
    }
    std::unique_lock hold(thread->lock);
    thread->changed.wait(hold, [&] { return thread->started; });
    if (thread_id) *thread_id = static_cast<DWORD>(thread->host_id);
    return handle;
}

std::uintptr_t _beginthreadex(void* security, unsigned stack_size, unsigned (*start)(void*), void* parameter,
                              unsigned flags, unsigned* thread_id)
{
    return reinterpret_cast<std::uintptr_t>(CreateThread(static_cast<SECURITY_ATTRIBUTES*>(security),
                                                         stack_size, start, parameter, flags, thread_id));
}

BOOL SetThreadPriority(HANDLE thread, int priority)
{
    if (!is_priority(priority)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    pid_t host_id = gettid();
    std::shared_ptr<ThreadObject> object;
    if (thread != k_current_thread || t_thread) {
        object = thread_of(thread);
        if (!object) return FALSE;
        std::lock_guard hold(object->lock);
        object->priority = priority;
        if (object->finished) return TRUE; // its host id may belong to another thread by now
        host_id = object->host_id;
    } else {
        t_priority = priority;
    }
    int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    int nice = std::clamp(base + nice_offset(priority), -20, 19);
    // Ordinary users may not raise a priority: the thread then keeps what it has.
    setpriority(PRIO_PROCESS, static_cast<id_t>(host_id), nice);
    return TRUE;
}

int GetThreadPriority(HANDLE thread)
{
    if (thread == k_current_thread && !t_thread) return t_priority;
    auto object = thread_of(thread);
    if (!object) return THREAD_PRIORITY_ERROR_RETURN;
    std::lock_guard hold(object->lock);
    return object->priority;
}

DWORD SuspendThread(HANDLE thread)
{
    auto object = thread_of(thread);
    if (!object) return static_cast<DWORD>(-1);
    if (object.get() != t_thread) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return static_cast<DWORD>(-1);
    }
    std::unique_lock hold(object->lock);
    if (object->resume_pending) {
        object->resume_pending = false;
        return 0;
    }
    DWORD previous = object->suspend_count++;
    object->changed.wait(hold, [&] { return object->suspend_count == 0; });
    return previous;
}

DWORD ResumeThread(HANDLE thread)
{
    auto object = thread_of(thread);
    if (!object) return static_cast<DWORD>(-1);
    std::lock_guard hold(object->lock);
    DWORD previous = object->suspend_count;
    if (previous > 0) {
        if (--object->suspend_count == 0) object->changed.notify_all();
    } else if (!object->finished) {
        object->resume_pending = true;
    }
    return previous;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    auto object = handle_get<WaitableObject>(handle);
    if (!object) return WAIT_FAILED;
    return object->wait(milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* exit_code)
{
    auto object = thread_of(thread);
    if (!object || !exit_code) return FALSE;
    std::lock_guard hold(object->lock);
    *exit_code = object->finished ? object->exit_code : STILL_ACTIVE;
    return TRUE;
}

bool thread_posix_id(HANDLE thread, unsigned long* posix_id)
{
    if (thread == k_current_thread) {
        *posix_id = pthread_self();
        return true;
    }
    auto object = handle_get<ThreadObject>(thread);
    if (!object) return false;
    std::lock_guard hold(object->lock);
    *posix_id = object->posix_id;
    return !object->finished;
}

void InitializeCriticalSection(CRITICAL_SECTION* section)
{
    section->lock = new std::recursive_mutex;
    section->OwningThread = 0;
    section->RecursionCount = 0;
}

void EnterCriticalSection(CRITICAL_SECTION* section)
{
    if (!section->lock) {
        std::fputs("EnterCriticalSection: the section was never initialised\n", stderr);
        std::abort();
    }
    section->lock->lock();
    section->OwningThread = GetCurrentThreadId();
    ++section->RecursionCount;
}

// Leaving a section the caller does not hold does nothing.
void LeaveCriticalSection(CRITICAL_SECTION* section)
{
    if (!section->lock || section->RecursionCount == 0 || section->OwningThread != GetCurrentThreadId())
        return;
    if (--section->RecursionCount == 0) section->OwningThread = 0;
    section->lock->unlock();
}

void DeleteCriticalSection(CRITICAL_SECTION* section)
{
    delete section->lock;
    section->lock = nullptr;
    section->OwningThread = 0;
    section->RecursionCount = 0;
}
