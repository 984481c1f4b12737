#include "platform/win_kernel.h"

#include "platform/impl/seams_internal.h"
#include "platform/impl/win_handles.h"
#include "platform/win_thread.h"

#include <cpuid.h>
#include <malloc.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace {

HANDLE const k_current_process = reinterpret_cast<HANDLE>(std::intptr_t{-1});
HANDLE const k_current_thread = reinterpret_cast<HANDLE>(std::intptr_t{-2});
HANDLE const k_process_heap = reinterpret_cast<HANDLE>(std::intptr_t{-3});

int g_timer_periods = 0;
std::optional<SYSTEMTIME> g_seam_local_time;
DWORD g_priority_class = NORMAL_PRIORITY_CLASS;

std::mutex g_virtual_lock;
std::map<void*, SIZE_T> g_virtual_blocks;

// A private heap: a list of its blocks, so destroying it frees what is left.
struct PrivateHeap {
    SIZE_T maximum;
    std::map<void*, SIZE_T> blocks;
};

std::uint64_t monotonic_ns()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

DWORD_PTR mask_from_set(const cpu_set_t& set)
{
    DWORD_PTR mask = 0;
    for (unsigned cpu = 0; cpu < sizeof(DWORD_PTR) * 8; ++cpu)
        if (CPU_ISSET(cpu, &set)) mask |= DWORD_PTR{1} << cpu;
    return mask;
}

cpu_set_t set_from_mask(DWORD_PTR mask)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    for (unsigned cpu = 0; cpu < sizeof(DWORD_PTR) * 8; ++cpu)
        if (mask & (DWORD_PTR{1} << cpu)) CPU_SET(cpu, &set);
    return set;
}

DWORD_PTR system_affinity_mask()
{
    long count = sysconf(_SC_NPROCESSORS_CONF);
    if (count >= static_cast<long>(sizeof(DWORD_PTR) * 8)) return ~DWORD_PTR{0};
    return (DWORD_PTR{1} << count) - 1;
}

int nice_of_class(DWORD priority_class)
{
    switch (priority_class) {
    case IDLE_PRIORITY_CLASS:
        return 19;
    case BELOW_NORMAL_PRIORITY_CLASS:
        return 5;
    case ABOVE_NORMAL_PRIORITY_CLASS:
        return -5;
    case HIGH_PRIORITY_CLASS:
        return -10;
    case REALTIME_PRIORITY_CLASS:
        return -20;
    default:
        return 0;
    }
}

bool is_priority_class(DWORD priority_class)
{
    switch (priority_class) {
    case IDLE_PRIORITY_CLASS:
    case BELOW_NORMAL_PRIORITY_CLASS:
    case NORMAL_PRIORITY_CLASS:
    case ABOVE_NORMAL_PRIORITY_CLASS:
    case HIGH_PRIORITY_CLASS:
    case REALTIME_PRIORITY_CLASS:
        return true;
    default:
        return false;
    }
}

std::size_t meminfo_bytes(const char* key)
{
    std::ifstream in("/proc/meminfo");
    std::string name;
    std::size_t kib = 0;
    std::string unit;
    while (in >> name >> kib >> unit)
        if (name == key) return kib * 1024;
    return 0;
}

} // namespace

BOOL GetVersionExA(OSVERSIONINFOEXA* info)
{
    if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOEXA)) return FALSE;
    *info = OSVERSIONINFOEXA{};
    info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    info->dwMajorVersion = 6;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 7601;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->wProductType = VER_NT_WORKSTATION;
    utsname name{};
    if (uname(&name) == 0)
        std::snprintf(info->szCSDVersion, sizeof info->szCSDVersion, "%.60s %.60s", name.sysname,
                      name.release);
    return TRUE;
}

DWORD timeGetTime()
{
    if (g_seam_counter) {
        std::int64_t count = g_seam_counter(), rate = g_seam_counter_frequency;
        return static_cast<DWORD>(count / rate * 1000 + count % rate * 1000 / rate);
    }
    return static_cast<DWORD>(monotonic_ns() / 1000000);
}

UINT timeGetDevCaps(TIMECAPS* caps, UINT size)
{
    if (!caps || size < sizeof(TIMECAPS)) return TIMERR_NOCANDO;
    caps->wPeriodMin = 1;
    caps->wPeriodMax = 1000000;
    return TIMERR_NOERROR;
}

// Linux timers already have sub-millisecond resolution; the count keeps begin and end paired.
UINT timeBeginPeriod(UINT period)
{
    if (period == 0) return TIMERR_NOCANDO;
    ++g_timer_periods;
    return TIMERR_NOERROR;
}

UINT timeEndPeriod(UINT period)
{
    if (period == 0 || g_timer_periods == 0) return TIMERR_NOCANDO;
    --g_timer_periods;
    return TIMERR_NOERROR;
}

int seam_timer_periods()
{
    return g_timer_periods;
}

