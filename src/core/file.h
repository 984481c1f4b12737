// File: the one class for loose-file I/O. From generation 11 on it works on the overlapped
// path (its own position, each transfer completed before the call returns); below, on plain
// synchronous calls that pause 1 ms after every 2 MiB moved. Operations return result codes
// and never throw; a short read is not an error, callers compare the count.
//
// A file opened with OpenWrite is written to a temporary sibling and replaces the old file
// only when Close finds every write succeeded; otherwise the old file stays as it was and
// Close reports ERR_WRITE_FILE. OpenUpdate writes in place.
#pragma once

#include "platform/win_file.h"
#include "platform/win_types.h"

#include <cstdint>
#include <vector>

// Bytes of plain I/O between two 1-ms pauses.
constexpr std::uint32_t FILE_IO_THROTTLE_LIMIT = 0x200000;
// Bytes moved by plain reads and writes since the last pause, shared by every File.
extern std::uint32_t g_file_io_throttle;

class File {
public:
    File() = default;
    // Closes; a whole-file write abandoned by an exception is discarded, not committed.
    virtual ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Each open first closes a file this object still holds. ERR_OPEN_FILE on failure.
    // Creates or truncates; missing folders are created and the open tried once more.
    virtual HRESULT OpenWrite(const char* path, DWORD flags);
    virtual HRESULT OpenRead(const char* path, DWORD flags);
    // An existing file, for writing without truncating.
    virtual HRESULT OpenUpdate(const char* path, DWORD flags);
    // S_OK, or ERR_WRITE_FILE when a whole-file write could not be put in place.
    virtual HRESULT Close();
    // FILE_BEGIN, FILE_CURRENT or FILE_END; on the overlapped path FILE_END sets the
    // position to the file's size less the distance.
    virtual HRESULT Seek(LONG distance, DWORD method);
    // `done` may be null.
    virtual HRESULT Read(void* buffer, DWORD count, DWORD* done);
    virtual HRESULT Write(const void* buffer, DWORD count, DWORD* done);
    // E_FAIL when closed or when the system's flush fails.
    virtual HRESULT Flush();

    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    bool IsOverlapped() const { return (m_flags & FILE_FLAG_OVERLAPPED) != 0; }
    std::uint32_t Position() const { return m_position; }

private:
    HRESULT Open(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
    HRESULT CommitWhole();
    HRESULT Transfer(void* buffer, DWORD count, DWORD* done, bool writing);

    HANDLE m_handle = INVALID_HANDLE_VALUE;
    DWORD m_flags = 0;
    std::uint32_t m_position = 0;
    std::uint32_t m_size = 0;
    // While a whole-file write is open: the name it will replace ("" otherwise), whether a
    // write failed, and how many exceptions were in flight when it was opened.
    char m_target[MAX_PATH] = {};
    bool m_write_failed = false;
    int m_exceptions_at_open = 0;
};

// One read or write of `count` bytes on a handle, the one transfer path of File and the
// archive, complete when the call returns. With FILE_FLAG_OVERLAPPED in `flags` it starts at
// `offset` and waits alertably for its completion (the end of the file completes it with 0
// bytes); otherwise it is a plain call at the system's file pointer. `done` gets the bytes
// moved, also on failure; ERR_READ_FILE or ERR_WRITE_FILE when the transfer fails.
HRESULT file_transfer(HANDLE handle, DWORD flags, std::uint32_t offset, void* buffer, DWORD count,
                      bool writing, DWORD& done);
// Adds a transfer's bytes to a counter; past FILE_IO_THROTTLE_LIMIT the thread pauses 1 ms
// (alertably) and the counter starts again. File and the archive each keep a counter of their own.
void file_io_throttle(std::uint32_t& counter, std::uint32_t bytes);

// Bytes read at a time by file_read_to_end.
constexpr DWORD FILE_READ_CHUNK = 0x10000;

// Appends what is left of an open file to `out` (a container of bytes or chars); on a failed
// read, the read's result (what was read before stays in `out`).
template <class Bytes> HRESULT file_read_to_end(File& file, Bytes& out)
{
    for (;;) {
        std::size_t had = out.size();
        out.resize(had + FILE_READ_CHUNK);
        DWORD done = 0;
        HRESULT result = file.Read(out.data() + had, FILE_READ_CHUNK, &done);
        out.resize(had + (SUCCEEDED(result) ? done : 0));
        if (FAILED(result)) return result;
        if (done == 0) return S_OK;
    }
}

// A whole disk file, read sequentially. ERR_OPEN_FILE when it cannot be opened; ERR_READ_FILE
// when a read fails, with `out` left empty.
HRESULT file_read_whole(const char* path, std::vector<std::uint8_t>& out);
