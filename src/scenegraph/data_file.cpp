#include "scenegraph/data_file.h"

#include "core/errors.h"
#include "core/file.h"
#include "core/vfs.h"

HRESULT DataFile::Load(const char* path)
{
    Release();
    if (!unpack_is_packed_path(path)) return file_read_whole(path, m_disk);
    const VfsEntry* entry = vfs_find(path);
    if (!entry) return ERR_OPEN_FILE;
    // The entry exists, so a null result means the work block is lent or too small.
    return unpack_load(m_packed, entry, path) ? S_OK : ERR_READ_FILE;
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
