#include "scenegraph/data_file.h"

#include "core/errors.h"
#include "core/file.h"
#include "core/vfs.h"

#include <cctype>
#include <cstring>

namespace {

HRESULT read_disk_file(const char* path, std::vector<std::uint8_t>& out)
{
    File file;
    if (FAILED(file.OpenRead(path, FILE_FLAG_SEQUENTIAL_SCAN))) return ERR_OPEN_FILE;
    if (FAILED(file_read_to_end(file, out))) {
        out.clear();
        return ERR_READ_FILE;
    }
    file.Close();
    return S_OK;
}

bool is_packed_path(const char* path)
{
    std::size_t length = std::strlen(path);
    return length >= 2 && path[length - 2] == '.' &&
           std::tolower(static_cast<unsigned char>(path[length - 1])) == 'z';
}

} // namespace

HRESULT DataFile::Load(const char* path)
{
    Release();
    if (!is_packed_path(path)) return read_disk_file(path, m_disk);
    if (!vfs_find(path)) return ERR_OPEN_FILE;
    // The entry exists, so a null result means the work block is lent or too small.
    return unpack_load(m_packed, path) ? S_OK : ERR_READ_FILE;
}

std::span<const std::uint8_t> DataFile::Bytes() const
{
    if (m_packed.data) return {m_packed.data, m_packed.size};
    return m_disk;
}

void DataFile::Release()
{
    unpack_release_buffer(m_packed);
    m_disk.clear();
    m_disk.shrink_to_fit();
}

bool ByteReader::Read(void* out, std::size_t size)
{
    if (size > Remaining()) return false;
    if (size > 0) std::memcpy(out, m_bytes.data() + m_position, size);
    m_position += size;
    return true;
}

bool ByteReader::Has(std::uint64_t count, std::uint64_t size) const
{
    return size == 0 || count <= Remaining() / size;
}
