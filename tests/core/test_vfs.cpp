#include "core/vfs.h"

#include "archive_fixture.h"
#include "byte_pattern.h"
#include "core/errors.h"
#include "core/sys.h"
#include "lib/archive_writer.h"
#include "platform/impl/win_handles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> read_entry(const char* path)
{
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(vfs_read_entry(path, bytes), S_OK) << path;
    return bytes;
}

std::string startup_error(const std::string& folder)
{
    try {
        vfs::Startup(folder.c_str());
    } catch (const RuntimeError& error) {
        return error.text;
    }
    return "";
}

} // namespace

TEST(VfsHash, GivesTheKnownValuesAndAgreesWithTheWriter)
{
    EXPECT_EQ(vfs_hash_name(""), 0u);
    EXPECT_EQ(vfs_hash_name("A"), 33u);
    EXPECT_EQ(vfs_hash_name("MISC\\CASTINFO.DAT"), 27818u);
    // Long names wrap the sum past 65521.
    std::string long_name(200, '\xFF');
    for (const std::string& name : {std::string("MAP\\S_10\\S_1010\\A.SOB.Z"), long_name})
        EXPECT_EQ(vfs_hash_name(name.c_str()), archive_name_hash(name)) << name;
}

TEST(VfsNormalize, ResolvesDotComponentsBetweenBackslashes)
{
    struct Case {
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"MISC\\A.DAT", "MISC\\A.DAT"},
        {"MISC\\X\\..\\A.DAT", "MISC\\A.DAT"},
        {"MISC\\.\\A.DAT", "MISC\\A.DAT"},
        {"A\\B\\C\\..\\..\\D", "A\\D"},
        {"B\\..\\C", "..\\C"}, // nothing before to cut back to
        {"..\\C", "..\\C"},    // not between two backslashes
        {"A\\..", "A\\.."},
        {"A\\\x95\x5C\\..\\B", "A\\B"}, // the trail byte 0x5C is no backslash
        {"A\\\x95\x5C.\\B", "A\\\x95\x5C.\\B"},
    };
    for (const Case& c : cases) {
        char out[VFS_PATH_SIZE];
        ASSERT_TRUE(vfs_normalize_path(c.path, out, sizeof out)) << c.path;
        EXPECT_STREQ(out, c.expected) << c.path;
    }
    char small[4];
    EXPECT_FALSE(vfs_normalize_path("ABCD", small, sizeof small));
}

// The same archive read through every road: the main data file is always mapped, the overlay's
// only when asked; unmapped reads are overlapped from generation 11 on and plain below.
struct ReadRoad {
    int generation;
    BOOL map_overlay;
};

class ArchiveRoundTrip : public ArchiveTest, public ::testing::WithParamInterface<ReadRoad> {
protected:
    void SetUp() override
    {
        m_saved_generation = g_os_generation;
        g_os_generation = GetParam().generation;
        const std::vector<ArchiveSource> main_files = {
            {"data\\misc\\castinfo.dat", pattern(100, 1)},
            {"map\\xpa.dat", pattern(7, 2)}, // the same hash as the next one
            {"map\\x0b.dat", pattern(9, 3)},
            {"data\\shared.bin", pattern(50, 4)},
            {"data\\empty.bin", {}},
            {"kana\\\x83\x61.dat", pattern(3, 7)}, // a trail byte that reads as 'a'
        };
        const std::vector<ArchiveSource> overlay_files = {
            {"SHARED.BIN", pattern(70, 5)},
            {"data\\extra\\new.dat", pattern(33, 6)},
        };
        mount(main_files, overlay_files, GetParam().map_overlay);
    }
    void TearDown() override
    {
        ArchiveTest::TearDown();
        g_os_generation = m_saved_generation;
    }

private:
    int m_saved_generation = 0;
};

TEST_P(ArchiveRoundTrip, FindsAnEntryByEveryFormOfItsPath)
{
    const VfsEntry* entry = vfs_find("data\\misc\\castinfo.dat");
    ASSERT_NE(entry, nullptr);
    for (const char* path :
         {"DATA\\MISC\\CASTINFO.DAT", "misc\\castinfo.dat", "Data\\Misc\\x\\..\\CastInfo.dat",
          "misc\\sub\\..\\castinfo.dat", "data\\misc\\.\\castinfo.dat"})
        EXPECT_EQ(vfs_find(path), entry) << path;
    EXPECT_EQ(read_entry("misc\\castinfo.dat"), pattern(100, 1));
    EXPECT_EQ(read_entry("Kana\\\x83\x61.dat"), pattern(3, 7));
}

