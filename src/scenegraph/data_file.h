// The bytes of the engine's binary data files (models, collision models); their parsers walk
// them with the core byte reader, which comes with this header.
#pragma once

#include "core/bytes.h"
#include "core/unpack.h"
#include "platform/win_types.h"

#include <cstdint>
#include <span>
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
