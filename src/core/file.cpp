#include "core/file.h"

#include "core/errors.h"
#include "core/sys.h"
#include "core/userdir.h"
#include "platform/win_kernel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

std::uint32_t g_file_io_throttle = 0;

namespace {

// The sibling a whole-file write goes to until it is complete.
constexpr char k_pending_suffix[] = ".tmp~";
constexpr std::size_t k_pending_size = MAX_PATH + sizeof k_pending_suffix;

// One overlapped transfer; the completion routine finds the record through its first member.
struct FileRequest {
    OVERLAPPED overlapped;
    DWORD error;
    DWORD bytes;
    bool complete;
};

void file_request_done(DWORD error, DWORD bytes, OVERLAPPED* overlapped)
{
    auto* request = reinterpret_cast<FileRequest*>(overlapped);
    request->error = error == ERROR_HANDLE_EOF ? ERROR_SUCCESS : error;
    request->bytes = error == ERROR_HANDLE_EOF ? 0 : bytes;
    request->complete = true;
}

bool pending_name(const char* path, char (&out)[k_pending_size])
{
    if (std::strlen(path) >= MAX_PATH) return false;
    std::snprintf(out, sizeof out, "%s%s", path, k_pending_suffix);
    return true;
}

bool is_folder(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

File::~File()
{
    if (m_target[0] && std::uncaught_exceptions() > m_exceptions_at_open) m_write_failed = true;
    Close();
}

HRESULT File::Open(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    if (g_os_generation >= OS_GENERATION_NT5) flags |= FILE_FLAG_OVERLAPPED;
    HANDLE handle = CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return ERR_OPEN_FILE;
    m_handle = handle;
    m_flags = flags;
    m_position = 0;
    m_size = 0;
    return S_OK;
}

HRESULT File::OpenWrite(const char* path, DWORD flags)
{
    Close();
    char pending[k_pending_size];
    if (!pending_name(path, pending) || is_folder(path)) return ERR_OPEN_FILE;
    HRESULT result = Open(pending, GENERIC_WRITE, 0, CREATE_ALWAYS, flags);
    if (FAILED(result)) {
        path_create_dirs(path, true);
        result = Open(pending, GENERIC_WRITE, 0, CREATE_ALWAYS, flags);
    }
    if (FAILED(result)) return result;
    std::snprintf(m_target, sizeof m_target, "%s", path);
    m_write_failed = false;
    m_exceptions_at_open = std::uncaught_exceptions();
    return S_OK;
}

HRESULT File::OpenRead(const char* path, DWORD flags)
{
    Close();
    HRESULT result = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, flags);
    if (SUCCEEDED(result) && IsOverlapped()) m_size = GetFileSize(m_handle, nullptr);
    return result;
}

HRESULT File::OpenUpdate(const char* path, DWORD flags)
{
    Close();
    return Open(path, GENERIC_WRITE, 0, OPEN_EXISTING, flags);
}

// The old file is replaced only by a complete, flushed new one; anything less is dropped.
HRESULT File::CommitWhole()
{
    bool complete = !m_write_failed && FlushFileBuffers(m_handle);
    CloseHandle(m_handle);
    char pending[k_pending_size];
    pending_name(m_target, pending);
    if (complete && MoveFileExA(pending, m_target, MOVEFILE_REPLACE_EXISTING)) return S_OK;
    DeleteFileA(pending);
    return ERR_WRITE_FILE;
}

HRESULT File::Close()
{
    if (!IsOpen()) return S_OK;
    HRESULT result = S_OK;
    if (m_target[0])
        result = CommitWhole();
    else
        CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    m_flags = 0;
    m_position = 0;
    m_size = 0;
    m_target[0] = '\0';
    m_write_failed = false;
    return result;
}

HRESULT File::Seek(LONG distance, DWORD method)
{
    if (!IsOverlapped())
        return SetFilePointer(m_handle, distance, nullptr, method) == INVALID_SET_FILE_POINTER ? ERR_SEEK_FILE
                                                                                               : S_OK;
    switch (method) {
    case FILE_BEGIN:
        m_position = static_cast<std::uint32_t>(distance);
        return S_OK;
    case FILE_CURRENT:
        m_position += static_cast<std::uint32_t>(distance);
        return S_OK;
    case FILE_END: {
        DWORD size = GetFileSize(m_handle, nullptr);
        if (size == INVALID_FILE_SIZE) return ERR_SEEK_FILE;
        m_position = size - static_cast<std::uint32_t>(distance);
        return S_OK;
    }
    default:
        return ERR_SEEK_FILE;
    }
}

HRESULT File::Transfer(void* buffer, DWORD count, DWORD* done, bool writing)
{
    if (done) *done = 0;
    if (count == 0) return S_OK;
    DWORD bytes = 0;
    HRESULT result = file_transfer(m_handle, m_flags, m_position, buffer, count, writing, bytes);
    if (done) *done = bytes;
    // The overlapped path keeps its own position and relies on its wait instead of the pause.
    if (IsOverlapped())
        m_position += bytes;
    else if (SUCCEEDED(result))
        file_io_throttle(g_file_io_throttle, bytes);
    return result;
}

HRESULT File::Read(void* buffer, DWORD count, DWORD* done)
{
    if (IsOverlapped()) count = m_position < m_size ? std::min<DWORD>(count, m_size - m_position) : 0;
    return Transfer(buffer, count, done, false);
}

HRESULT File::Write(const void* buffer, DWORD count, DWORD* done)
{
    HRESULT result = Transfer(const_cast<void*>(buffer), count, done, true);
    // A whole-file write with a gap in it must never replace the old file.
    if (FAILED(result)) m_write_failed = true;
    return result;
}

HRESULT File::Flush()
{
    if (!IsOpen() || !FlushFileBuffers(m_handle)) return E_FAIL;
    return S_OK;
}

// Reads and writes share their shape; `writing` picks the calls and the failure code.
HRESULT file_transfer(HANDLE handle, DWORD flags, std::uint32_t offset, void* buffer, DWORD count,
                      bool writing, DWORD& done)
{
    const HRESULT failure = writing ? ERR_WRITE_FILE : ERR_READ_FILE;
    done = 0;
    if (!(flags & FILE_FLAG_OVERLAPPED)) {
        BOOL ok = writing ? WriteFile(handle, buffer, count, &done, nullptr)
                          : ReadFile(handle, buffer, count, &done, nullptr);
        return ok ? S_OK : failure;
    }
    FileRequest request{};
    request.overlapped.Offset = offset;
    BOOL started = writing ? WriteFileEx(handle, buffer, count, &request.overlapped, file_request_done)
                           : ReadFileEx(handle, buffer, count, &request.overlapped, file_request_done);
    if (!started) return failure;
    while (!request.complete)
        SleepEx(INFINITE, TRUE);
    done = request.bytes;
    return request.error == ERROR_SUCCESS ? S_OK : failure;
}

void file_io_throttle(std::uint32_t& counter, std::uint32_t bytes)
{
    counter += bytes;
    if (counter <= FILE_IO_THROTTLE_LIMIT) return;
    SleepEx(1, TRUE);
    counter = 0;
}

HRESULT file_read_whole(const char* path, std::vector<std::uint8_t>& out)
{
    out.clear();
    File file;
    if (FAILED(file.OpenRead(path, FILE_FLAG_SEQUENTIAL_SCAN))) return ERR_OPEN_FILE;
    if (FAILED(file_read_to_end(file, out))) {
        out.clear();
        return ERR_READ_FILE;
    }
    return S_OK;
}