void GetLocalTime(SYSTEMTIME* time)
{
    if (!time) return;
    if (g_seam_local_time) {
        *time = *g_seam_local_time;
        return;
    }
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto milliseconds = duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    const auto word = [](auto value) { return static_cast<WORD>(value); };
    time->wYear = word(local.tm_year + 1900);
    time->wMonth = word(local.tm_mon + 1);
    time->wDayOfWeek = word(local.tm_wday);
    time->wDay = word(local.tm_mday);
    time->wHour = word(local.tm_hour);
    time->wMinute = word(local.tm_min);
    time->wSecond = word(std::min(local.tm_sec, 59)); // the platform's clock knows no leap second
    time->wMilliseconds = word(milliseconds);
}

void seam_set_local_time(const SYSTEMTIME* time)
{
    g_seam_local_time = time ? std::optional(*time) : std::nullopt;
}

BOOL QueryPerformanceCounter(std::int64_t* count)
{
    if (!count) return FALSE;
    *count = g_seam_counter ? g_seam_counter() : static_cast<std::int64_t>(monotonic_ns());
    return TRUE;
}

BOOL QueryPerformanceFrequency(std::int64_t* frequency)
{
    if (!frequency) return FALSE;
    *frequency = g_seam_counter ? g_seam_counter_frequency : 1000000000;
    return TRUE;
}

void Sleep(DWORD milliseconds)
{
    SleepEx(milliseconds, FALSE);
}

