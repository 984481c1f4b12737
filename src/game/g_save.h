// Save slots: the whole play state in one 7,208-byte file "kro_NN.nacci", its 188-byte header
// carrying a summary for the slot list. The header from the summary on and the body are each
// scrambled with a seed of their own and guarded by CRC-32 values. Slots live in the store's
// remote storage when it is available, else in the user folder.
#pragma once

#include "game/g_play_state.h"
#include "platform/win_types.h"

#include <cstddef>

class GoWndDialog;

constexpr std::size_t SAVE_FILE_NAME_SIZE = 16;
constexpr std::size_t SAVE_LOCATION_SIZE = sizeof(SaveSummary::location);

// The place the event scripts named last; the next save writes it into its summary.
extern char g_save_location[SAVE_LOCATION_SIZE];

// "kro_%02d.nacci" of the slot number.
void save_file_name(int slot, char (&out)[SAVE_FILE_NAME_SIZE]);

// Stores the retry snapshot, fills hit and magic points up (in the live state too) and writes
// the slot. 0, or ERR_OPEN_FILE / ERR_WRITE_FILE; a failed write leaves the old slot as it was.
HRESULT save_write(const char* file_name);
// Checks the slot, puts it in place of the play state and starts its scene behind a covered
// fade. On failure the play state stays as it was, the "Data is corrupt." dialog opens and the
// result says why: ERR_OPEN_FILE, ERR_READ_FILE, ERR_UNMATCHED_VERSION or ERR_BROKEN_DATA.
HRESULT save_load(const char* file_name);
// Fills the summary from the slot's header and returns its status: 1 valid, 0 no file,
// ERR_UNMATCHED_VERSION or ERR_BROKEN_DATA with the reason as the location text.
std::int32_t save_read_header(const char* file_name, SaveSummary& summary);
// Non-zero when the slot was removed.
BOOL save_delete(const char* file_name);

// The "OK" of the corrupt-data notice: nothing to do.
void noop_callback(GoWndDialog& dialog);
