#include "platform/win_file.h"

#include "platform/impl/host_path.h"
#include "platform/impl/win_handles.h"
#include "platform/win_kernel.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

constexpr std::uint64_t k_map_granularity = 0x10000;

class FileObject : public HandleObject {
public:
    FileObject(int fd, DWORD access, DWORD flags) : fd(fd), access(access), flags(flags) {}
    ~FileObject() override { ::close(fd); }
    bool overlapped() const { return (flags & FILE_FLAG_OVERLAPPED) != 0; }

    const int fd;
    const DWORD access;
    const DWORD flags;
};

class MappingObject : public HandleObject {
public:
    MappingObject(int fd, std::uint64_t size) : fd(fd), size(size) {}
    ~MappingObject() override { ::close(fd); }

    const int fd;
    const std::uint64_t size;
};

std::mutex g_view_lock;
std::map<const void*, std::size_t> g_views;

BOOL fail_errno()
{
    return win_fail(win_error_from_errno(errno));
}

std::uint64_t offset_of(const OVERLAPPED& overlapped)
{
    return (std::uint64_t{overlapped.OffsetHigh} << 32) | overlapped.Offset;
}

// A missing file and a missing folder on its way fail differently on the platform.
DWORD missing_error(const std::string& host)
{
    std::size_t slash = host.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return ERROR_FILE_NOT_FOUND;
    struct stat info {};
    return stat(host.substr(0, slash).c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                                    : ERROR_PATH_NOT_FOUND;
}

BOOL fail_path(const std::string& host)
{
    return errno == ENOENT ? win_fail(missing_error(host)) : fail_errno();
}

int open_flags(DWORD access, DWORD disposition)
{
    int flags = O_CLOEXEC;
    if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
        flags |= O_RDWR;
    else if (access & GENERIC_WRITE)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    switch (disposition) {
    case CREATE_NEW:
        return flags | O_CREAT | O_EXCL;
    case CREATE_ALWAYS:
        return flags | O_CREAT | O_TRUNC;
    case OPEN_EXISTING:
        return flags;
    case OPEN_ALWAYS:
        return flags | O_CREAT;
    case TRUNCATE_EXISTING:
        return (access & GENERIC_WRITE) ? flags | O_TRUNC : -1;
    default:
        return -1;
    }
}

// Whole transfers: the host may move fewer bytes per call than asked.
ssize_t transfer_at(int fd, void* buffer, std::size_t count, off_t offset, bool writing)
{
    std::size_t moved = 0;
    while (moved < count) {
        auto* at = static_cast<char*>(buffer) + moved;
        ssize_t n = writing ? (offset < 0 ? ::write(fd, at, count - moved)
                                          : ::pwrite(fd, at, count - moved, offset + moved))
                            : (offset < 0 ? ::read(fd, at, count - moved)
                                          : ::pread(fd, at, count - moved, offset + moved));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return moved > 0 ? static_cast<ssize_t>(moved) : -1;
        if (n == 0) break;
        moved += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(moved);
}

// One synchronous transfer of ReadFile or WriteFile. With a request record the offset is the
// record's; on a plain handle the file pointer then stands after the transfer, as it does there.
BOOL transfer(HANDLE file, void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped, bool writing)
{
    if (done) *done = 0;
    auto object = handle_get<FileObject>(file);
    if (!object) return FALSE;
    if (!(object->access & (writing ? GENERIC_WRITE : GENERIC_READ))) return win_fail(ERROR_ACCESS_DENIED);
    if (object->overlapped() && !overlapped) return win_fail(ERROR_INVALID_PARAMETER);
    off_t offset = overlapped ? static_cast<off_t>(offset_of(*overlapped)) : -1;
    int saved_errno = 0;
    ssize_t moved = transfer_at(object->fd, buffer, count, offset, writing);
    if (moved < static_cast<ssize_t>(count)) saved_errno = errno;
    DWORD bytes = moved > 0 ? static_cast<DWORD>(moved) : 0;
    if (done) *done = bytes;
    if (overlapped) {
        overlapped->InternalHigh = bytes;
        if (!object->overlapped()) lseek(object->fd, offset + bytes, SEEK_SET);
    }
    if (moved < 0 || (writing && bytes < count)) {
        errno = saved_errno ? saved_errno : ENOSPC;
        if (overlapped) overlapped->Internal = win_error_from_errno(errno);
        return fail_errno();
    }
    bool end_of_file = !writing && bytes == 0 && count > 0;
    if (overlapped) overlapped->Internal = end_of_file ? ERROR_HANDLE_EOF : ERROR_SUCCESS;
    if (end_of_file && object->overlapped()) return win_fail(ERROR_HANDLE_EOF);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL transfer_ex(HANDLE file, void* buffer, DWORD count, OVERLAPPED* overlapped,
                 LPOVERLAPPED_COMPLETION_ROUTINE routine, bool writing)
{
    if (!overlapped || !routine) return win_fail(ERROR_INVALID_PARAMETER);
    auto object = handle_get<FileObject>(file);
    if (!object) return FALSE;
    if (!object->overlapped()) return win_fail(ERROR_INVALID_PARAMETER);
    DWORD done = 0;
    if (!transfer(file, buffer, count, &done, overlapped, writing) && GetLastError() != ERROR_HANDLE_EOF)
        return FALSE;
    routine(static_cast<DWORD>(overlapped->Internal), done, overlapped);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

} // namespace

HANDLE CreateFileA(const char* path, DWORD access, DWORD, void*, DWORD disposition, DWORD flags, HANDLE)
{
    int open_mode = open_flags(access, disposition);
    if (!path || !*path || open_mode < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string host = host_path_from_windows(path);
    struct stat before {};
    bool existed = stat(host.c_str(), &before) == 0;
    int fd = ::open(host.c_str(), open_mode, 0666);
    if (fd < 0) {
        fail_path(host);
        return INVALID_HANDLE_VALUE;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (flags & FILE_FLAG_SEQUENTIAL_SCAN) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    if (flags & FILE_FLAG_RANDOM_ACCESS) posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    HANDLE handle = handle_add(std::make_shared<FileObject>(fd, access, flags));
    if (!handle) return INVALID_HANDLE_VALUE; // the object closed the descriptor
    bool reports_existing = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    SetLastError(reports_existing && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped)
{
    return transfer(file, buffer, count, done, overlapped, false);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped)
{
    return transfer(file, const_cast<void*>(buffer), count, done, overlapped, true);
}

BOOL ReadFileEx(HANDLE file, void* buffer, DWORD count, OVERLAPPED* overlapped,
                LPOVERLAPPED_COMPLETION_ROUTINE routine)
{
    return transfer_ex(file, buffer, count, overlapped, routine, false);
}

BOOL WriteFileEx(HANDLE file, const void* buffer, DWORD count, OVERLAPPED* overlapped,
                 LPOVERLAPPED_COMPLETION_ROUTINE routine)
{
    return transfer_ex(file, const_cast<void*>(buffer), count, overlapped, routine, true);
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD method)
{
    auto object = handle_get<FileObject>(file);
    if (!object) return INVALID_SET_FILE_POINTER;
    std::int64_t move = distance_high
                            ? static_cast<std::int64_t>((std::uint64_t(std::uint32_t(*distance_high)) << 32) |
                                                        std::uint32_t(distance))
                            : distance;
    std::int64_t base = 0;
    struct stat info {};
    switch (method) {
    case FILE_BEGIN:
        break;
    case FILE_CURRENT:
        base = lseek(object->fd, 0, SEEK_CUR);
        if (base < 0) return fail_errno(), INVALID_SET_FILE_POINTER;
        break;
    case FILE_END:
        if (fstat(object->fd, &info) != 0) return fail_errno(), INVALID_SET_FILE_POINTER;
        base = info.st_size;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    std::int64_t target = base + move;
    if (target < 0 || (!distance_high && target > 0xFFFFFFFE)) {
        SetLastError(target < 0 ? ERROR_NEGATIVE_SEEK : ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (lseek(object->fd, target, SEEK_SET) < 0) return fail_errno(), INVALID_SET_FILE_POINTER;
    if (distance_high) *distance_high = static_cast<LONG>(target >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(target);
}

DWORD GetFileSize(HANDLE file, DWORD* size_high)
{
    auto object = handle_get<FileObject>(file);
    if (!object) return INVALID_FILE_SIZE;
    struct stat info {};
    if (fstat(object->fd, &info) != 0) return fail_errno(), INVALID_FILE_SIZE;
    auto size = static_cast<std::uint64_t>(info.st_size);
    if (size_high) *size_high = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL FlushFileBuffers(HANDLE file)
{
    auto object = handle_get<FileObject>(file);
    if (!object) return FALSE;
    if (!(object->access & GENERIC_WRITE)) return win_fail(ERROR_ACCESS_DENIED);
    return fsync(object->fd) == 0 ? TRUE : fail_errno();
}

BOOL CreateDirectoryA(const char* path, void*)
{
    if (!path || !*path) return win_fail(ERROR_PATH_NOT_FOUND);
    std::string host = host_path_from_windows(path);
    if (mkdir(host.c_str(), 0777) == 0) return TRUE;
    return errno == ENOENT ? win_fail(ERROR_PATH_NOT_FOUND) : fail_errno();
}

BOOL DeleteFileA(const char* path)
{
    if (!path || !*path) return win_fail(ERROR_PATH_NOT_FOUND);
    std::string host = host_path_from_windows(path);
    struct stat info {};
    if (lstat(host.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return win_fail(ERROR_ACCESS_DENIED);
    return unlink(host.c_str()) == 0 ? TRUE : fail_path(host);
}

BOOL MoveFileExA(const char* existing, const char* destination, DWORD flags)
{
    if (!existing || !destination) return win_fail(ERROR_INVALID_PARAMETER);
    std::string from = host_path_from_windows(existing);
    std::string to = host_path_from_windows(destination);
    struct stat info {};
    if (lstat(from.c_str(), &info) != 0) return fail_path(from);
    if (lstat(to.c_str(), &info) == 0 && (S_ISDIR(info.st_mode) || !(flags & MOVEFILE_REPLACE_EXISTING)))
        return win_fail(S_ISDIR(info.st_mode) ? ERROR_ACCESS_DENIED : ERROR_ALREADY_EXISTS);
    unsigned rename_flags = (flags & MOVEFILE_REPLACE_EXISTING) ? 0 : RENAME_NOREPLACE;
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), rename_flags) == 0) return TRUE;
    return errno == ENOENT ? win_fail(missing_error(to)) : fail_errno();
}

DWORD GetFileAttributesA(const char* path)
{
    if (!path || !*path) return win_fail(ERROR_PATH_NOT_FOUND), INVALID_FILE_ATTRIBUTES;
    std::string host = host_path_from_windows(path);
    struct stat info {};
    if (stat(host.c_str(), &info) != 0) return fail_path(host), INVALID_FILE_ATTRIBUTES;
    if (S_ISDIR(info.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    return (info.st_mode & S_IWUSR) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

namespace {

// Copies a host path in the program's form; the platform's rules for a short buffer differ
// per call, so the caller decides what to report then.
bool windows_form(const std::string& host, std::string& out)
{
    auto converted = host_path_to_windows(host);
    if (!converted) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return false;
    }
    out = std::move(*converted);
    return true;
}

} // namespace

DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size)
{
    if (module && module != GetModuleHandleA(nullptr)) return win_fail(ERROR_MOD_NOT_FOUND), 0;
    char host[4096];
    ssize_t length = readlink("/proc/self/exe", host, sizeof host - 1);
    if (length < 0) return fail_errno(), 0;
    std::string path;
    if (!windows_form(std::string(host, static_cast<std::size_t>(length)), path)) return 0;
    if (size == 0) return win_fail(ERROR_INSUFFICIENT_BUFFER), 0;
    if (path.size() >= size) {
        std::memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

DWORD GetCurrentDirectoryA(DWORD size, char* buffer)
{
    char host[4096];
    if (!getcwd(host, sizeof host)) return fail_errno(), 0;
    std::string path;
    if (!windows_form(host, path)) return 0;
    if (!buffer || path.size() >= size) return static_cast<DWORD>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

BOOL SetCurrentDirectoryA(const char* path)
{
    if (!path || !*path) return win_fail(ERROR_INVALID_PARAMETER);
    std::string host = host_path_from_windows(path);
    return chdir(host.c_str()) == 0 ? TRUE : fail_path(host);
}

// Only read-only mappings of files are made here.
HANDLE CreateFileMappingA(HANDLE file, void*, DWORD protect, DWORD maximum_size_high, DWORD maximum_size_low,
                          const char* name)
{
    if (protect != PAGE_READONLY || name) return win_fail(ERROR_INVALID_PARAMETER), nullptr;
    auto object = handle_get<FileObject>(file);
    if (!object) return nullptr;
    if (!(object->access & GENERIC_READ)) return win_fail(ERROR_ACCESS_DENIED), nullptr;
    struct stat info {};
    if (fstat(object->fd, &info) != 0) return fail_errno(), nullptr;
    auto file_size = static_cast<std::uint64_t>(info.st_size);
    std::uint64_t size = (std::uint64_t{maximum_size_high} << 32) | maximum_size_low;
    if (size == 0) size = file_size;
    if (size == 0) return win_fail(ERROR_FILE_INVALID), nullptr;
    // A read-only mapping cannot grow the file.
    if (size > file_size) return win_fail(ERROR_NOT_ENOUGH_MEMORY), nullptr;
    int fd = fcntl(object->fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return fail_errno(), nullptr;
    HANDLE handle = handle_add(std::make_shared<MappingObject>(fd, size));
    if (handle) SetLastError(ERROR_SUCCESS);
    return handle;
}

void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offset_high, DWORD offset_low, SIZE_T bytes)
{
    if (access != FILE_MAP_READ) return win_fail(ERROR_ACCESS_DENIED), nullptr;
    auto object = handle_get<MappingObject>(mapping);
    if (!object) return nullptr;
    std::uint64_t offset = (std::uint64_t{offset_high} << 32) | offset_low;
    if (offset % k_map_granularity) return win_fail(ERROR_MAPPED_ALIGNMENT), nullptr;
    if (offset >= object->size) return win_fail(ERROR_ACCESS_DENIED), nullptr;
    if (bytes == 0) bytes = static_cast<SIZE_T>(object->size - offset);
    if (bytes > object->size - offset) return win_fail(ERROR_ACCESS_DENIED), nullptr;
    void* view = mmap(nullptr, bytes, PROT_READ, MAP_SHARED, object->fd, static_cast<off_t>(offset));
    if (view == MAP_FAILED) return fail_errno(), nullptr;
    std::lock_guard lock(g_view_lock);
    g_views[view] = bytes;
    return view;
}

BOOL UnmapViewOfFile(const void* view)
{
    std::lock_guard lock(g_view_lock);
    auto it = g_views.find(view);
    if (it == g_views.end()) return win_fail(ERROR_INVALID_ADDRESS);
    munmap(const_cast<void*>(it->first), it->second);
    g_views.erase(it);
    return TRUE;
}
