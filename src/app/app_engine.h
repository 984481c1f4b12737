// The game's engine: which modules serve the engine's start-up and shutdown steps, in order,
// and the parameter block the game starts it with.
#pragma once

#include "core/ini.h"
#include "core/sys.h"

constexpr std::uint32_t APP_ENGINE_SUBSYSTEMS = 0xE018B1;
inline constexpr const char* APP_ARCHIVE_FOLDER = "release\\";

// Hands the device's back-buffer size to the window origin the mouse measures against.
void app_note_back_buffer();

// Builds the parameter block from the game ini and starts the engine with it.
HRESULT app_init_engine(IniFile& ini, char* text, std::size_t text_size);
