#include "app/app_engine.h"

namespace {

// The engine's subsystems in the order they come up; a module joins this list when it exists.
const SysInitStep k_engine_steps[] = {
    {0, nullptr, sys_init_window},
    {0, nullptr, sys_init_priority},
    {0, nullptr, sys_init_affinity},
    {0, SYS_TEXT_ARCHIVE, sys_init_archive},
    {0, SYS_TEXT_ARCHIVE_OVERLAY, sys_init_archive_overlay},
};

} // namespace

HRESULT sys_initialize(const EngineParams& params, char* text, std::size_t text_size)
{
    return sys_run_init_steps(params, k_engine_steps, text, text_size);
}

void sys_shutdown()
{
    sys_release_work_block();
    timer_end_period();
}
