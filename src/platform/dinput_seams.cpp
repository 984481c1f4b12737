// The seams of the DirectInput stand-in: scripted keyboard, mouse and pads, SDL virtual
// joysticks, failures, forced losses, and the script of an end-to-end run.
#include "platform/impl/dinput_seams.h"
#include "platform/impl/dinput_internal.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <sstream>

namespace {

// Scripted pads carry this in Data2 and Data3 of their instance GUID, their id in Data1.
constexpr WORD k_scripted_pad_mark2 = 0x5343; // "SC"
constexpr WORD k_scripted_pad_mark3 = 0x5044; // "PD"

struct KeyboardState {
    BYTE keys[256];
};

struct ScriptedPadState {
    int id;
    DinputSeamPad description;
    bool attached = true;
    std::deque<DIJOYSTATE> queue;
    DIJOYSTATE current{};
    struct Effect {
        DinputPeriodic periodic;
        bool loaded;
        DinputSeamEffect seen;
    };
    std::vector<Effect> effects;
};

struct VirtualPad {
    int id; // SDL's instance id
    SDL_Joystick* joystick;
    std::deque<DinputSeamVirtualState> queue;
};

struct Failure {
    HRESULT code;
    int times;
};

struct SeamState {
    bool scripted = false;
    std::deque<KeyboardState> keyboard_queue;
    KeyboardState keyboard{};
    std::deque<DIMOUSESTATE> mouse_queue;
    MouseTotals mouse;
    std::vector<std::shared_ptr<ScriptedPadState>> pads;
    int next_pad_id = 1;
    std::vector<VirtualPad> virtual_pads;
    std::shared_ptr<DinputRuntime> runtime; // kept while virtual pads live
    std::map<std::string, Failure> failures;
    std::uint64_t losses = 0;
    bool host_pads = true;
    bool script_file_read = false;
};

SeamState g_seam;

DIJOYSTATE centred_pad_state()
{
    DIJOYSTATE state{};
    std::fill(std::begin(state.rgdwPOV), std::end(state.rgdwPOV), 0xFFFFFFFF);
    return state;
}

class ScriptedPad final : public PadSource {
public:
    explicit ScriptedPad(std::shared_ptr<ScriptedPadState> state) : m_state(std::move(state)) {}

    bool attached() override { return m_state->attached; }
    DWORD device_type() override { return DINPUT_GAMEPAD_TYPE; }
    void poll() override {}
    void read(DIJOYSTATE& state, const DinputAxisSettings (&)[DINPUT_AXES]) override
    {
        if (!m_state->queue.empty()) {
            m_state->current = m_state->queue.front();
            m_state->queue.pop_front();
        }
        state = m_state->current;
    }
    int axis_count() override { return std::clamp(m_state->description.axes, 0, DINPUT_AXES); }
    int button_count() override { return std::clamp(m_state->description.buttons, 0, 32); }
    int pov_count() override { return std::clamp(m_state->description.povs, 0, 4); }
    bool force_feedback() override { return m_state->description.force_feedback; }
    DWORD force_axes() override
    {
        return force_feedback() ? std::clamp(m_state->description.force_axes, 0, axis_count()) : 0;
    }
    bool set_autocenter(bool) override { return force_feedback(); }

    int effect_load(int id, const DinputPeriodic& periodic) override
    {
        if (!force_feedback()) return -1;
        if (id < 0) {
            id = static_cast<int>(m_state->effects.size());
            m_state->effects.push_back({});
        }
        auto& effect = m_state->effects[id];
        effect.periodic = periodic;
        effect.loaded = true;
        effect.seen.magnitude = periodic.magnitude;
        effect.seen.duration_us = periodic.duration_us;
        effect.seen.period_us = periodic.period_us;
        return id;
    }
    bool effect_start(int id, DWORD iterations) override
    {
        auto* effect = loaded(id);
        if (!effect) return false;
        effect->seen.playing = true;
        effect->seen.iterations = iterations;
        ++effect->seen.starts;
        return true;
    }
    bool effect_stop(int id) override
    {
        auto* effect = loaded(id);
        if (!effect) return false;
        effect->seen.playing = false;
        ++effect->seen.stops;
        return true;
    }
    void effect_unload(int id) override
    {
        if (auto* effect = loaded(id)) {
            effect->loaded = false;
            effect->seen.playing = false;
        }
    }

private:
    ScriptedPadState::Effect* loaded(int id)
    {
        if (id < 0 || id >= int(m_state->effects.size()) || !m_state->effects[id].loaded) return nullptr;
        return &m_state->effects[id];
    }

