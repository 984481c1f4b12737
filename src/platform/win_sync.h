// Mutexes of the kernel, named ones shared between processes. A named mutex lives as a lock
// file in the user's runtime folder (platform/impl/runtime_dir.h): every process with a handle to it
// holds a shared lock on that file, so it exists exactly as long as some process holds a
// handle, and the host drops the locks of a process that ends however it ends.
#pragma once

#include "platform/win_types.h"

constexpr DWORD SYNCHRONIZE = 0x00100000;
constexpr DWORD MUTEX_MODIFY_STATE = 0x0001;
constexpr DWORD MUTEX_ALL_ACCESS = 0x001F0001;

constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_NOT_OWNER = 288;

// Only its null form is taken: handles are never inherited by child processes.
struct SECURITY_ATTRIBUTES;

// Creates the mutex, or opens it when a mutex of that name exists; then GetLastError() is
// ERROR_ALREADY_EXISTS and `initial_owner` is ignored. A null name makes a mutex of this
// process alone. Names compare exactly. Close the handle with CloseHandle.
HANDLE CreateMutexA(SECURITY_ATTRIBUTES* attributes, BOOL initial_owner, const char* name);
// Opens an existing mutex; null with ERROR_FILE_NOT_FOUND when none of that name exists.
HANDLE OpenMutexA(DWORD access, BOOL inherit_handle, const char* name);
// Gives up ownership; FALSE with ERROR_NOT_OWNER when the calling thread does not own it.
BOOL ReleaseMutex(HANDLE mutex);
