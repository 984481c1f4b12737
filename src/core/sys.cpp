#include "core/sys.h"

#include "core/cpu.h"
#include "core/errors.h"
#include "core/maths.h"
#include "core/text.h"
#include "platform/win_window.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

int g_os_generation = 0;
char g_os_text[256] = "";
WorkBlock g_work_block;
WindowOrigin g_window_origin;

namespace {

int g_timer_period_users = 0;
UINT g_timer_min_period = 0;

constexpr std::uint32_t k_mib = 1024 * 1024;

// The name part and generation of a version record.
struct OsName {
    char name[64] = "";
    int generation = 0;
};

OsName decode_nt5_name(const OSVERSIONINFOEXA& v)
{
    bool workstation = v.wProductType == VER_NT_WORKSTATION;
    switch (v.dwMinorVersion) {
    case 0:
        return workstation ? OsName{"2000 Professional", 12} : OsName{"2000 Server", 11};
    case 1:
        if (!workstation) return {".Net", 13};
        return (v.wSuiteMask & VER_SUITE_PERSONAL) ? OsName{"XP Home Edition", 14}
                                                   : OsName{"XP Professional", 15};
    case 2:
        return {".Net Server 2003 Family", 16};
    default:
        return {" Unknown", 17};
    }
}

OsName decode_9x_name(const OSVERSIONINFOEXA& v)
{
    std::uint32_t build = v.dwBuildNumber & 0xFFFF;
    switch (v.dwMinorVersion) {
    case 0:
        return build == 1111 ? OsName{"95 OSR2", 4} : OsName{"OSR2.1", 5};
    case 10:
        return build == 2222 ? OsName{"98 Second Edition", 9} : OsName{"98", 8};
    case 90:
        return {"Millennium Edition", 10};
    default:
        return {};
    }
}

OsName decode_name(const OSVERSIONINFOEXA& v)
{
    OsName os;
    switch (v.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
        std::snprintf(os.name, sizeof os.name, "%u.%02u", v.dwMajorVersion, v.dwMinorVersion);
        os.generation = 1;
        return os;
    case VER_PLATFORM_WIN32_WINDOWS:
        return decode_9x_name(v);
    case VER_PLATFORM_WIN32_NT:
        if (v.dwMajorVersion >= 5) return decode_nt5_name(v);
        std::snprintf(os.name, sizeof os.name, "NT %u.%u", v.dwMajorVersion, v.dwMinorVersion);
        os.generation = v.dwMajorVersion == 4 ? 7 : 2;
        return os;
    default:
        return os;
    }
}

void format_version_suffix(const OSVERSIONINFOEXA& v, char* suffix, std::size_t size)
{
    suffix[0] = '\0';
    if (v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        std::snprintf(suffix, size, " (%u.%02u.%u)", v.dwMajorVersion, (v.dwBuildNumber >> 16) & 0xFF,
                      v.dwBuildNumber & 0xFFFF);
    } else if (v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMajorVersion <= 4) {
        std::snprintf(suffix, size, " (%u.%02u.%u)", v.dwMajorVersion, v.dwMinorVersion, v.dwBuildNumber);
    } else if (v.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        char service_pack[sizeof v.szCSDVersion + 1] = "";
        if (v.szCSDVersion[0]) std::snprintf(service_pack, sizeof service_pack, " %.127s", v.szCSDVersion);
        std::snprintf(suffix, size, "%s (%u.%02u.%u)", service_pack, v.dwMajorVersion, v.dwMinorVersion,
                      v.dwBuildNumber);
    }
}

bool priority_class_allowed(std::uint32_t priority_class)
{
    switch (priority_class) {
    case HIGH_PRIORITY_CLASS:
    case NORMAL_PRIORITY_CLASS:
    case IDLE_PRIORITY_CLASS:
    case REALTIME_PRIORITY_CLASS:
        return true;
    case ABOVE_NORMAL_PRIORITY_CLASS:
    case BELOW_NORMAL_PRIORITY_CLASS:
        return g_os_generation >= OS_GENERATION_NT5;
    default:
        return false;
    }
}

void on_failed_new()
{
    // The runtime does not hand the requested size to a new-handler.
    sys_new_handler(0);
}

} // namespace

OutOfMemory::OutOfMemory(std::size_t size)
{
    std::snprintf(m_text, sizeof m_text, "nh:Cannot allocate memory[%zu byte]\n", size);
}

int sys_decode_os_version(const OSVERSIONINFOEXA& record, char* text, std::size_t size)
{
    OsName os = decode_name(record);
    char suffix[192];
    format_version_suffix(record, suffix, sizeof suffix);
    char full[320];
    std::snprintf(full, sizeof full, "Microsoft Windows %s%s", os.name, suffix);
    sys_copy_string(text, full, size);
    return os.generation;
}

void sys_os_version()
{
    OSVERSIONINFOEXA record{};
    record.dwOSVersionInfoSize = sizeof record;
    GetVersionExA(&record);
    g_os_generation = sys_decode_os_version(record, g_os_text, sizeof g_os_text);
}

void timer_begin_period()
{
    if (g_timer_period_users != 0) return;
    TIMECAPS caps{};
    timeGetDevCaps(&caps, sizeof caps);
    g_timer_min_period = caps.wPeriodMin;
    timeBeginPeriod(g_timer_min_period);
    g_timer_period_users = 1;
}

void sys_new_handler(std::size_t size)
{
    throw OutOfMemory(size);
}

void sys_install_new_handler()
{
    std::set_new_handler(on_failed_new);
}

void* sys_alloc(std::size_t size)
{
    void* block = std::malloc(size ? size : 1);
    if (!block) sys_new_handler(size);
    return block;
}

