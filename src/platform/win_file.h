// File services of the platform, as the game calls them. Paths are the program's own:
// Shift-JIS, '\' or '/', any case; platform/impl/host_path.h maps them onto the disk. Handles
// come from the kernel's handle table and are closed with CloseHandle.
#pragma once

#include "platform/win_error.h"
#include "platform/win_types.h"

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;

constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;

constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;
constexpr DWORD FILE_FLAG_RANDOM_ACCESS = 0x10000000;
constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;

constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;

// The request record of an overlapped transfer: the file offset goes in, the status
// (Internal) and the byte count (InternalHigh) come out.
struct OVERLAPPED {
    std::uintptr_t Internal;
    std::uintptr_t InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
using LPOVERLAPPED_COMPLETION_ROUTINE = void (*)(DWORD error, DWORD bytes, OVERLAPPED* overlapped);

// Share modes are accepted and not enforced: the host has no mandatory file locks.
HANDLE CreateFileA(const char* path, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD flags, HANDLE template_file);

// On a handle opened with FILE_FLAG_OVERLAPPED the record is required and gives the offset;
// the transfer completes before the call returns.
BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped);

// Overlapped transfers at the record's offset. The transfer completes and its routine runs
// before the call returns, so a caller that waits alertably only while its request is still
// pending never waits. A read at or past the end delivers ERROR_HANDLE_EOF with 0 bytes.
BOOL ReadFileEx(HANDLE file, void* buffer, DWORD count, OVERLAPPED* overlapped,
                LPOVERLAPPED_COMPLETION_ROUTINE routine);
BOOL WriteFileEx(HANDLE file, const void* buffer, DWORD count, OVERLAPPED* overlapped,
                 LPOVERLAPPED_COMPLETION_ROUTINE routine);

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD method);
DWORD GetFileSize(HANDLE file, DWORD* size_high);
BOOL FlushFileBuffers(HANDLE file);

BOOL CreateDirectoryA(const char* path, void* security);
BOOL DeleteFileA(const char* path);
// The destination is matched case-insensitively like any path, so an existing file is
// replaced under its own name rather than joined by a second spelling.
BOOL MoveFileExA(const char* existing, const char* destination, DWORD flags);
DWORD GetFileAttributesA(const char* path);

// Host paths reach the program in the same form (backslashes, Shift-JIS); a path that
// Shift-JIS cannot express fails with ERROR_NO_UNICODE_TRANSLATION.
// Only the program's own module (null or GetModuleHandleA(nullptr)) has a file name here.
DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);
DWORD GetCurrentDirectoryA(DWORD size, char* buffer);
BOOL SetCurrentDirectoryA(const char* path);

// Memory-mapped files: read-only views of a whole file or of a range of it.
constexpr DWORD PAGE_READONLY = 0x02;
constexpr DWORD FILE_MAP_READ = 0x4;
// An empty file cannot be mapped (ERROR_FILE_INVALID). The mapping stays valid after the
// file's handle is closed.
HANDLE CreateFileMappingA(HANDLE file, void* security, DWORD protect, DWORD maximum_size_high,
                          DWORD maximum_size_low, const char* name);
// bytes 0 maps from the offset to the end of the mapping.
void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offset_high, DWORD offset_low, SIZE_T bytes);
BOOL UnmapViewOfFile(const void* view);
