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

// Builds the parameter block from the game ini and starts the engine with it.
HRESULT app_init_engine(IniFile& ini, char* text, std::size_t text_size);
