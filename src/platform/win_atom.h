// Global atoms: short texts shared between processes by a 16-bit number. The table lives in
// the user's runtime folder, so every program of the user's session reads the same atoms.
#pragma once

#include "platform/win_error.h"
#include "platform/win_types.h"

#include <cstdint>

using ATOM = WORD;

constexpr std::size_t ATOM_NAME_MAX = 255; // longer names are refused

// A number below 0xC000 written as the name pointer: an integer atom.
inline const char* MAKEINTATOM(WORD value)
{
    return reinterpret_cast<const char*>(std::uintptr_t{value});
}

// Adds a name (compared without regard to ASCII case) or counts one more use of it; returns
// its atom (0xC000..0xFFFF), or 0 with the last error set: ERROR_INVALID_PARAMETER for an
// empty or too long name, ERROR_NOT_ENOUGH_MEMORY when the table is full, the host's error
// when the table cannot be reached. "#<decimal>" and MAKEINTATOM give integer atoms, which
// need no table.
ATOM GlobalAddAtomA(const char* name);

// One use less; the atom goes when none is left. 0 on success, else the atom itself
// (ERROR_INVALID_HANDLE when it does not exist).
ATOM GlobalDeleteAtom(ATOM atom);

// Copies the name (at most size - 1 bytes, never splitting a double-byte character) and a
// terminating zero; returns the bytes copied, 0 when the atom does not exist
// (ERROR_INVALID_HANDLE) or size is 0 (ERROR_INSUFFICIENT_BUFFER). Integer atoms read "#<n>".
UINT GlobalGetAtomNameA(ATOM atom, char* buffer, int size);
