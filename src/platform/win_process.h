// Starting the system's own programs, as the game starts the settings program.
#pragma once

#include "platform/win_error.h"
#include "platform/win_types.h"

struct STARTUPINFOA {
    DWORD cb;
    char* lpReserved;
    char* lpDesktop;
    char* lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    BYTE* lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};

// Starts one of the system's own programs: the program name (from `application`, else the
// command line's first argument) with ".exe" dropped is looked for, in any case, beside the
// running program, or at the path it names; there is no search of the current folder or PATH
// (ERROR_FILE_NOT_FOUND). The program gets the command line's arguments (in the host's
// UTF-8), the standard streams and the environment, but no other open file; `current_dir`
// null keeps the caller's folder. No creation flags and no environment block are taken
// (ERROR_INVALID_PARAMETER). The returned process and thread handles are closed with
// CloseHandle; closing them does not wait for the program.
BOOL CreateProcessA(const char* application, char* command_line, void* process_security,
                    void* thread_security, BOOL inherit_handles, DWORD creation_flags, void* environment,
                    const char* current_dir, STARTUPINFOA* startup, PROCESS_INFORMATION* info);
