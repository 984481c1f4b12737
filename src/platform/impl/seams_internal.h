// State of the test seams that the stand-ins consult.
#pragma once

#include "platform/impl/test_seams.h"

extern std::function<std::int64_t()> g_seam_counter;
extern std::int64_t g_seam_counter_frequency;
extern std::uint16_t g_seam_port_from;
extern std::uint16_t g_seam_port_to;
extern SIZE_T g_seam_total_phys;
extern SIZE_T g_seam_avail_phys;
