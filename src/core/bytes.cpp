#include "core/bytes.h"

#include <bit>
#include <cstring>

namespace {

bool field_fits(std::size_t size, std::size_t offset, std::size_t width)
{
    return offset <= size && width <= size - offset;
}

// The bytes are assembled by shifts, so the image's order holds whatever the host's is.
template <typename U, typename T> bool get_le(std::span<const std::uint8_t> bytes, std::size_t offset, T& out)
{
    static_assert(sizeof(U) == sizeof(T));
    if (!field_fits(bytes.size(), offset, sizeof(U))) return false;
    U value = 0;
    for (std::size_t i = 0; i < sizeof(U); ++i)
        value = static_cast<U>(value | static_cast<U>(bytes[offset + i]) << (8 * i));
    out = std::bit_cast<T>(value);
    return true;
}

template <typename U, typename T> bool put_le(std::span<std::uint8_t> bytes, std::size_t offset, T value)
{
    static_assert(sizeof(U) == sizeof(T));
    if (!field_fits(bytes.size(), offset, sizeof(U))) return false;
    const U bits = std::bit_cast<U>(value);
    for (std::size_t i = 0; i < sizeof(U); ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    return true;
}

} // namespace

bool bytes_get_u16(std::span<const std::uint8_t> bytes, std::size_t offset, std::uint16_t& out)
{
    return get_le<std::uint16_t>(bytes, offset, out);
}

bool bytes_get_u32(std::span<const std::uint8_t> bytes, std::size_t offset, std::uint32_t& out)
{
    return get_le<std::uint32_t>(bytes, offset, out);
}

bool bytes_get_i32(std::span<const std::uint8_t> bytes, std::size_t offset, std::int32_t& out)
{
    return get_le<std::uint32_t>(bytes, offset, out);
}

bool bytes_get_f32(std::span<const std::uint8_t> bytes, std::size_t offset, float& out)
{
    return get_le<std::uint32_t>(bytes, offset, out);
}

bool bytes_put_u16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value)
{
    return put_le<std::uint16_t>(bytes, offset, value);
}

bool bytes_put_u32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value)
{
    return put_le<std::uint32_t>(bytes, offset, value);
}

bool bytes_put_i32(std::span<std::uint8_t> bytes, std::size_t offset, std::int32_t value)
{
    return put_le<std::uint32_t>(bytes, offset, value);
}

bool bytes_put_f32(std::span<std::uint8_t> bytes, std::size_t offset, float value)
{
    return put_le<std::uint32_t>(bytes, offset, value);
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
