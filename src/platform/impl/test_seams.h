// Seams through which tests steer the platform stand-ins. Game code never calls these.
#pragma once

#include "platform/win_kernel.h"
#include "platform/win_shell.h"
#include "platform/win_types.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

// Replaces the one clock behind QueryPerformanceCounter, QueryPerformanceFrequency and
// timeGetTime by a fake counter running at `frequency` counts per second; timeGetTime then reads
// counter * 1000 / frequency. An empty function restores the real clock.
void seam_set_counter(std::function<std::int64_t()> counter, std::int64_t frequency);
// The same for a millisecond clock: a counter at 1000 counts per second.
void seam_set_clock(std::function<DWORD()> clock);

// Fixes what GetLocalTime reports; null returns to the wall clock.
void seam_set_local_time(const SYSTEMTIME* time);

// Sends the TCP connections that the program makes to one port on 127.0.0.1 to another port there
// instead, so tests can listen on a free port; a `from` of 0 ends the redirection.
void seam_redirect_local_port(std::uint16_t from, std::uint16_t to);

// Replaces what GlobalMemoryStatus reports (total and available physical bytes); 0, 0 restores.
void seam_set_memory_status(SIZE_T total_phys, SIZE_T avail_phys);

// An optional log of the stand-ins' calls that tests inspect ("HeapCompact", "HeapCreate 8192" ...).
void seam_log_enable(bool on);
const std::vector<std::string>& seam_log();
void seam_log_clear();
void seam_log_add(std::string line);

// How many timer periods are currently begun.
int seam_timer_periods();

// Libraries the platform layer provides itself, for LoadLibraryA to find: a name without a
// folder matches any path ending in it, a name with a folder only that path (any case).
struct LibraryExport {
    const char* name;
    FARPROC function;
};
void library_register_builtin(const char* name, std::initializer_list<LibraryExport> exports);
void library_unregister_builtin(const char* name);