TEST_P(ArchiveRoundTrip, MissesPathsThatAreNotStored)
{
    std::string too_long = "misc\\";
    while (too_long.size() < VFS_PATH_SIZE)
        too_long += "a\\..\\";
    too_long += "castinfo.dat";
    for (const std::string& path : {std::string("misc\\castinfo"), std::string("castinfo.dat"),
                                    std::string("data\\data\\misc\\castinfo.dat"), std::string(""), too_long})
        EXPECT_EQ(vfs_find(path.c_str()), nullptr) << path;
}

TEST_P(ArchiveRoundTrip, CutsReadsAtTheEndOfTheEntry)
{
    VfsFile file{vfs_find("misc\\castinfo.dat"), 95};
    std::uint8_t bytes[10] = {};
    std::uint32_t read = 99;
    ASSERT_EQ(vfs_read(file, bytes, sizeof bytes, &read), S_OK);
    EXPECT_EQ(read, 5u);
    EXPECT_EQ(file.position, 100u);
    const std::vector<std::uint8_t> whole = pattern(100, 1);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 5), std::vector(whole.begin() + 95, whole.end()));
    ASSERT_EQ(vfs_read(file, bytes, sizeof bytes, &read), S_OK);
    EXPECT_EQ(read, 0u);

    VfsFile empty{vfs_find("empty.bin"), 0};
    ASSERT_NE(empty.entry, nullptr);
    EXPECT_EQ(vfs_read(empty, bytes, sizeof bytes, &read), S_OK);
    EXPECT_EQ(read, 0u);

    vfs_close_file(file);
    EXPECT_EQ(vfs_read(file, bytes, sizeof bytes, &read), E_FAIL);
}

TEST_P(ArchiveRoundTrip, OverlayReplacesOneEntryAndAddsAnother)
{
    const VfsEntry* shared = vfs_find("data\\shared.bin");
    ASSERT_NE(shared, nullptr);
    EXPECT_NE(shared->offset & VFS_OFFSET_OVERLAY, 0u);
    EXPECT_EQ(read_entry("data\\shared.bin"), pattern(70, 5));
    EXPECT_EQ(read_entry("DATA\\EXTRA\\NEW.DAT"), pattern(33, 6));
    // Both names of one hash stay reachable after the merge's re-sort.
    ASSERT_EQ(vfs_hash_name("MAP\\XPA.DAT"), vfs_hash_name("MAP\\X0B.DAT"));
    EXPECT_EQ(read_entry("map\\xpa.dat"), pattern(7, 2));
    EXPECT_EQ(read_entry("map\\x0b.dat"), pattern(9, 3));
    EXPECT_EQ(vfs_mount_overlay(TRUE), E_FAIL);
}

INSTANTIATE_TEST_SUITE_P(Roads, ArchiveRoundTrip,
                         ::testing::Values(ReadRoad{OS_GENERATION_NT5, TRUE},
                                           ReadRoad{OS_GENERATION_NT5, FALSE},
                                           ReadRoad{OS_GENERATION_MINIMUM, FALSE}),
                         [](const auto& info) {
                             return std::string(info.param.generation >= OS_GENERATION_NT5 ? "Overlapped"
                                                                                           : "Plain") +
                                    (info.param.map_overlay ? "Mapped" : "Unmapped");
                         });

using ArchiveStartup = ArchiveTest;

