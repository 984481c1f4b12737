#include "platform/impl/test_seams.h"

#include "platform/impl/seams_internal.h"

#include <mutex>

std::function<std::int64_t()> g_seam_counter;
std::int64_t g_seam_counter_frequency = 0;
std::uint16_t g_seam_port_from = 0;
std::uint16_t g_seam_port_to = 0;
SIZE_T g_seam_total_phys = 0;
SIZE_T g_seam_avail_phys = 0;

static bool g_log_on = false;
static std::vector<std::string> g_log;
static std::mutex g_log_lock;

void seam_set_counter(std::function<std::int64_t()> counter, std::int64_t frequency)
{
    g_seam_counter_frequency = counter ? frequency : 0;
    g_seam_counter = std::move(counter);
}

void seam_set_clock(std::function<DWORD()> clock)
{
    if (!clock) {
        seam_set_counter(nullptr, 0);
        return;
    }
    seam_set_counter([clock = std::move(clock)] { return std::int64_t{clock()}; }, 1000);
}

void seam_redirect_local_port(std::uint16_t from, std::uint16_t to)
{
    g_seam_port_from = from;
    g_seam_port_to = from ? to : 0;
}

void seam_set_memory_status(SIZE_T total_phys, SIZE_T avail_phys)
{
    g_seam_total_phys = total_phys;
    g_seam_avail_phys = avail_phys;
}

void seam_log_enable(bool on)
{
    g_log_on = on;
}

const std::vector<std::string>& seam_log()
{
    return g_log;
}

void seam_log_clear()
{
    std::lock_guard lock(g_log_lock);
    g_log.clear();
}

void seam_log_add(std::string line)
{
    if (!g_log_on) return;
    std::lock_guard lock(g_log_lock);
    g_log.push_back(std::move(line));
}
