#include "platform/impl/win_handles.h"
#include "platform/win_kernel.h"
#include "platform/win_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

constexpr DWORD k_long_wait_ms = 10000; // only reached when something hangs

// The audio thread's protocol: bit 0 asks it to end, bit 1 to suspend itself after its pass.
constexpr DWORD k_exit = 1;
constexpr DWORD k_suspend = 2;

struct Worker {
    std::atomic<DWORD> control{0};
    std::atomic<int> passes{0};
    std::atomic<bool> suspending{false};
};

DWORD worker_main(void* parameter)
{
    auto& worker = *static_cast<Worker*>(parameter);
    while (!(worker.control.load() & k_exit)) {
        ++worker.passes;
        if (worker.control.load() & k_suspend) {
            worker.suspending = true;
            SuspendThread(GetCurrentThread());
            worker.suspending = false;
        }
    }
    return 7;
}

// Ends the worker as the audio manager does: exit, clear the suspend request, resume, wait.
DWORD stop_worker(Worker& worker, HANDLE thread)
{
    worker.control |= k_exit;
    worker.control &= ~k_suspend;
    ResumeThread(thread);
    return WaitForSingleObject(thread, k_long_wait_ms);
}

void wait_until(const std::atomic<bool>& flag)
{
    while (!flag.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(WinThread, RunsItsRoutineAndKeepsTheExitCode)
{
    int before = handle_live_count();
    std::atomic<bool> release{false};
    auto routine = [](void* parameter) -> DWORD {
        auto& gate = *static_cast<std::atomic<bool>*>(parameter);
        while (!gate.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 42;
    };
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, routine, &release, 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, GetCurrentThreadId());
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);
    release = true;
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_EQ(handle_live_count(), before);
}

TEST(WinThread, RuntimeThreadStartGivesAWaitableHandle)
{
    unsigned id = 0;
    std::uintptr_t handle = _beginthreadex(
        nullptr, 0, [](void*) -> unsigned { return 3; }, nullptr, 0, &id);
    ASSERT_NE(handle, 0u);
    HANDLE thread = reinterpret_cast<HANDLE>(handle);
    EXPECT_EQ(WaitForSingleObject(thread, k_long_wait_ms), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 3u);
    CloseHandle(thread);
}

TEST(WinThread, CreatedSuspendedRunsOnlyAfterResume)
{
    std::atomic<bool> ran{false};
    auto routine = [](void* parameter) -> DWORD {
        static_cast<std::atomic<bool>*>(parameter)->store(true);
        return 0;
    };
    HANDLE thread = CreateThread(nullptr, 0, routine, &ran, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 30), WAIT_TIMEOUT);
    EXPECT_FALSE(ran.load());
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(thread, k_long_wait_ms), WAIT_OBJECT_0);
    EXPECT_TRUE(ran.load());
    CloseHandle(thread);
}