TEST_F(ArchiveStartup, MissingIndexThrowsTheOpenError)
{
    std::string text = startup_error(archive_folder());
    // The program names the folder its own way, with backslashes.
    std::string folder = archive_folder();
    std::replace(folder.begin(), folder.end(), '/', '\\');
    EXPECT_NE(text.find("Couldn't open file.(80ff0009h)\r\n->Failed to open [" + folder +
                        "data.ni] archive.\r\nPlease reinstall the game,\r\nas the file may be corrupt.\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(vfs_find("a.dat"), nullptr);
}

TEST_F(ArchiveStartup, MissingDataFileThrowsTheCorruptError)
{
    const std::vector<ArchiveSource> files = {{"a.dat", pattern(4, 1)}};
    ASSERT_TRUE(
        tools_write_file(m_folder.path() / "data.ni", archive_index_bytes(archive_build(files).index)));
    std::string text = startup_error(archive_folder());
    EXPECT_NE(text.find("Couldn't open file.(80ff0009h)\r\n->Archive ["), std::string::npos) << text;
    EXPECT_NE(text.find("data.ni] is corrupt.\r\nPlease reinstall the game\r\nto prevent further issues."),
              std::string::npos)
        << text;
    EXPECT_EQ(vfs_find("a.dat"), nullptr);
}

TEST_F(ArchiveStartup, RejectsADamagedIndex)
{
    struct Case {
        const char* name;
        std::function<std::vector<std::uint8_t>(ArchiveIndexImage)> index_bytes;
    };
    const Case cases[] = {
        {"one byte short",
         [](ArchiveIndexImage index) {
             std::vector<std::uint8_t> bytes = archive_index_bytes(index);
             bytes.pop_back();
             return bytes;
         }},
        {"header cut",
         [](ArchiveIndexImage index) {
             std::vector<std::uint8_t> bytes = archive_index_bytes(index);
             bytes.resize(VFS_INDEX_HEADER_SIZE - 1);
             return bytes;
         }},
        {"count beyond the file",
         [](ArchiveIndexImage index) {
             std::vector<std::uint8_t> bytes = archive_index_bytes(index);
             std::memset(&bytes[4], 0xFF, 4);
             return bytes;
         }},
        {"name offset past the table",
         [](ArchiveIndexImage index) {
             index.entries[1].name_offset = static_cast<std::uint32_t>(index.names.size());
             return archive_index_bytes(index);
         }},
        {"unterminated name",
         [](ArchiveIndexImage index) {
             index.names.back() = 'X';
             return archive_index_bytes(index);
         }},
    };
    const std::vector<ArchiveSource> files = {{"a.dat", pattern(4, 1)}, {"b.dat", pattern(8, 2)}};
    const ArchivePairImage image = archive_build(files);
    ASSERT_TRUE(tools_write_file(m_folder.path() / "data.na", image.data));
    const int handles = handle_live_count();
    for (const Case& c : cases) {
        ASSERT_TRUE(tools_write_file(m_folder.path() / "data.ni", c.index_bytes(image.index)));
        std::string text = startup_error(archive_folder());
        EXPECT_NE(text.find("Broken data.(80ff0006h)\r\n->Archive ["), std::string::npos)
            << c.name << ": " << text;
        EXPECT_NE(text.find("] is corrupt."), std::string::npos) << c.name;
        EXPECT_EQ(vfs_find("a.dat"), nullptr) << c.name;
        EXPECT_EQ(handle_live_count(), handles) << c.name;
    }
}

TEST_F(ArchiveStartup, RefusesAnIncrementallyLinkedIndex)
{
    const std::vector<ArchiveSource> files = {{"a.dat", pattern(4, 1)}};
    ArchivePairImage image = archive_build(files);
    image.index.flags = 1;
    ASSERT_TRUE(archive_write_pair(m_folder.path(), "data", image));
    EXPECT_NE(startup_error(archive_folder()).find("vfs::Startup: No incremental linking support.\n"),
              std::string::npos);
}

TEST_F(ArchiveStartup, RefusesReadsOfEntriesPastTheirDataFile)
{
    // Each data file loses its last byte, so the last entry of each reaches past its end.
    const std::vector<ArchiveSource> main_files = {{"a.dat", pattern(10, 1)}, {"b.dat", pattern(10, 2)}};
    const std::vector<ArchiveSource> overlay_files = {{"c.dat", pattern(10, 3)}, {"d.dat", pattern(10, 4)}};
    for (BOOL map_overlay : {TRUE, FALSE}) {
        for (const char* pair : {"data", "data_us"}) {
            ArchivePairImage image = archive_build(pair[4] ? overlay_files : main_files);
            image.data.pop_back();
            ASSERT_TRUE(archive_write_pair(m_folder.path(), pair, image));
        }
        vfs::Startup(archive_folder().c_str());
        ASSERT_EQ(vfs_mount_overlay(map_overlay), S_OK);
        EXPECT_EQ(read_entry("a.dat"), pattern(10, 1));
        EXPECT_EQ(read_entry("c.dat"), pattern(10, 3));
        for (const char* path : {"b.dat", "d.dat"}) {
            VfsFile file{vfs_find(path), 0};
            std::uint8_t bytes[10];
            std::uint32_t read = 99;
            EXPECT_EQ(vfs_read(file, bytes, 1, &read), ERR_READ_FILE) << path;
            EXPECT_EQ(read, 0u);
            EXPECT_EQ(file.position, 0u);
        }
        vfs_close_all();
    }
}

TEST_F(ArchiveStartup, AMissingOrDamagedOverlayFailsAndLeavesTheMainPair)
{
    EXPECT_EQ(vfs_mount_overlay(FALSE), E_FAIL); // nothing open yet
    const std::vector<ArchiveSource> files = {{"a.dat", pattern(4, 1)}};
    ASSERT_TRUE(archive_write_pair(m_folder.path(), "data", archive_build(files)));
    vfs::Startup(archive_folder().c_str());
    const int handles = handle_live_count();
    EXPECT_EQ(vfs_mount_overlay(TRUE), E_FAIL);

    ArchivePairImage overlay = archive_build(files);
    overlay.index.names.back() = 'X';
    ASSERT_TRUE(archive_write_pair(m_folder.path(), "data_us", overlay));
    EXPECT_EQ(vfs_mount_overlay(TRUE), E_FAIL);
    EXPECT_EQ(handle_live_count(), handles);
    EXPECT_EQ(read_entry("a.dat"), pattern(4, 1));
}

TEST_F(ArchiveStartup, CloseAllReleasesEveryHandle)
{
    const int handles = handle_live_count();
    const std::vector<ArchiveSource> files = {{"a.dat", pattern(4, 1)}};
    const std::vector<ArchiveSource> overlay_files = {{"b.dat", pattern(4, 2)}};
    mount(files, overlay_files, TRUE);
    EXPECT_GT(handle_live_count(), handles);
    vfs_close_all();
    EXPECT_EQ(handle_live_count(), handles);
    EXPECT_EQ(vfs_find("a.dat"), nullptr);
}

using ArchiveReadEntry = ArchiveTest;

TEST_F(ArchiveReadEntry, ReadsWholeEntriesAndNothingOfABrokenOne)
{
    // The main data file loses its last byte, so "cut.dat" reaches past it; the overlay's only
    // entry claims almost 4 GiB.
    const std::vector<ArchiveSource> main_files = {
        {"data\\misc\\a.dat", pattern(100, 1)}, {"empty.bin", {}}, {"cut.dat", pattern(10, 2)}};
    const std::vector<ArchiveSource> overlay_files = {{"extra\\new.dat", pattern(33, 6)},
                                                      {"huge.dat", pattern(4, 3)}};
    ArchivePairImage main = archive_build(main_files);
    main.data.pop_back();
    ArchivePairImage overlay = archive_build(overlay_files);
    for (ArchiveIndexRecord& entry : overlay.index.entries)
        if (entry.size == 4) entry.size = 0xFFFFFF00;
    ASSERT_TRUE(archive_write_pair(m_folder.path(), "data", main));
    ASSERT_TRUE(archive_write_pair(m_folder.path(), "data_us", overlay));
    // A loose file on disk is no archive entry: nothing falls back to the disk.
    ASSERT_TRUE(tools_write_file(m_folder.path() / "loose.dat", pattern(8, 4)));
    vfs::Startup(archive_folder().c_str());
    ASSERT_EQ(vfs_mount_overlay(TRUE), S_OK);

    struct Case {
        std::string path;
        HRESULT result;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {"data\\misc\\a.dat", S_OK, pattern(100, 1)},
        {"DATA\\EXTRA\\NEW.DAT", S_OK, pattern(33, 6)},
        {"empty.bin", S_OK, {}},
        {"nothing.dat", ERR_OPEN_FILE, {}},
        {m_folder.windows("loose.dat"), ERR_OPEN_FILE, {}},
        {"cut.dat", ERR_READ_FILE, {}},
        {"huge.dat", ERR_READ_FILE, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> out(5, 0xEE);
        EXPECT_EQ(vfs_read_entry(c.path.c_str(), out), c.result) << c.path;
        EXPECT_EQ(out, c.bytes) << c.path;
    }
}
