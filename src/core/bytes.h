// Little-endian fields of byte images, and the one bounds-checked reader that file parsers walk
// records with. Nothing here reads or writes outside the span it is given: a field that does not
// lie wholly inside it is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

// A field at a byte offset. False, with `out` or the span untouched, when the field would reach
// past the end (offsets near SIZE_MAX included).
bool bytes_get_u16(std::span<const std::uint8_t> bytes, std::size_t offset, std::uint16_t& out);
bool bytes_get_u32(std::span<const std::uint8_t> bytes, std::size_t offset, std::uint32_t& out);
bool bytes_get_i32(std::span<const std::uint8_t> bytes, std::size_t offset, std::int32_t& out);
bool bytes_get_f32(std::span<const std::uint8_t> bytes, std::size_t offset, float& out);
bool bytes_put_u16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value);
bool bytes_put_u32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);
bool bytes_put_i32(std::span<std::uint8_t> bytes, std::size_t offset, std::int32_t value);
bool bytes_put_f32(std::span<std::uint8_t> bytes, std::size_t offset, float value);

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
