// State and helpers shared by the DirectInput stand-in's sources (dinput*.cpp). Not for use
// outside src/platform.
#pragma once

#include "platform/dinput.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Serialises every call of the stand-in and its seams; callbacks of the enumerations run
// without it.
extern std::mutex g_dinput_lock;

// SDL's joystick and haptic parts, started while any DirectInput object, device or effect lives.
class DinputRuntime {
public:
    DinputRuntime(bool joysticks, bool haptics) : m_joysticks(joysticks), m_haptics(haptics) {}
    ~DinputRuntime();
    DinputRuntime(const DinputRuntime&) = delete;
    DinputRuntime& operator=(const DinputRuntime&) = delete;
    bool joysticks() const { return m_joysticks; }
    bool haptics() const { return m_haptics; }

private:
    bool m_joysticks;
    bool m_haptics;
};
// The live runtime, started on first use; null without a display.
std::shared_ptr<DinputRuntime> dinput_runtime();

// How a device maps one axis of a controller.
struct DinputAxisSettings {
    LONG min = 0;
    LONG max = 0xFFFF;
    DWORD dead_zone = 0;      // 0..10000 of the half range around the centre
    DWORD saturation = 10000; // 0..10000
};
constexpr int DINPUT_AXES = 8; // X, Y, Z, Rx, Ry, Rz, two sliders
// A raw SDL axis value (-32768..32767) in the axis's range.
LONG dinput_scale_axis(int raw, const DinputAxisSettings& axis);

// A sine effect as a controller plays it.
struct DinputPeriodic {
    DWORD magnitude = 0; // 0..10000, the gain applied
    LONG offset = 0;
    DWORD phase = 0;          // hundredths of a degree
    DWORD period_us = 0;      // microseconds
    DWORD duration_us = 0;    // INFINITE for no end
    DWORD start_delay_us = 0; // microseconds
    LONG direction[2] = {};   // cartesian
    DWORD attack_level = 0;   // envelope, 0..10000
    DWORD attack_time_us = 0;
    DWORD fade_level = 0;
    DWORD fade_time_us = 0;
};

// A game controller as the devices see it: one of SDL's joysticks or a pad the seams script.
class PadSource {
public:
    virtual ~PadSource() = default;
    virtual bool attached() = 0;
    virtual DWORD device_type() = 0; // DI8DEVTYPE_* with subtype and DIDEVTYPE_HID
    virtual void poll() = 0;
    // Scripted states are taken one per read.
    virtual void read(DIJOYSTATE& state, const DinputAxisSettings (&axes)[DINPUT_AXES]) = 0;
    virtual int axis_count() = 0;   // at most DINPUT_AXES
    virtual int button_count() = 0; // at most 32
    virtual int pov_count() = 0;    // at most 4
    virtual bool force_feedback() = 0;
    virtual DWORD force_axes() = 0;
    virtual bool set_autocenter(bool on) = 0;
    // Loads the effect into the controller (id -1: a new one); its id, or -1 when it is full.
    virtual int effect_load(int id, const DinputPeriodic& effect) = 0;
    virtual bool effect_start(int id, DWORD iterations) = 0; // INFINITE: until stopped
    virtual bool effect_stop(int id) = 0;
    virtual void effect_unload(int id) = 0;
};

constexpr DWORD DINPUT_GAMEPAD_TYPE = DI8DEVTYPE_GAMEPAD | DI8DEVTYPEGAMEPAD_STANDARD << 8 | DIDEVTYPE_HID;
constexpr DWORD DINPUT_JOYSTICK_TYPE = DI8DEVTYPE_JOYSTICK | DI8DEVTYPEJOYSTICK_STANDARD << 8 | DIDEVTYPE_HID;

// What the enumeration reports of an attached controller.
struct PadInfo {
    GUID instance;
    GUID product;
    std::string name;
    DWORD device_type; // DI8DEVTYPE_* with subtype and DIDEVTYPE_HID
    bool force_feedback;
};

// The system mouse: movement and wheel added up since the start, and the buttons.
struct MouseTotals {
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int64_t z = 0;
    BYTE buttons[4] = {};
};

// ---- dinput_device.cpp ----
enum class DinputKind { keyboard, mouse, pad };
// DI8DEVTYPE_* with subtype of the system keyboard and mouse.
DWORD dinput_device_type(DinputKind kind);

class DinputEffect;

