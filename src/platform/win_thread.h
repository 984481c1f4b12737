// Threads and critical sections of the kernel, as the audio thread uses them. A thread is a
// real host thread behind a handle of the kernel's table (close it with CloseHandle;
// the thread runs on without it). Suspension exists only as a thread's own: a thread suspends
// itself and sleeps on a condition until another thread resumes it.
#pragma once

#include "platform/win_error.h"
#include "platform/win_sync.h" // SECURITY_ATTRIBUTES
#include "platform/win_types.h"

#include <cstdint>
#include <mutex>

using LPTHREAD_START_ROUTINE = DWORD (*)(void* parameter);

constexpr DWORD CREATE_SUSPENDED = 0x00000004;
constexpr DWORD STILL_ACTIVE = 259;

// Starts `start(parameter)` on a new thread; null (GetLastError) when none can be made.
// With CREATE_SUSPENDED it waits for ResumeThread before running.
HANDLE CreateThread(SECURITY_ATTRIBUTES* attributes, SIZE_T stack_size, LPTHREAD_START_ROUTINE start,
                    void* parameter, DWORD flags, DWORD* thread_id);
// The runtime library's thread start: the same thread, its handle as an integer (0 on failure).
std::uintptr_t _beginthreadex(void* security, unsigned stack_size, unsigned (*start)(void*), void* parameter,
                              unsigned flags, unsigned* thread_id);

// Priorities relative to the process. The host may refuse a raise (ordinary users cannot raise
// a thread's priority): the call still succeeds and the thread keeps what it may have.
constexpr int THREAD_PRIORITY_IDLE = -15;
constexpr int THREAD_PRIORITY_LOWEST = -2;
constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
constexpr int THREAD_PRIORITY_HIGHEST = 2;
constexpr int THREAD_PRIORITY_TIME_CRITICAL = 15;
constexpr int THREAD_PRIORITY_ERROR_RETURN = 0x7FFFFFFF;
BOOL SetThreadPriority(HANDLE thread, int priority);
int GetThreadPriority(HANDLE thread); // the priority last set

// Only the calling thread can suspend itself (GetCurrentThread() or its own handle); other
// threads: (DWORD)-1 with ERROR_NOT_SUPPORTED. Both return the previous suspend count.
// A resume that reaches a thread before its suspend is kept and ends that suspend at once,
// so "clear the request, then resume" never loses the wake-up however the two threads
// interleave; a thread that suspends with no resume pending sleeps until one comes.
DWORD SuspendThread(HANDLE thread);
DWORD ResumeThread(HANDLE thread);

// Waits for a thread to end. WAIT_OBJECT_0 when it has ended, WAIT_TIMEOUT after `milliseconds`
// (INFINITE waits for ever), WAIT_FAILED (ERROR_INVALID_HANDLE) for a handle that cannot be
// waited on.
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 0x102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// STILL_ACTIVE while the thread runs, then its start routine's result.
BOOL GetExitCodeThread(HANDLE thread, DWORD* exit_code);

// Recursive, as on the platform: the owning thread may enter again and leaves as often.
struct CRITICAL_SECTION {
    std::recursive_mutex* lock = nullptr; // made by InitializeCriticalSection
    DWORD OwningThread = 0;               // thread id of the owner, 0 when free
    LONG RecursionCount = 0;              // how often the owner has entered
};
void InitializeCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
