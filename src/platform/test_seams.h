// Seams through which tests steer the platform stand-ins. Game code never calls these.
#pragma once

#include "platform/win_types.h"

#include <functional>
#include <string>
#include <vector>

// Replaces the millisecond clock behind timeGetTime; an empty function restores the real one.
void seam_set_clock(std::function<DWORD()> clock);

// Replaces what GlobalMemoryStatus reports (total and available physical bytes); 0, 0 restores.
void seam_set_memory_status(SIZE_T total_phys, SIZE_T avail_phys);

// An optional log of the stand-ins' calls that tests inspect ("HeapCompact", "HeapCreate 8192" ...).
void seam_log_enable(bool on);
const std::vector<std::string>& seam_log();
void seam_log_clear();
void seam_log_add(std::string line);

// How many timer periods are currently begun.
int seam_timer_periods();
