// State of the test seams that the stand-ins consult.
#pragma once

#include "platform/test_seams.h"

extern std::function<DWORD()> g_seam_clock;
extern SIZE_T g_seam_total_phys;
extern SIZE_T g_seam_avail_phys;