// Nothing in this program queues work to a sleeping thread, so an alertable sleep
// never returns early: completions of file I/O arrive before their calls return.
DWORD SleepEx(DWORD milliseconds, BOOL)
{
    if (milliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return 0;
}

HMODULE GetModuleHandleA(const char* name)
{
    static int module_anchor;
    if (name) return nullptr;
    return reinterpret_cast<HMODULE>(&module_anchor);
}

HANDLE GetCurrentProcess()
{
    return k_current_process;
}
HANDLE GetCurrentThread()
{
    return k_current_thread;
}
DWORD GetCurrentThreadId()
{
    return static_cast<DWORD>(syscall(SYS_gettid));
}

// Files and mappings live in the handle table; the kernel's other handles are plain values.
BOOL CloseHandle(HANDLE handle)
{
    if (handle_in_table(handle)) return handle_close(handle) ? TRUE : FALSE;
    if (handle && handle != INVALID_HANDLE_VALUE) return TRUE;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

// Raising priority needs privileges on Linux; like the platform when it cannot grant a class
// fully, the call succeeds and the process keeps the best it may have.
BOOL SetPriorityClass(HANDLE process, DWORD priority_class)
{
    if (process != k_current_process || !is_priority_class(priority_class)) return FALSE;
    if (setpriority(PRIO_PROCESS, 0, nice_of_class(priority_class)) != 0 &&
        nice_of_class(priority_class) >= getpriority(PRIO_PROCESS, 0))
        return FALSE;
    g_priority_class = priority_class;
    return TRUE;
}

DWORD GetPriorityClass(HANDLE process)
{
    return process == k_current_process ? g_priority_class : 0;
}

BOOL GetProcessAffinityMask(HANDLE process, DWORD_PTR* process_mask, DWORD_PTR* system_mask)
{
    if (process != k_current_process || !process_mask || !system_mask) return FALSE;
    cpu_set_t set;
    if (sched_getaffinity(getpid(), sizeof set, &set) != 0) return FALSE;
    *process_mask = mask_from_set(set);
    *system_mask = system_affinity_mask();
    return TRUE;
}

BOOL SetProcessAffinityMask(HANDLE process, DWORD_PTR mask)
{
    if (process != k_current_process || mask == 0 || (mask & ~system_affinity_mask())) return FALSE;
    cpu_set_t set = set_from_mask(mask);
    return sched_setaffinity(getpid(), sizeof set, &set) == 0 ? TRUE : FALSE;
}

DWORD_PTR SetThreadAffinityMask(HANDLE thread, DWORD_PTR mask)
{
    pthread_t posix_id;
    if (mask == 0 || !thread_posix_id(thread, &posix_id)) return 0;
    cpu_set_t old_set;
    if (pthread_getaffinity_np(posix_id, sizeof old_set, &old_set) != 0) return 0;
    cpu_set_t set = set_from_mask(mask);
    if (pthread_setaffinity_np(posix_id, sizeof set, &set) != 0) return 0;
    return mask_from_set(old_set);
}

// Linux has no working-set quota to set; the sizes are a hint the platform may ignore as well.
BOOL SetProcessWorkingSetSize(HANDLE process, SIZE_T minimum, SIZE_T maximum)
{
    return process == k_current_process && minimum <= maximum ? TRUE : FALSE;
}

void GetSystemInfo(SYSTEM_INFO* info)
{
    info->dwPageSize = static_cast<DWORD>(sysconf(_SC_PAGESIZE));
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    info->dwNumberOfProcessors = online > 0 ? static_cast<DWORD>(online) : 1;
}

void* VirtualAlloc(void* address, SIZE_T size, DWORD allocation_type, DWORD protect)
{
    if (address || size == 0 || !(allocation_type & MEM_RESERVE) || protect != PAGE_READWRITE) return nullptr;
    int prot = (allocation_type & MEM_COMMIT) ? PROT_READ | PROT_WRITE : PROT_NONE;
    void* block = mmap(nullptr, size, prot, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return nullptr;
    std::lock_guard lock(g_virtual_lock);
    g_virtual_blocks[block] = size;
    return block;
}

BOOL VirtualFree(void* address, SIZE_T size, DWORD free_type)
{
    if (free_type != MEM_RELEASE || size != 0) return FALSE;
    std::lock_guard lock(g_virtual_lock);
    auto it = g_virtual_blocks.find(address);
    if (it == g_virtual_blocks.end()) return FALSE;
    munmap(it->first, it->second);
    g_virtual_blocks.erase(it);
    return TRUE;
}

void GlobalMemoryStatus(MEMORYSTATUS* status)
{
    *status = MEMORYSTATUS{};
    status->dwLength = sizeof(MEMORYSTATUS);
    if (g_seam_total_phys) {
        status->dwTotalPhys = g_seam_total_phys;
        status->dwAvailPhys = g_seam_avail_phys;
    } else {
        struct sysinfo info {};
        sysinfo(&info);
        status->dwTotalPhys = static_cast<SIZE_T>(info.totalram) * info.mem_unit;
        status->dwAvailPhys = meminfo_bytes("MemAvailable:");
        status->dwTotalPageFile = static_cast<SIZE_T>(info.totalswap) * info.mem_unit;
        status->dwAvailPageFile = static_cast<SIZE_T>(info.freeswap) * info.mem_unit;
    }
    if (status->dwTotalPhys)
        status->dwMemoryLoad = static_cast<DWORD>(100 - status->dwAvailPhys * 100 / status->dwTotalPhys);
    status->dwTotalVirtual = SIZE_T{1} << 47;
    status->dwAvailVirtual = status->dwTotalVirtual;
}

HANDLE GetProcessHeap()
{
    return k_process_heap;
}

// The C library's heap is the process heap: trimming returns its free pages to the system.
SIZE_T HeapCompact(HANDLE heap, DWORD)
{
    if (heap != k_process_heap) return 0;
    seam_log_add("HeapCompact");
    malloc_trim(0);
    return 1;
}

HANDLE HeapCreate(DWORD, SIZE_T initial_size, SIZE_T maximum_size)
{
    seam_log_add("HeapCreate " + std::to_string(initial_size));
    return new PrivateHeap{maximum_size, {}};
}

void* HeapAlloc(HANDLE heap, DWORD, SIZE_T size)
{
    if (!heap) return nullptr;
    if (heap == k_process_heap) return std::malloc(size ? size : 1);
    auto* private_heap = static_cast<PrivateHeap*>(heap);
    SIZE_T used = 0;
    for (const auto& block : private_heap->blocks)
        used += block.second;
    if (private_heap->maximum && used + size > private_heap->maximum) return nullptr;
    void* block = std::malloc(size ? size : 1);
    if (block) private_heap->blocks[block] = size;
    return block;
}

BOOL HeapFree(HANDLE heap, DWORD, void* block)
{
    if (!heap) return FALSE;
    if (heap == k_process_heap) {
        std::free(block);
        return TRUE;
    }
    auto* private_heap = static_cast<PrivateHeap*>(heap);
    if (private_heap->blocks.erase(block) == 0) return FALSE;
    std::free(block);
    return TRUE;
}

BOOL HeapDestroy(HANDLE heap)
{
    if (!heap || heap == k_process_heap) return FALSE;
    auto* private_heap = static_cast<PrivateHeap*>(heap);
    for (const auto& block : private_heap->blocks)
        std::free(block.first);
    delete private_heap;
    return TRUE;
}

// Nothing here needs an apartment; the counter pairs start-up with shutdown as COM does.
static int g_com_users = 0;

HRESULT CoInitialize(void*)
{
    return g_com_users++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (g_com_users > 0) --g_com_users;
}

bool cpuid_available()
{
    // Every x86-64 processor has the instruction; the flags-register test is what the C
    // library's helper performs on 32-bit builds.
    unsigned eax, ebx, ecx, edx;
    return __get_cpuid(0, &eax, &ebx, &ecx, &edx) != 0;
}

void cpuid_query(std::uint32_t leaf, std::uint32_t registers[4])
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    __cpuid_count(leaf, 0, eax, ebx, ecx, edx);
    registers[0] = eax;
    registers[1] = ebx;
    registers[2] = ecx;
    registers[3] = edx;
}