void sys_startup(std::uint32_t work_block_size)
{
    cpu_detect();
    sys_os_version();
    if (g_os_generation < OS_GENERATION_MINIMUM) {
        char message[ERR_DETAIL_SIZE];
        std::snprintf(message, sizeof message, "Unsupported: %s", g_os_text);
        err_raise(message, ERR_HERE);
    }
    timer_begin_period();
    DWORD now = timeGetTime();
    std::srand(now);
    math_rand_discard(now);
    sys_install_new_handler();
    if (work_block_size != 0) {
        // A block that cannot be committed stays absent, so no user is lent memory that is not there.
        auto* memory = static_cast<std::uint8_t*>(
            VirtualAlloc(nullptr, work_block_size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        g_work_block = WorkBlock{memory, memory ? work_block_size : 0u, nullptr, 0};
    }
}

HRESULT sys_run_init_steps(const EngineParams& params, std::span<const SysInitStep> steps, char* text,
                           std::size_t text_size)
{
    SysInitContext context{params, params.subsystems, 0};
    for (const SysInitStep& step : steps) {
        if (step.subsystem != 0 && !(context.subsystems & step.subsystem)) continue;
        HRESULT hr = step.run(context);
        if (FAILED(hr)) {
            if (step.failure_text) sys_copy_string(text, step.failure_text, text_size);
            return hr;
        }
    }
    return S_OK;
}

HRESULT sys_init_window(SysInitContext& context)
{
    const EngineParams& params = context.params;
    g_window_origin.window = params.window;
    g_window_origin.windowed = params.windowed != 0;
    if (!g_window_origin.windowed) {
        g_window_origin.remembered_x = params.window_x;
        g_window_origin.remembered_y = params.window_y;
    }
    return S_OK;
}

HRESULT sys_init_priority(SysInitContext& context)
{
    std::uint32_t priority_class = context.params.priority_class;
    if (priority_class && priority_class_allowed(priority_class))
        SetPriorityClass(GetCurrentProcess(), priority_class);
    return S_OK;
}

HRESULT sys_init_affinity(SysInitContext& context)
{
    const EngineParams& params = context.params;
    DWORD_PTR process_mask = 0, system_mask = 0;
    GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask);
    DWORD_PTR base = process_mask;
    if (g_os_generation >= OS_GENERATION_NT5) {
        base = process_mask & params.process_affinity;
        if (base) SetProcessAffinityMask(GetCurrentProcess(), base);
    }
    if (DWORD_PTR thread_mask = params.main_thread_affinity & base)
        SetThreadAffinityMask(GetCurrentThread(), thread_mask);
    context.audio_thread_affinity = static_cast<std::uint32_t>(params.audio_thread_affinity & base);
    return S_OK;
}

std::uint8_t* sys_lend_work_block(std::uint32_t size)
{
    if (g_work_block.owner || !g_work_block.memory || g_work_block.capacity < size) return nullptr;
    g_work_block.used = size;
    g_work_block.owner = g_work_block.memory;
    return g_work_block.memory;
}

void sys_return_work_block()
{
    g_work_block.owner = nullptr;
    g_work_block.used = 0;
}

void sys_release_work_block()
{
    g_work_block.owner = nullptr;
    if (g_work_block.memory) VirtualFree(g_work_block.memory, 0, MEM_RELEASE);
    g_work_block = WorkBlock{};
}

void timer_end_period()
{
    if (g_timer_period_users == 0 || --g_timer_period_users > 0) return;
    timeEndPeriod(g_timer_min_period);
}

void input_update_client_origin(HWND window)
{
    if (!window) return;
    WindowOrigin& origin = g_window_origin;
    origin.x = origin.y = 0;
    origin.centre_x = origin.back_buffer_width / 2;
    origin.centre_y = origin.back_buffer_height / 2;
    if (!origin.windowed) return;
    POINT corner{0, 0};
    ClientToScreen(window, &corner);
    constexpr LONG k_minimised = -32000;
    origin.x = origin.remembered_x = corner.x == k_minimised ? origin.remembered_x : corner.x;
    origin.y = origin.remembered_y = corner.y == k_minimised ? origin.remembered_y : corner.y;
}

void sys_force_foreground(HWND window)
{
    HWND foreground = GetForegroundWindow();
    DWORD foreground_thread = GetWindowThreadProcessId(foreground, nullptr);
    DWORD own_thread = GetCurrentThreadId();
    AttachThreadInput(own_thread, foreground_thread, TRUE);
    DWORD lock_timeout = 0;
    SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &lock_timeout, 0);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    SetForegroundWindow(window);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                          reinterpret_cast<void*>(std::uintptr_t{lock_timeout}), 0);
    AttachThreadInput(own_thread, foreground_thread, FALSE);
}

void sys_trim_memory()
{
    MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    if (status.dwAvailPhys < status.dwTotalPhys / 3) return;
    if (g_os_generation >= OS_GENERATION_NT5) {
        HeapCompact(GetProcessHeap(), 0);
        return;
    }
    constexpr std::uint64_t k_cap = 32 * k_mib;
    std::uint64_t total = status.dwTotalPhys;
    std::uint64_t bytes = total > k_cap ? std::min<std::uint64_t>((total - k_cap) / 4, k_cap) : k_cap;
    sys_heap_probe(static_cast<std::uint32_t>(bytes / 4096));
}

void sys_heap_probe(std::uint32_t pages)
{
    SIZE_T size = SIZE_T{pages} * 4096;
    HANDLE heap = HeapCreate(HEAP_NO_SERIALIZE, size, 0);
    if (!heap) return;
    if (void* block = HeapAlloc(heap, 0, size)) HeapFree(heap, 0, block);
    HeapDestroy(heap);
}