    std::shared_ptr<ScriptedPadState> m_state;
};

std::shared_ptr<ScriptedPadState> find_pad(int id)
{
    for (auto& pad : g_seam.pads)
        if (pad->id == id) return pad;
    return nullptr;
}

VirtualPad* find_virtual_pad(int id)
{
    for (VirtualPad& pad : g_seam.virtual_pads)
        if (pad.id == id) return &pad;
    return nullptr;
}

int attach_virtual_pad(int axes, int buttons, int hats)
{
    if (!g_seam.runtime) g_seam.runtime = dinput_runtime();
    if (!g_seam.runtime || !g_seam.runtime->joysticks()) return -1;
    int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, axes, buttons, hats);
    if (index < 0) return -1;
    SDL_Joystick* joystick = SDL_JoystickOpen(index);
    if (!joystick) {
        SDL_JoystickDetachVirtual(index);
        return -1;
    }
    int id = SDL_JoystickInstanceID(joystick);
    g_seam.virtual_pads.push_back({id, joystick, {}});
    return id;
}

void detach_virtual_pad(int id)
{
    auto it = std::find_if(g_seam.virtual_pads.begin(), g_seam.virtual_pads.end(),
                           [id](const VirtualPad& pad) { return pad.id == id; });
    if (it == g_seam.virtual_pads.end()) return;
    SDL_JoystickClose(it->joystick);
    for (int index = 0; index < SDL_NumJoysticks(); ++index)
        if (SDL_JoystickGetDeviceInstanceID(index) == id) SDL_JoystickDetachVirtual(index);
    g_seam.virtual_pads.erase(it);
    if (g_seam.virtual_pads.empty()) g_seam.runtime.reset();
}

void apply_virtual_state(const VirtualPad& pad, const DinputSeamVirtualState& state)
{
    for (std::size_t axis = 0; axis < state.axes.size(); ++axis)
        SDL_JoystickSetVirtualAxis(pad.joystick, int(axis),
                                   Sint16(std::clamp(state.axes[axis], -32768, 32767)));
    for (std::size_t button = 0; button < state.buttons.size(); ++button)
        SDL_JoystickSetVirtualButton(pad.joystick, int(button), state.buttons[button] ? 1 : 0);
    for (std::size_t hat = 0; hat < state.hats.size(); ++hat)
        SDL_JoystickSetVirtualHat(pad.joystick, int(hat), Uint8(state.hats[hat]));
}

KeyboardState keyboard_with(const std::vector<int>& keys_down)
{
    KeyboardState state{};
    for (int code : keys_down)
        if (code > 0 && code < 256) state.keys[code] = 0x80;
    return state;
}

// ---- The script of an end-to-end run -------------------------------------------------------------

bool parse_numbers(const std::string& text, std::vector<int>& numbers)
{
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        char* end = nullptr;
        long value = std::strtol(item.c_str(), &end, 0);
        if (item.empty() || *end != '\0' || value < -32768 || value > 65535) return false;
        numbers.push_back(int(value));
    }
    return true;
}

struct ScriptPoll {
    std::vector<int> keys, mouse, buttons, stick, pad, hat;
};

bool parse_poll(std::istringstream& words, ScriptPoll& poll)
{
    const std::pair<const char*, std::vector<int>*> fields[] = {
        {"keys", &poll.keys},   {"mouse", &poll.mouse}, {"buttons", &poll.buttons},
        {"stick", &poll.stick}, {"pad", &poll.pad},     {"hat", &poll.hat},
    };
    std::string word;
    while (words >> word) {
        auto equals = word.find('=');
        if (equals == std::string::npos) return false;
        std::string name = word.substr(0, equals);
        auto field = std::find_if(std::begin(fields), std::end(fields),
                                  [&name](const auto& entry) { return name == entry.first; });
        if (field == std::end(fields) || !parse_numbers(word.substr(equals + 1), *field->second))
            return false;
    }
    return poll.mouse.size() <= 3 && poll.stick.size() <= 2 && poll.hat.size() <= 1;
}

