// The bytes of the engine's binary data files (models, collision models) and the one
// bounds-checked reader their parsers walk them with.
#pragma once

#include "core/unpack.h"
#include "platform/win_types.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

// A whole data file. A path ending in ".z" (any case) is unpacked from the archive into the work
// block, which stays lent until Release or destruction; any other path is read from disk.
class DataFile {
public:
    DataFile() = default;
    ~DataFile() { Release(); }
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    // ERR_OPEN_FILE when the archive entry or the disk file is missing; ERR_READ_FILE when a
    // read fails or the work block cannot take the packed file. A damaged packed file throws
    // (see unpack_load).
    HRESULT Load(const char* path);
    std::span<const std::uint8_t> Bytes() const;
    // Gives the work block back and drops the bytes.
    void Release();

private:
    UnpackBuffer m_packed;
    std::vector<std::uint8_t> m_disk;
};

// Reads fixed-width records front to back; a read that does not fit consumes nothing.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    bool Read(void* out, std::size_t size);
    template <typename T> bool Read(T& out)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        return Read(&out, sizeof out);
    }
    // Whether count records of size bytes remain, without overflow in the product.
    bool Has(std::uint64_t count, std::uint64_t size) const;
    std::size_t Remaining() const { return m_bytes.size() - m_position; }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_position = 0;
};
