// The table behind the platform's kernel handles (files, file mappings ...) and the calling
// thread's last-error code, shared by every stand-in that hands out handles.
#pragma once

#include "platform/win_types.h"

#include <memory>

// Last-error codes with the platform's numbering.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_INVALID_ADDRESS = 487;
constexpr DWORD ERROR_FILE_INVALID = 1006;
constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;
constexpr DWORD ERROR_MAPPED_ALIGNMENT = 1132;

DWORD GetLastError();
void SetLastError(DWORD code);
// The last-error code for a failed POSIX call's errno.
DWORD win_error_from_errno(int error);

// Any object a handle may stand for; closing the last handle destroys it.
class HandleObject {
public:
    virtual ~HandleObject() = default;
};

// A new handle for the object; null (ERROR_TOO_MANY_OPEN_FILES) when the table is full.
HANDLE handle_add(std::shared_ptr<HandleObject> object);
// The object behind a live handle when it is of type T, else null (ERROR_INVALID_HANDLE).
std::shared_ptr<HandleObject> handle_lookup(HANDLE handle);
template <class T> std::shared_ptr<T> handle_get(HANDLE handle)
{
    auto object = std::dynamic_pointer_cast<T>(handle_lookup(handle));
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}
// True for values in the table's range, live or not; other values are the kernel's own.
bool handle_in_table(HANDLE handle);
// Closes a table handle; false (ERROR_INVALID_HANDLE) when it is not live.
bool handle_close(HANDLE handle);
// How many table handles are live (tests check for leaks).
int handle_live_count();