void queue_poll(const ScriptPoll& poll, int virtual_pad)
{
    g_seam.keyboard_queue.push_back(keyboard_with(poll.keys));
    DIMOUSESTATE mouse{};
    LONG* movement[3] = {&mouse.lX, &mouse.lY, &mouse.lZ};
    for (std::size_t i = 0; i < poll.mouse.size(); ++i)
        *movement[i] = poll.mouse[i];
    for (int button : poll.buttons)
        if (button >= 0 && button < 4) mouse.rgbButtons[button] = 0x80;
    g_seam.mouse_queue.push_back(mouse);
    VirtualPad* pad = find_virtual_pad(virtual_pad);
    if (!pad) return;
    SDL_Joystick* joystick = pad->joystick;
    DinputSeamVirtualState state;
    state.axes.assign(std::max(SDL_JoystickNumAxes(joystick), 0), 0);
    for (std::size_t i = 0; i < poll.stick.size() && i < state.axes.size(); ++i)
        state.axes[i] = poll.stick[i];
    state.buttons.assign(std::max(SDL_JoystickNumButtons(joystick), 0), 0);
    for (int button : poll.pad)
        if (button >= 0 && button < int(state.buttons.size())) state.buttons[button] = 1;
    state.hats.assign(std::max(SDL_JoystickNumHats(joystick), 0), SDL_HAT_CENTERED);
    if (!poll.hat.empty() && !state.hats.empty()) state.hats[0] = poll.hat[0];
    pad->queue.push_back(state);
}

bool load_script(const std::string& text, std::string& error)
{
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    int virtual_pad = -1;
    while (std::getline(lines, line)) {
        ++number;
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string directive;
        if (!(words >> directive)) continue;
        bool good = false;
        if (directive == "pad") {
            int axes = 0, buttons = 0, hats = 0;
            good = bool(words >> axes >> buttons >> hats) && axes >= 0 && buttons >= 0 && hats >= 0;
            int id = good ? attach_virtual_pad(axes, buttons, hats) : -1;
            good = id >= 0;
            if (virtual_pad < 0) virtual_pad = id;
        } else if (directive == "poll") {
            ScriptPoll poll;
            good = parse_poll(words, poll);
            if (good) queue_poll(poll, virtual_pad);
        }
        if (!good) {
            error = "input script line " + std::to_string(number) + ": " + line;
            return false;
        }
    }
    g_seam.scripted = true;
    return true;
}

} // namespace

// ---- For the stand-in (the lock held) ------------------------------------------------------------

HRESULT dinput_seam_failure(const char* call)
{
    auto it = g_seam.failures.find(call);
    if (it == g_seam.failures.end() || it->second.times <= 0) return S_OK;
    --it->second.times;
    return it->second.code;
}

bool dinput_seam_scripted()
{
    return g_seam.scripted;
}

void dinput_seam_next_keyboard(BYTE (&keys)[256])
{
    if (!g_seam.keyboard_queue.empty()) {
        g_seam.keyboard = g_seam.keyboard_queue.front();
        g_seam.keyboard_queue.pop_front();
    }
    std::memcpy(keys, g_seam.keyboard.keys, sizeof keys);
}

MouseTotals dinput_seam_mouse(bool take_next)
{
    MouseTotals& totals = g_seam.mouse;
    if (take_next && !g_seam.mouse_queue.empty()) {
        const DIMOUSESTATE& state = g_seam.mouse_queue.front();
        totals.x += state.lX;
        totals.y += state.lY;
        totals.z += state.lZ;
        std::memcpy(totals.buttons, state.rgbButtons, sizeof totals.buttons);
        g_seam.mouse_queue.pop_front();
    }
    return totals;
}

std::uint64_t dinput_seam_loss_count()
{
    return g_seam.losses;
}

bool dinput_seam_host_pads_visible()
{
    return g_seam.host_pads;
}

std::vector<PadInfo> dinput_seam_pads()
{
    std::vector<PadInfo> list;
    for (const auto& pad : g_seam.pads) {
        GUID guid{static_cast<std::uint32_t>(pad->id), k_scripted_pad_mark2, k_scripted_pad_mark3, {}};
        list.push_back(
            {guid, guid, pad->description.name, DINPUT_GAMEPAD_TYPE, pad->description.force_feedback});
    }
    return list;
}

std::shared_ptr<PadSource> dinput_seam_open_pad(const GUID& instance)
{
    if (instance.Data2 != k_scripted_pad_mark2 || instance.Data3 != k_scripted_pad_mark3) return nullptr;
    auto pad = find_pad(static_cast<int>(instance.Data1));
    return pad ? std::make_shared<ScriptedPad>(pad) : nullptr;
}