class DinputDevice final : public IDirectInputDevice8A {
public:
    DinputDevice(std::shared_ptr<DinputRuntime> runtime, DinputKind kind, const GUID& instance,
                 std::shared_ptr<PadSource> pad);

    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetCapabilities(DIDEVCAPS* caps) override;
    HRESULT EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA callback, void* context, DWORD flags) override;
    HRESULT SetProperty(const GUID& property, const DIPROPHEADER* header) override;
    HRESULT Acquire() override;
    HRESULT Unacquire() override;
    HRESULT GetDeviceState(DWORD size, void* data) override;
    HRESULT SetDataFormat(const DIDATAFORMAT* format) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT CreateEffect(const GUID& type, const DIEFFECT* effect, IDirectInputEffect** out,
                         void* outer) override;
    HRESULT Poll() override;

    // For the device's effects (the lock held).
    PadSource* pad() const { return m_pad.get(); }
    // Acquired exclusively and not lost meanwhile.
    bool acquired_exclusively();
    // The object (by offset or id, as the effect's flags say) is a force-feedback axis.
    bool is_force_axis(DWORD object, bool by_offset);
    void stop_effects();
    // Returns the effect's number in creation order on this device.
    int effect_created(DinputEffect* effect);
    void effect_gone(DinputEffect* effect);

private:
    struct Object {
        const GUID* type;
        DWORD offset;
        DWORD id; // DIDFT_* with the instance
        DWORD flags;
        char name[32];
    };

    ~DinputDevice() = default;
    // An acquired device whose acquisition was lost meanwhile is unacquired; true then.
    bool check_lost();
    bool in_foreground() const;
    void unacquire_now();
    bool exclusive_elsewhere() const;
    std::vector<Object> objects() const;
    // The axis a property header selects (-1: every axis); DIERR_OBJECTNOTFOUND when it names none.
    HRESULT selected_axis(const DIPROPHEADER& header, int& axis) const;
    HRESULT set_axis_property(DWORD property, const DIPROPHEADER& header);
    HRESULT set_device_dword(DWORD property, const DIPROPHEADER& header);
    void read_mouse(DIMOUSESTATE& state);

    std::atomic<ULONG> m_refs{1};
    std::shared_ptr<DinputRuntime> m_runtime;
    DinputKind m_kind;
    GUID m_instance;
    std::shared_ptr<PadSource> m_pad;
    const DIDATAFORMAT* m_format = nullptr;
    HWND m_window = nullptr;
    DWORD m_level = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;
    bool m_acquired = false;
    std::uint64_t m_loss_count = 0;
    DWORD m_axis_mode;
    DWORD m_buffer_size = 0;
    DinputAxisSettings m_axes[DINPUT_AXES];
    MouseTotals m_mouse_last;
    std::vector<DinputEffect*> m_effects;
    int m_effects_made = 0;
};

// ---- dinput_effect.cpp (the lock held) ----
// Checks the parameters and makes the effect; loads it at once when the device is acquired
// exclusively (else DI_DOWNLOADSKIPPED).
HRESULT dinput_make_effect(DinputDevice& device, const DIEFFECT* parameters, IDirectInputEffect** out);
// The device was unacquired: the effect stops and leaves the controller.
void dinput_effect_unload(DinputEffect& effect);
void dinput_effect_stop(DinputEffect& effect);

// ---- dinput_sources.cpp (the lock held) ----
// The attached controllers in enumeration order: SDL's joysticks, then the scripted pads.
std::vector<PadInfo> dinput_pads(const DinputRuntime& runtime);
std::shared_ptr<PadSource> dinput_open_pad(const DinputRuntime& runtime, const GUID& instance);
// The system keyboard's 256 bytes, by scan code.
void dinput_keyboard_read(BYTE (&keys)[256]);
MouseTotals dinput_mouse_read();
// The same without taking a scripted state: where the next movement counts from.
MouseTotals dinput_mouse_peek();

// ---- dinput_seams.cpp (the lock held) ----
// The result the named call fails with (S_OK: it does not fail).
HRESULT dinput_seam_failure(const char* call);
// Whether the keyboard and the mouse read the scripted states; the next scripted state.
bool dinput_seam_scripted();
void dinput_seam_next_keyboard(BYTE (&keys)[256]);
// The scripted mouse's totals, after the next scripted state when `take_next`.
MouseTotals dinput_seam_mouse(bool take_next);
// Counts the forced losses of acquisition; a device acquired before the count changed is lost.
std::uint64_t dinput_seam_loss_count();
// Whether SDL's joysticks that are not virtual ones are listed.
bool dinput_seam_host_pads_visible();
// The pads the seams attached, as sources, and their entries for the enumeration.
std::vector<PadInfo> dinput_seam_pads();
std::shared_ptr<PadSource> dinput_seam_open_pad(const GUID& instance);
// Before a read of a virtual SDL joystick: applies its next scripted state; false when none waits.
bool dinput_seam_virtual_read(int instance_id);
// Attaches the virtual joysticks that the script file of KRO_INPUT_SCRIPT asks for and turns
// its states on (once per process).
void dinput_seam_load_script_file();
