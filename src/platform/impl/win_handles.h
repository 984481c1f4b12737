// The table behind the platform's kernel handles (files, file mappings, threads ...) and the
// last-error helpers, shared by every stand-in that hands out handles or fails as the platform does.
#pragma once

#include "platform/win_error.h"

#include <memory>

// The last-error code for a failed POSIX call's errno.
DWORD win_error_from_errno(int error);
// Sets the last-error code and returns the call's failure value.
template <class T = BOOL> T win_fail(DWORD error, T result = T{})
{
    SetLastError(error);
    return result;
}

// Any object a handle may stand for; closing the last handle destroys it.
class HandleObject {
public:
    virtual ~HandleObject() = default;
};

// A handle object that can be waited on.
class WaitableObject : public HandleObject {
public:
    // True when signalled within the time.
    virtual bool wait(DWORD milliseconds) = 0;
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

// For the kernel's other thread calls: the POSIX thread behind a thread handle or the
// current-thread pseudo handle; false (ERROR_INVALID_HANDLE) for anything else.
bool thread_posix_id(HANDLE thread, unsigned long* posix_id);