bool dinput_seam_virtual_read(int instance_id)
{
    VirtualPad* pad = find_virtual_pad(instance_id);
    if (!pad || pad->queue.empty()) return false;
    apply_virtual_state(*pad, pad->queue.front());
    pad->queue.pop_front();
    return true;
}

void dinput_seam_load_script_file()
{
    if (g_seam.script_file_read) return;
    g_seam.script_file_read = true;
    const char* path = std::getenv(DINPUT_SCRIPT_VARIABLE);
    if (!path || !*path) return;
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    std::string error;
    if (!file) {
        std::fprintf(stderr, "input script %s cannot be read\n", path);
    } else if (!load_script(text.str(), error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
    }
}

// ---- For tests -----------------------------------------------------------------------------------

void dinput_seam_script_input(bool on)
{
    std::lock_guard lock(g_dinput_lock);
    g_seam.scripted = on;
}

void dinput_seam_queue_keys(const std::vector<BYTE>& keys_down)
{
    std::lock_guard lock(g_dinput_lock);
    g_seam.keyboard_queue.push_back(keyboard_with(std::vector<int>(keys_down.begin(), keys_down.end())));
}

void dinput_seam_queue_mouse(const DIMOUSESTATE& state)
{
    std::lock_guard lock(g_dinput_lock);
    g_seam.mouse_queue.push_back(state);
}

int dinput_seam_attach_pad(const DinputSeamPad& description)
{
    std::lock_guard lock(g_dinput_lock);
    auto pad = std::make_shared<ScriptedPadState>();
    pad->id = g_seam.next_pad_id++;
    pad->description = description;
    pad->current = centred_pad_state();
    g_seam.pads.push_back(pad);
    return pad->id;
}

void dinput_seam_detach_pad(int id)
{
    std::lock_guard lock(g_dinput_lock);
    if (auto pad = find_pad(id)) pad->attached = false;
    std::erase_if(g_seam.pads, [id](const auto& pad) { return pad->id == id; });
}

void dinput_seam_queue_pad(int id, const DIJOYSTATE& state)
{
    std::lock_guard lock(g_dinput_lock);
    if (auto pad = find_pad(id)) pad->queue.push_back(state);
}

std::vector<DinputSeamEffect> dinput_seam_pad_effects(int id)
{
    std::lock_guard lock(g_dinput_lock);
    std::vector<DinputSeamEffect> list;
    if (auto pad = find_pad(id))
        for (const auto& effect : pad->effects)
            list.push_back(effect.seen);
    return list;
}

int dinput_seam_attach_virtual_pad(int axes, int buttons, int hats)
{
    std::lock_guard lock(g_dinput_lock);
    return attach_virtual_pad(axes, buttons, hats);
}

void dinput_seam_detach_virtual_pad(int id)
{
    std::lock_guard lock(g_dinput_lock);
    detach_virtual_pad(id);
}

void dinput_seam_queue_virtual_pad(int id, const DinputSeamVirtualState& state)
{
    std::lock_guard lock(g_dinput_lock);
    if (VirtualPad* pad = find_virtual_pad(id)) pad->queue.push_back(state);
}

void dinput_seam_show_host_pads(bool on)
{
    std::lock_guard lock(g_dinput_lock);
    g_seam.host_pads = on;
}

void dinput_seam_fail(const char* call, HRESULT code, int times)
{
    std::lock_guard lock(g_dinput_lock);
    g_seam.failures[call] = {code, times};
}

void dinput_seam_lose_devices()
{
    std::lock_guard lock(g_dinput_lock);
    ++g_seam.losses;
}

bool dinput_seam_load_script(const std::string& text, std::string& error)
{
    std::lock_guard lock(g_dinput_lock);
    return load_script(text, error);
}

void dinput_seam_reset()
{
    std::lock_guard lock(g_dinput_lock);
    for (auto& pad : g_seam.pads)
        pad->attached = false;
    while (!g_seam.virtual_pads.empty())
        detach_virtual_pad(g_seam.virtual_pads.front().id);
    std::uint64_t losses = g_seam.losses;
    bool script_file_read = g_seam.script_file_read;
    int next_pad_id = g_seam.next_pad_id;
    g_seam = SeamState{};
    g_seam.losses = losses;
    g_seam.script_file_read = script_file_read;
    g_seam.next_pad_id = next_pad_id;
}
