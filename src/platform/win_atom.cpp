// The global atom table is one file in the runtime folder, read and rewritten whole under an
// exclusive lock, so every process of the user sees the same atoms with their use counts.
// Record: u16 atom, u16 uses, u16 name length, the name bytes.
#include "platform/win_atom.h"

#include "platform/impl/mbcs.h"
#include "platform/impl/runtime_dir.h"
#include "platform/impl/win_handles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr ATOM k_first_string_atom = 0xC000;
constexpr ATOM k_last_integer_atom = 0xBFFF;

struct AtomEntry {
    ATOM atom;
    WORD uses;
    std::string name;
};

// The table file held under its lock for one operation.
class AtomTable {
public:
    AtomTable()
    {
        std::string path = runtime_object_path("table", "atoms");
        if (path.empty()) return;
        m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) return;
        if (flock(m_fd, LOCK_EX) != 0) {
            close(m_fd);
            m_fd = -1;
            return;
        }
        read_entries();
    }
    ~AtomTable()
    {
        if (m_fd >= 0) close(m_fd); // also releases the lock
    }

    bool ok() const { return m_fd >= 0; }
    std::vector<AtomEntry>& entries() { return m_entries; }

    bool save()
    {
        std::string bytes;
        for (const AtomEntry& entry : m_entries) {
            put_word(bytes, entry.atom);
            put_word(bytes, entry.uses);
            put_word(bytes, static_cast<WORD>(entry.name.size()));
            bytes += entry.name;
        }
        return ftruncate(m_fd, 0) == 0 &&
               pwrite(m_fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
    }

private:
    static void put_word(std::string& out, WORD value)
    {
        out += static_cast<char>(value & 0xFF);
        out += static_cast<char>(value >> 8);
    }

    // A damaged tail (a process killed mid-write) ends the table where the damage starts.
    void read_entries()
    {
        std::string bytes;
        char buffer[4096];
        ssize_t got;
        off_t offset = 0;
        while ((got = pread(m_fd, buffer, sizeof buffer, offset)) > 0) {
            bytes.append(buffer, static_cast<std::size_t>(got));
            offset += got;
        }
        auto word = [&](std::size_t at) {
            return static_cast<WORD>(static_cast<unsigned char>(bytes[at]) |
                                     static_cast<unsigned char>(bytes[at + 1]) << 8);
        };
        std::size_t at = 0;
        while (at + 6 <= bytes.size()) {
            ATOM atom = word(at);
            WORD uses = word(at + 2);
            WORD length = word(at + 4);
            if (atom < k_first_string_atom || uses == 0 || length == 0 || length > ATOM_NAME_MAX ||
                at + 6 + length > bytes.size())
                break;
            m_entries.push_back({atom, uses, bytes.substr(at + 6, length)});
            at += 6 + length;
        }
    }

    int m_fd = -1;
    std::vector<AtomEntry> m_entries;
};

// "#<decimal>" names an integer atom; empty when the name is not of that form.
std::optional<unsigned long> integer_name(const char* name)
{
    if (name[0] != '#' || !name[1]) return std::nullopt;
    char* end = nullptr;
    unsigned long value = std::strtoul(name + 1, &end, 10);
    if (*end || name[1] < '0' || name[1] > '9') return std::nullopt;
    return value;
}

ATOM integer_atom(unsigned long value)
{
    if (value == 0 || value > k_last_integer_atom) return win_fail(ERROR_INVALID_PARAMETER);
    return static_cast<ATOM>(value);
}

} // namespace

ATOM GlobalAddAtomA(const char* name)
{
    if (!name) return win_fail(ERROR_INVALID_PARAMETER);
    if (reinterpret_cast<std::uintptr_t>(name) <= 0xFFFF)
        return integer_atom(reinterpret_cast<std::uintptr_t>(name));
    if (auto value = integer_name(name)) return integer_atom(*value);
    std::size_t length = std::strlen(name);
    if (length == 0 || length > ATOM_NAME_MAX) return win_fail(ERROR_INVALID_PARAMETER);
    AtomTable table;
    if (!table.ok()) return win_fail(win_error_from_errno(errno));
    std::string key = mbcs_fold_case(name);
    for (AtomEntry& entry : table.entries()) {
        if (mbcs_fold_case(entry.name) != key) continue;
        if (entry.uses == 0xFFFF) return entry.atom; // the count saturates, as the platform's does
        ++entry.uses;
        return table.save() ? entry.atom : win_fail(win_error_from_errno(errno));
    }
    ATOM atom = k_first_string_atom;
    auto taken = [&](ATOM candidate) {
        return std::any_of(table.entries().begin(), table.entries().end(),
                           [candidate](const AtomEntry& entry) { return entry.atom == candidate; });
    };
    while (taken(atom)) {
        if (atom == 0xFFFF) return win_fail(ERROR_NOT_ENOUGH_MEMORY);
        ++atom;
    }
    table.entries().push_back({atom, 1, name});
    return table.save() ? atom : win_fail(win_error_from_errno(errno));
}

ATOM GlobalDeleteAtom(ATOM atom)
{
    if (atom != 0 && atom <= k_last_integer_atom) return 0;
    AtomTable table;
    if (!table.ok()) return SetLastError(win_error_from_errno(errno)), atom;
    auto& entries = table.entries();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->atom != atom) continue;
        if (--it->uses == 0) entries.erase(it);
        return table.save() ? 0 : (SetLastError(win_error_from_errno(errno)), atom);
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return atom;
}

UINT GlobalGetAtomNameA(ATOM atom, char* buffer, int size)
{
    if (!buffer || size <= 0) return win_fail(ERROR_INSUFFICIENT_BUFFER);
    std::string name;
    if (atom != 0 && atom <= k_last_integer_atom) {
        name = "#" + std::to_string(atom);
    } else {
        AtomTable table;
        if (!table.ok()) return win_fail(win_error_from_errno(errno));
        for (const AtomEntry& entry : table.entries())
            if (entry.atom == atom) name = entry.name;
        if (name.empty()) return win_fail(ERROR_INVALID_HANDLE);
    }
    std::size_t room = static_cast<std::size_t>(size) - 1;
    std::size_t length = 0;
    while (length < name.size()) {
        bool pair = mbcs_is_lead_byte(static_cast<unsigned char>(name[length])) && length + 1 < name.size();
        std::size_t step = pair ? 2 : 1;
        if (length + step > room) break;
        length += step;
    }
    std::memcpy(buffer, name.data(), length);
    buffer[length] = '\0';
    return static_cast<UINT>(length);
}
