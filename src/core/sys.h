// Engine start-up and shutdown: processor and system checks, the work block, the ordered
// bring-up of the engine's subsystems from EngineParams, and memory trimming.
#pragma once

#include "platform/win_kernel.h"
#include "platform/win_types.h"

#include <cstdint>
#include <new>
#include <span>

struct RendererSettings;
struct InputSettings;
struct AudioParams;
struct RenderQueueRowDef;

// Orders the Windows generations; 0 = unknown. Below 8 the program refuses to run; from 11
// on the NT 5+ behaviour applies (overlapped I/O, newer priority classes, affinity, heap compaction).
extern int g_os_generation;
extern char g_os_text[256];

constexpr int OS_GENERATION_MINIMUM = 8;
constexpr int OS_GENERATION_NT5 = 11;

// The one large buffer the engine lends to one user at a time (packed files, music pre-read).
struct WorkBlock {
    std::uint8_t* memory = nullptr;
    std::uint32_t capacity = 0;
    const void* owner = nullptr; // null when free; the block's own address while lent
    std::uint32_t used = 0;
};
extern WorkBlock g_work_block;

// Lends the block for `size` bytes: its memory, or null while it is lent or too small.
std::uint8_t* sys_lend_work_block(std::uint32_t size);
// Gives the lent block back.
void sys_return_work_block();

constexpr std::uint32_t SUBSYS_D3D = 0x1;
constexpr std::uint32_t SUBSYS_DINPUT = 0x10;
constexpr std::uint32_t SUBSYS_DSOUND = 0x20;
constexpr std::uint32_t SUBSYS_INPUT_SETTINGS = 0x80;
constexpr std::uint32_t SUBSYS_AUDIOMGR = 0x800;
constexpr std::uint32_t SUBSYS_RESRCMGR = 0x1000;
constexpr std::uint32_t SUBSYS_TIMER = 0x200000;
constexpr std::uint32_t SUBSYS_RENDERER = 0x800000;

struct EngineParams {
    std::uint32_t subsystems;
    HWND window;
    std::uint32_t windowed;
    std::int32_t window_x;
    std::int32_t window_y;
    RendererSettings* renderer_settings;
    InputSettings* input_settings;
    AudioParams* audio_settings;
    const std::uint32_t* resource_reserve; // two sizes for the resource manager
    const RenderQueueRowDef* render_queue_rows;
    const char* archive_folder; // null = no archives
    std::uint32_t archive_mapped;
    std::int32_t frame_rate_min;
    std::int32_t frame_rate_max;
    std::uint32_t priority_class; // 0 = leave it
    std::uint32_t process_affinity;
    std::uint32_t main_thread_affinity;
    std::uint32_t audio_thread_affinity;
};

// One step of the engine's start-up: served when its subsystem bit is set (0 = always), and on
// failure its text goes to the caller. The working copy of the flags is the steps' to change.
// The game's ordered list of steps joins the modules above core to core's own steps below.
struct SysInitContext {
    const EngineParams& params;
    std::uint32_t subsystems;
    std::uint32_t audio_thread_affinity;
};
struct SysInitStep {
    std::uint32_t subsystem;
    const char* failure_text;
    HRESULT (*run)(SysInitContext& context);
};

// The window origin that mouse input measures against.
struct WindowOrigin {
    HWND window = nullptr;
    bool windowed = false;
    std::int32_t x = 0, y = 0;               // client area on the screen (0, 0 full screen)
    std::int32_t centre_x = 0, centre_y = 0; // half the back buffer
    std::int32_t remembered_x = 0, remembered_y = 0;
    std::int32_t back_buffer_width = 0, back_buffer_height = 0; // as the device last set them
};
extern WindowOrigin g_window_origin;

// Out of memory: the handler's text travels with the runtime's exception.
class OutOfMemory : public std::bad_alloc {
public:
    explicit OutOfMemory(std::size_t size);
    const char* what() const noexcept override { return m_text; }

private:
    char m_text[64];
};

// The version record's decoding, a pure function so every row of the table can be tried.
int sys_decode_os_version(const OSVERSIONINFOEXA& record, char* text, std::size_t size);

void sys_startup(std::uint32_t work_block_size);
void sys_os_version();
void timer_begin_period();
[[noreturn]] void sys_new_handler(std::size_t size);
void sys_install_new_handler();
// Plain blocks go through here so a failed allocation reaches the same handler as `new`.
void* sys_alloc(std::size_t size);

// Serves the steps in order and stops at the first failure, writing its text; nothing is undone.
HRESULT sys_run_init_steps(const EngineParams& params, std::span<const SysInitStep> steps, char* text,
                           std::size_t text_size);
// Core's own start-up steps: the window fields, priority, affinity, the archive pair and overlay.
HRESULT sys_init_window(SysInitContext& context);
HRESULT sys_init_priority(SysInitContext& context);
HRESULT sys_init_affinity(SysInitContext& context);
HRESULT sys_init_archive(SysInitContext& context);
HRESULT sys_init_archive_overlay(SysInitContext& context);
inline constexpr const char* SYS_TEXT_ARCHIVE = "failed: release\\data.? not found(1).";
inline constexpr const char* SYS_TEXT_ARCHIVE_OVERLAY = "failed: release\\data_us.? not found(3).";

// Defined by the game program (app/app_engine.cpp), which alone knows the modules above core that
// serve the steps. Brings the engine's subsystems up from the parameters; 0, or the failing
// step's code with its text written (at least 40 bytes of room).
HRESULT sys_initialize(const EngineParams& params, char* text, std::size_t text_size);
// Takes them down again; tolerates what was never created.
void sys_shutdown();

// The last two steps of the engine's shutdown: the work block, then the timer period.
void sys_release_work_block();
void timer_end_period();

// The start-up's window-origin bookkeeping, named for the mouse input it serves.
// Measures the window's client origin for the mouse: (0, 0) full screen; windowed, the client
// area's screen position, where a minimised window (-32000) keeps the remembered position.
void input_update_client_origin(HWND window);

// Brings a window of another process to the foreground, as far as the system lets a
// background process do that.
void sys_force_foreground(HWND window);

void sys_trim_memory();
void sys_heap_probe(std::uint32_t pages);
