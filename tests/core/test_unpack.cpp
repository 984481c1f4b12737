#include "core/unpack.h"

#include "archive_fixture.h"
#include "core/errors.h"
#include "core/sys.h"
#include "lib/packed_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t k_block_size = 8 << 20;

// Bytes that pack, but not to nothing.
std::vector<std::uint8_t> content(std::size_t size, std::uint32_t seed)
{
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = seed;
    for (std::uint8_t& b : bytes) {
        state = state * 1103515245 + 12345;
        b = static_cast<std::uint8_t>('a' + (state >> 16) % 16);
    }
    return bytes;
}

std::vector<std::uint8_t> packed_with_size(std::size_t size, std::uint32_t header_size)
{
    std::vector<std::uint8_t> packed = packed_build(content(size, 7));
    packed_set_size(packed, header_size);
    return packed;
}

// A load as its callers make it: the entry looked up once and handed over with its path.
std::uint8_t* load(UnpackBuffer& buffer, const char* path)
{
    return unpack_load(buffer, vfs_find(path), path);
}

struct Packed {
    const char* path;
    std::vector<std::uint8_t> bytes;
};

// Each case runs on a memory-mapped data file (unpacked in one call) and on one read in pieces
// (the overlay pair mounted without a mapping): both roads give the same bytes and failures.
class Unpack : public ArchiveTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        m_saved_block = g_work_block;
        m_block.assign(k_block_size + 64, 0);
        g_work_block = WorkBlock{m_block.data(), k_block_size, nullptr, 0};

        std::vector<ArchiveSource> files;
        for (const Packed& file : m_good)
            files.push_back({std::string(file.path) + ".z", packed_build(file.bytes)});
        files.push_back(
            {"data\\toobig.bin.z", packed_build(std::vector<std::uint8_t>(k_block_size + 1, 'x'))});
        for (const Packed& file : corrupt_files())
            files.push_back({file.path, file.bytes});
        if (GetParam())
            mount(files, {});
        else
            mount({}, files, FALSE);
    }
    void TearDown() override
    {
        ArchiveTest::TearDown();
        g_work_block = m_saved_block;
    }

    static std::vector<Packed> corrupt_files()
    {
        std::vector<Packed> files;
        std::vector<std::uint8_t> truncated = packed_build(content(100000, 7));
        truncated.resize(truncated.size() - 20);
        files.push_back({"bad\\truncated.z", truncated});
        files.push_back({"bad\\runs_past_its_size.z", packed_with_size(100000, 99999)});
        files.push_back({"bad\\ends_before_its_size.z", packed_with_size(100000, 100001)});
        files.push_back({"bad\\window_past_its_size.z", packed_with_size(0x20000, 0x10000)});
        std::vector<std::uint8_t> damaged = packed_build(content(100000, 7));
        for (std::size_t i = 100; i < 110; ++i)
            damaged[i] ^= 0x5A;
        files.push_back({"bad\\damaged.z", damaged});
        std::vector<std::uint8_t> not_zlib = {0, 0, 0, 0, 5, 0, 0, 0, 'h', 'e', 'l', 'l', 'o'};
        files.push_back({"bad\\not_zlib.z", not_zlib});
        files.push_back({"bad\\header_cut.z", {0, 0, 0, 0, 5}});
        return files;
    }

    void expect_loads(const Packed& file)
    {
        std::string path = std::string(file.path) + ".z";
        UnpackBuffer buffer;
        std::uint8_t* data = load(buffer, path.c_str());
        ASSERT_EQ(data, m_block.data()) << path;
        EXPECT_EQ(buffer.data, data);
        ASSERT_EQ(buffer.size, file.bytes.size()) << path;
        EXPECT_TRUE(std::equal(file.bytes.begin(), file.bytes.end(), data)) << path;
        EXPECT_EQ(g_work_block.owner, m_block.data());
        EXPECT_EQ(g_work_block.used, file.bytes.size());
        unpack_release_buffer(buffer);
        EXPECT_EQ(g_work_block.owner, nullptr);
        EXPECT_EQ(buffer.data, nullptr);
    }

    std::vector<std::uint8_t> m_block;
    const std::vector<Packed> m_good = {
        {"data\\zero.bin", {}},
        {"data\\small.bin", content(1000, 1)},
        {"data\\window.bin", content(0x10000, 2)},
        {"data\\window_and_one.bin", content(0x10001, 3)},
        {"data\\several_mib.bin", content((6 << 20) + 17, 4)},
    };

private:
    WorkBlock m_saved_block;
};

} // namespace

TEST_P(Unpack, LoadsPackedFilesOfEverySizeIntoTheWorkBlock)
{
    for (const Packed& file : m_good)
        expect_loads(file);
}

TEST_P(Unpack, LendsTheBlockToOneLoadAtATime)
{
    UnpackBuffer first, second;
    ASSERT_NE(load(first, "data\\small.bin.z"), nullptr);
    EXPECT_EQ(load(second, "DATA\\WINDOW.BIN.Z"), nullptr);
    EXPECT_EQ(second.data, nullptr);
    EXPECT_EQ(g_work_block.owner, m_block.data());
    unpack_release_buffer(second); // holds nothing, so gives nothing back
    EXPECT_EQ(g_work_block.owner, m_block.data());
    unpack_release_buffer(first);
    expect_loads(m_good[2]);
}

TEST_P(Unpack, AFileLargerThanTheBlockOrMissingLoadsAsNothing)
{
    UnpackBuffer buffer;
    EXPECT_EQ(load(buffer, "data\\toobig.bin.z"), nullptr);
    EXPECT_EQ(buffer.size, k_block_size + 1);
    EXPECT_EQ(g_work_block.owner, nullptr);

    UnpackBuffer missing;
    EXPECT_EQ(load(missing, "data\\nothing.bin.z"), nullptr);
    EXPECT_EQ(missing.size, 0u);
    EXPECT_EQ(g_work_block.owner, nullptr);
}

TEST_P(Unpack, ADamagedFileThrowsFreesTheBlockAndWritesNothingPastItsSize)
{
    for (const Packed& file : corrupt_files()) {
        std::fill(m_block.begin(), m_block.end(), 0xCD);
        UnpackBuffer buffer;
        std::string text;
        try {
            load(buffer, file.path);
        } catch (const RuntimeError& error) {
            text = error.text;
        }
        EXPECT_EQ(text.rfind(std::string(file.path) +
                                 " read error.\r\nArchive is corrupt.\r\nPlease reinstall the game.\n",
                             0),
                  0u)
            << file.path << ": " << text;
        EXPECT_EQ(buffer.data, nullptr) << file.path;
        EXPECT_EQ(g_work_block.owner, nullptr) << file.path;
        EXPECT_EQ(g_work_block.used, 0u) << file.path;
        if (buffer.size <= k_block_size) {
            EXPECT_TRUE(std::all_of(m_block.begin() + buffer.size, m_block.end(), [](auto b) {
                return b == 0xCD;
            })) << file.path;
        }
    }
    expect_loads(m_good[1]);
}

INSTANTIATE_TEST_SUITE_P(MappedAndRead, Unpack, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Mapped" : "ReadInPieces"; });

TEST(UnpackPath, APackedPathEndsInDotZInAnyCase)
{
    const struct {
        const char* path;
        bool packed;
    } cases[] = {
        {"map\\a.qco.z", true}, {"MAP\\A.QCO.Z", true}, {".z", true}, {"a.zz", false},
        {"a.z.dds", false},     {"z", false},           {"", false},  {"a\\z", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(unpack_is_packed_path(c.path), c.packed) << c.path;
}
