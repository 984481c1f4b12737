// The game's settings in "kro_win.ini": read at start-up into the engine's settings records and
// the game's own switches, and partly written back at a normal end into a freshly loaded copy of
// the file, so what the settings program changed meanwhile survives. No setting error stops the
// game: a missing file or key leaves the default.
//
// Keys marked "current" are read only when the file's "IniVersion" is APP_INI_VERSION; older
// files give the defaults for them and are brought up to date by the write-back.
#pragma once

#include "core/ini.h"
#include "core/sys.h"
#include "game/g_settings.h"
#include "lowlv/audio/audio_params.h"
#include "lowlv/d3d/d3d_settings.h"
#include "lowlv/input/input_settings.h"
#include "platform/win_types.h"

#include <cstdint>

constexpr std::int32_t APP_INI_VERSION = 0x103;

// The records the engine is started with. They keep what was read for the keys whose live
// value is written back (gamma, the two master volumes) while no device or audio manager holds one.
struct EngineSettings {
    RendererSettings renderer;
    InputSettings input;
    AudioParams audio;
};
extern EngineSettings g_engine_settings;

// Where the error display sends a fatal text over SSTP; an empty host means never.
struct SstpTarget {
    char host[16];
    std::uint16_t port;
};
extern SstpTarget g_sstp_target;

extern std::uint8_t g_app_windowed; // [renderer] "Windowed" of the current version: 0 full screen

// "IniVersion" of the file's first section; 0 when missing.
std::int32_t app_read_ini_version(IniFile& ini);

// Current version: [kernel] "SSTPEnable" and "HighResoText", [renderer] "Windowed". The SSTP
// target is 127.0.0.1:9801 when "SSTPEnable" is on and a mascot program runs (the mutex
// "sakura", else "ssp", exists); else there is none.
void app_read_kernel_settings(IniFile& ini);
// Current version: [game] with the hero's names and the text filter, then the game's [input],
// [audio] and [renderer] switches.
void app_read_game_settings(IniFile& ini);
// Always: fills g_engine_settings from defaults, fixed values and the [audio], [renderer],
// [kernel], [input] and [debug] keys, and the fields of `params` that come from them: window,
// windowed (g_app_windowed), window position, the three records, archive mapping, frame-rate
// bounds, priority and affinities. The subsystem flags, the resource reserve, the render-queue
// rows and the archive folder stay the caller's.
void app_read_engine_settings(IniFile& ini, HWND window, EngineParams& params);

// "IniVersion" (as "0x103") and [kernel] "WindowPosX", "WindowPosY" (the engine's remembered
// window position).
void app_write_kernel_settings(IniFile& ini);
// The [game] keys, [renderer] "ShowFPS" and "GammaValue" (the device's current gamma), [audio]
// "BgmVolume" and "EffectVolume" (the audio manager's current master volumes), and the game's
// four [input] switches.
void app_write_settings(IniFile& ini);

// Every setting back to its value before any file was read.
void app_reset_settings();
