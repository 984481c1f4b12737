// The game's engine: which modules serve the engine's start-up and shutdown steps, in order,
// and the parameter block the game starts it with.
#pragma once

#include "core/ini.h"
#include "core/sys.h"

constexpr std::uint32_t APP_ENGINE_SUBSYSTEMS = 0xE018B1;
inline constexpr const char* APP_ARCHIVE_FOLDER = "release\\";

// Brings the engine's subsystems up from the parameters; 0, or the failing step's code with
// its text written (at least 40 bytes of room).
HRESULT sys_initialize(const EngineParams& params, char* text, std::size_t text_size);
// Takes them down again; tolerates what was never created.
void sys_shutdown();

// The frame timer's fixed step: 60 / refresh rate in full screen with "WaitVSync" and a known
// rate, else 0 (free-running). Set at start-up and after every device reset.
void timer_set_refresh_step(bool windowed);
// Hands the device's back-buffer size to the window origin the mouse measures against.
void app_note_back_buffer();

// Builds the parameter block from the game ini and starts the engine with it.
HRESULT app_init_engine(IniFile& ini, char* text, std::size_t text_size);
