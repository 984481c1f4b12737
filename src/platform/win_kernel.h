// Kernel, multimedia-timer and COM services of the platform, as the game calls them.
// Backed by POSIX: see win_kernel.cpp for how each maps onto Linux.
#pragma once

#include "platform/win_types.h"

// Version record. The stand-in reports an NT 6.1 workstation on every host so behaviour
// never depends on the kernel release; the kernel's name and release fill the service-pack text.
constexpr DWORD VER_PLATFORM_WIN32s = 0;
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
constexpr BYTE VER_NT_WORKSTATION = 1;
constexpr BYTE VER_NT_DOMAIN_CONTROLLER = 2;
constexpr BYTE VER_NT_SERVER = 3;
constexpr WORD VER_SUITE_PERSONAL = 0x200;

struct OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
};
BOOL GetVersionExA(OSVERSIONINFOEXA* info);

// Clocks and the multimedia timer.
struct TIMECAPS {
    UINT wPeriodMin;
    UINT wPeriodMax;
};
constexpr UINT TIMERR_NOERROR = 0;
constexpr UINT TIMERR_NOCANDO = 97;
DWORD timeGetTime();
UINT timeGetDevCaps(TIMECAPS* caps, UINT size);
UINT timeBeginPeriod(UINT period);
UINT timeEndPeriod(UINT period);
BOOL QueryPerformanceCounter(std::int64_t* count);
BOOL QueryPerformanceFrequency(std::int64_t* frequency);
void Sleep(DWORD milliseconds);
DWORD SleepEx(DWORD milliseconds, BOOL alertable);

// The wall clock in the local time zone; the day of the week counts from Sunday = 0.
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth; // 1-12
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
void GetLocalTime(SYSTEMTIME* time);

// Modules, processes and threads.
HMODULE GetModuleHandleA(const char* name);
HANDLE GetCurrentProcess();
HANDLE GetCurrentThread();
DWORD GetCurrentThreadId();
BOOL CloseHandle(HANDLE handle);

constexpr DWORD NORMAL_PRIORITY_CLASS = 0x20;
constexpr DWORD IDLE_PRIORITY_CLASS = 0x40;
constexpr DWORD HIGH_PRIORITY_CLASS = 0x80;
constexpr DWORD REALTIME_PRIORITY_CLASS = 0x100;
constexpr DWORD BELOW_NORMAL_PRIORITY_CLASS = 0x4000;
constexpr DWORD ABOVE_NORMAL_PRIORITY_CLASS = 0x8000;
BOOL SetPriorityClass(HANDLE process, DWORD priority_class);
DWORD GetPriorityClass(HANDLE process);
BOOL GetProcessAffinityMask(HANDLE process, DWORD_PTR* process_mask, DWORD_PTR* system_mask);
BOOL SetProcessAffinityMask(HANDLE process, DWORD_PTR mask);
DWORD_PTR SetThreadAffinityMask(HANDLE thread, DWORD_PTR mask);
BOOL SetProcessWorkingSetSize(HANDLE process, SIZE_T minimum, SIZE_T maximum);

struct SYSTEM_INFO {
    DWORD dwPageSize;
    DWORD dwNumberOfProcessors;
};
void GetSystemInfo(SYSTEM_INFO* info);

// Virtual memory and heaps.
constexpr DWORD MEM_COMMIT = 0x1000;
constexpr DWORD MEM_RESERVE = 0x2000;
constexpr DWORD MEM_RELEASE = 0x8000;
constexpr DWORD PAGE_READWRITE = 0x04;
void* VirtualAlloc(void* address, SIZE_T size, DWORD allocation_type, DWORD protect);
BOOL VirtualFree(void* address, SIZE_T size, DWORD free_type);

struct MEMORYSTATUS {
    DWORD dwLength;
    DWORD dwMemoryLoad;
    SIZE_T dwTotalPhys;
    SIZE_T dwAvailPhys;
    SIZE_T dwTotalPageFile;
    SIZE_T dwAvailPageFile;
    SIZE_T dwTotalVirtual;
    SIZE_T dwAvailVirtual;
};
void GlobalMemoryStatus(MEMORYSTATUS* status);

constexpr DWORD HEAP_NO_SERIALIZE = 0x1;
HANDLE GetProcessHeap();
SIZE_T HeapCompact(HANDLE heap, DWORD flags);
HANDLE HeapCreate(DWORD options, SIZE_T initial_size, SIZE_T maximum_size);
void* HeapAlloc(HANDLE heap, DWORD flags, SIZE_T size);
BOOL HeapFree(HANDLE heap, DWORD flags, void* block);
BOOL HeapDestroy(HANDLE heap);

// COM start-up.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

// The processor's CPUID instruction: false when the processor has none.
bool cpuid_available();
void cpuid_query(std::uint32_t leaf, std::uint32_t registers[4]);