TEST(WinThread, SelfSuspendSleepsUntilResumed)
{
    Worker worker;
    worker.control = k_suspend;
    HANDLE thread = CreateThread(nullptr, 0, worker_main, &worker, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    wait_until(worker.suspending);
    int passes = worker.passes.load();
    EXPECT_EQ(WaitForSingleObject(thread, 30), WAIT_TIMEOUT);
    EXPECT_EQ(worker.passes.load(), passes) << "a suspended thread ran on";
    worker.control &= ~k_suspend;
    EXPECT_EQ(ResumeThread(thread), 1u);
    while (worker.passes.load() == passes)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(stop_worker(worker, thread), WAIT_OBJECT_0);
    CloseHandle(thread);
}

// The resume arrives between the thread's test of the request and its suspend: it is kept, and
// the suspend that follows returns at once instead of sleeping for ever.
TEST(WinThread, ResumeBeforeTheSuspendIsNotLost)
{
    struct Race {
        std::atomic<bool> tested{false};
        std::atomic<bool> resumed{false};
        std::atomic<DWORD> suspend_result{99};
    } race;
    auto routine = [](void* parameter) -> DWORD {
        auto& r = *static_cast<Race*>(parameter);
        r.tested = true; // the request was seen set
        wait_until(r.resumed);
        r.suspend_result = SuspendThread(GetCurrentThread());
        return 0;
    };
    HANDLE thread = CreateThread(nullptr, 0, routine, &race, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    wait_until(race.tested);
    EXPECT_EQ(ResumeThread(thread), 0u); // not suspended yet
    race.resumed = true;
    EXPECT_EQ(WaitForSingleObject(thread, k_long_wait_ms), WAIT_OBJECT_0);
    EXPECT_EQ(race.suspend_result.load(), 0u);
    CloseHandle(thread);
}

TEST(WinThread, ShutdownWhileSuspendedEndsTheThread)
{
    Worker worker;
    worker.control = k_suspend;
    HANDLE thread = CreateThread(nullptr, 0, worker_main, &worker, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    wait_until(worker.suspending);
    EXPECT_EQ(stop_worker(worker, thread), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    CloseHandle(thread);
}

// Pause and resume as fast as the main thread can, in every interleaving the scheduler finds:
// no round may leave the thread asleep with its request cleared.
TEST(WinThread, RapidPauseAndResumeNeverStrandsTheThread)
{
    Worker worker;
    HANDLE thread = CreateThread(nullptr, 0, worker_main, &worker, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    for (int round = 0; round < 2000; ++round) {
        worker.control |= k_suspend;
        if (round % 3 == 0) std::this_thread::yield();
        worker.control &= ~k_suspend;
        ResumeThread(thread);
    }
    int passes = worker.passes.load();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (worker.passes.load() == passes && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GT(worker.passes.load(), passes) << "the thread stayed suspended with no request";
    EXPECT_EQ(stop_worker(worker, thread), WAIT_OBJECT_0);
    CloseHandle(thread);
}

TEST(WinThread, OnlyTheThreadItselfCanSuspendIt)
{
    Worker worker;
    HANDLE thread = CreateThread(nullptr, 0, worker_main, &worker, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    SetLastError(0);
    EXPECT_EQ(SuspendThread(thread), static_cast<DWORD>(-1));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(stop_worker(worker, thread), WAIT_OBJECT_0);
    CloseHandle(thread);
}

TEST(WinThread, PriorityAndAffinityAreBestEffortButChecked)
{
    Worker worker;
    HANDLE thread = CreateThread(nullptr, 0, worker_main, &worker, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    // A raise the host refuses to an ordinary user still succeeds.
    EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL));
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_FALSE(SetThreadPriority(thread, 7));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    DWORD_PTR process_mask = 0, system_mask = 0;
    ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask));
    DWORD_PTR lowest = process_mask & (~process_mask + 1);
    EXPECT_EQ(SetThreadAffinityMask(thread, lowest), process_mask);
    EXPECT_EQ(SetThreadAffinityMask(thread, process_mask), lowest);
    EXPECT_EQ(SetThreadAffinityMask(reinterpret_cast<HANDLE>(std::uintptr_t{0x7FFC}), lowest), 0u);

    EXPECT_EQ(stop_worker(worker, thread), WAIT_OBJECT_0);
    CloseHandle(thread);
}

TEST(WinThread, WaitOnSomethingThatIsNoThreadFails)
{
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(std::uintptr_t{0x7FFC}), 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(ResumeThread(nullptr), static_cast<DWORD>(-1));
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    EXPECT_EQ(section.RecursionCount, 2);
    EXPECT_EQ(section.OwningThread, GetCurrentThreadId());

    std::atomic<bool> entered{false};
    std::thread other([&] {
        EnterCriticalSection(&section);
        entered = true;
        LeaveCriticalSection(&section);
    });
    LeaveCriticalSection(&section);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(entered.load()) << "entered while the owner still held it once";
    LeaveCriticalSection(&section);
    other.join();
    EXPECT_TRUE(entered.load());
    EXPECT_EQ(section.RecursionCount, 0);
    EXPECT_EQ(section.OwningThread, 0u);
    DeleteCriticalSection(&section);
}

TEST(CriticalSection, LeavingWithoutHoldingDoesNothing)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    LeaveCriticalSection(&section);
    EXPECT_EQ(section.RecursionCount, 0);
    EnterCriticalSection(&section);
    EXPECT_EQ(section.RecursionCount, 1);
    LeaveCriticalSection(&section);
    DeleteCriticalSection(&section);
}

} // namespace
