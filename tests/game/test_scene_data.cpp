#include "game/g_scn_data.h"

#include "core/archive_fixture.h"
#include "core/errors.h"
#include "core/sys.h"
#include "lib/le_bytes.h"
#include "lib/packed_writer.h"
#include "lib/table_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using ::testing::StartsWith;

// A double-byte character whose trail byte is a backslash, and one without.
const std::string SJIS_5C = "\x95\x5C";
const std::string SJIS_A = "\x82\xA0";

using FileImages = std::map<std::string, std::vector<std::uint8_t>>;

// Records that begin with `tag` and their index, so order and identity show.
std::vector<std::vector<std::uint8_t>> tagged_records(char tag, std::size_t count)
{
    std::vector<std::vector<std::uint8_t>> records;
    for (std::size_t i = 0; i < count; ++i)
        records.push_back({std::uint8_t(tag), std::uint8_t(i)});
    return records;
}

std::vector<std::vector<std::uint8_t>> named_records(const std::vector<std::string>& names)
{
    std::vector<std::vector<std::uint8_t>> records;
    for (const std::string& name : names)
        records.emplace_back(name.begin(), name.end());
    return records;
}

FileImages good_tables()
{
    return {
        {SCN_CASTINFO_PATH, table_build(512, named_records({"CAST_BRAM", "CAST_ROOK", "CAST_WISP"}))},
        {SCN_ENEMYINFO_PATH, table_build(264, tagged_records('E', 2))},
        {SCN_INVINFO_PATH, table_build(184, tagged_records('I', 90))},
        {SCN_GAMEINFO_PATH, table_build(336, tagged_records('G', 1))},
        {SCN_EEX_PATH, table_build(64, tagged_records('X', 13))},
    };
}

std::string thrown_text(const std::function<void()>& load)
{
    try {
        load();
    } catch (const RuntimeError& error) {
        return error.text;
    }
    return "no error";
}

std::string error_start(const char* code_text, const char* name)
{
    return std::string(code_text) + "\r\n->" + name + "\n";
}

class SceneData : public ArchiveTest {
protected:
    void SetUp() override
    {
        m_saved_block = g_work_block;
        m_block.assign(1 << 16, 0);
        g_work_block = WorkBlock{m_block.data(), std::uint32_t(m_block.size()), nullptr, 0};
    }
    void TearDown() override
    {
        ArchiveTest::TearDown();
        g_work_block = m_saved_block;
    }

    void mount_images(const FileImages& images)
    {
        std::vector<ArchiveSource> files;
        for (const auto& [path, bytes] : images)
            files.push_back({path, packed_build(bytes)});
        mount(files, {});
    }

    void mount_scenes(const std::vector<SceneListRecord>& records)
    {
        mount_images({{SCN_SCENE_LIST_PATH, scene_list_build(records)}});
    }

    std::vector<std::uint8_t> m_block;
    WorkBlock m_saved_block;
};

TEST_F(SceneData, TablesLoadWithTheirCountsAndRecords)
{
    mount_images(good_tables());
    scn_data_load_tables();

    ASSERT_EQ(g_castinfo.size(), 3u);
    EXPECT_STREQ(g_castinfo[0].name, "CAST_BRAM");
    EXPECT_STREQ(g_castinfo[2].name, "CAST_WISP");
    ASSERT_EQ(g_enemyinfo.size(), 2u);
    EXPECT_EQ(g_enemyinfo[1].fields[0], 'E');
    EXPECT_EQ(g_enemyinfo[1].fields[1], 1);
    EXPECT_EQ(g_invinfo[89].fields[1], 89);
    EXPECT_EQ(g_invinfo[90].fields[0], 0) << "items past the file's count stay empty";
    EXPECT_EQ(g_gameinfo.fields[0], 'G');
    ASSERT_EQ(g_eexinfo.size(), 13u);
    EXPECT_EQ(g_eexinfo[12].fields[1], 12);
    EXPECT_EQ(g_work_block.owner, nullptr) << "the work block was given back";
}

TEST_F(SceneData, ItemTableTakesUpToItsCapacityAndForgetsTheLastLoad)
{
    FileImages images = good_tables();
    images[SCN_INVINFO_PATH] = table_build(184, tagged_records('I', SCN_ITEM_CAPACITY));
    mount_images(images);
    scn_data_load_tables();
    EXPECT_EQ(g_invinfo[SCN_ITEM_CAPACITY - 1].fields[0], 'I');

    vfs_close_all();
    images[SCN_INVINFO_PATH] = table_build(184, tagged_records('J', 1));
    mount_images(images);
    scn_data_load_tables();
    EXPECT_EQ(g_invinfo[0].fields[0], 'J');
    EXPECT_EQ(g_invinfo[1].fields[0], 0);
}

struct TableFault {
    const char* what;
    std::function<void(FileImages&)> damage;
    const char* code_text;
    const char* name;
};

TEST_F(SceneData, TableFaultsThrowWithTheCodeAndTheFileName)
{
    auto cut_to = [](const char* path, std::size_t size) {
        return [=](FileImages& images) { images[path].resize(size); };
    };
    auto set_count = [](const char* path, std::uint32_t count) {
        return [=](FileImages& images) { le_patch_u32(images[path], TABLE_OFFSET_COUNT, count); };
    };
    const TableFault faults[] = {
        {"missing cast table", [](FileImages& images) { images.erase(SCN_CASTINFO_PATH); },
         "Couldn't open file.(80ff0009h)", "data\\misc\\castinfo.dat.z"},
        {"two missing: the first in load order",
         [](FileImages& images) {
             images.erase(SCN_EEX_PATH);
             images.erase(SCN_GAMEINFO_PATH);
         },
         "Couldn't open file.(80ff0009h)", SCN_GAMEINFO_PATH},
        {"500-byte cast records with fitting data",
         [](FileImages& images) { images[SCN_CASTINFO_PATH] = table_build(500, tagged_records('C', 3)); },
         "Unmatched version.(80ff0003h)", SCN_CASTINFO_PATH},
        {"item records of the cast's size",
         [](FileImages& images) { images[SCN_INVINFO_PATH] = table_build(512, tagged_records('I', 1)); },
         "Unmatched version.(80ff0003h)", SCN_INVINFO_PATH},
        {"header of 15 bytes", cut_to(SCN_ENEMYINFO_PATH, 15), "Broken data.(80ff0006h)", SCN_ENEMYINFO_PATH},
        {"empty file", cut_to(SCN_EEX_PATH, 0), "Broken data.(80ff0006h)", SCN_EEX_PATH},
        {"one byte short of the records", cut_to(SCN_EEX_PATH, TABLE_HEADER_SIZE + 13 * 64 - 1),
         "Broken data.(80ff0006h)", SCN_EEX_PATH},
        {"count one more than the records", set_count(SCN_CASTINFO_PATH, 4), "Broken data.(80ff0006h)",
         SCN_CASTINFO_PATH},
        {"count past any data", set_count(SCN_ENEMYINFO_PATH, 0xFFFFFFFF), "Broken data.(80ff0006h)",
         SCN_ENEMYINFO_PATH},
        {"more items than the table holds",
         [](FileImages& images) {
             images[SCN_INVINFO_PATH] = table_build(184, tagged_records('I', SCN_ITEM_CAPACITY + 1));
         },
         "Overflow.(80ff0004h)", SCN_INVINFO_PATH},
        {"game data without a record",
         [](FileImages& images) { images[SCN_GAMEINFO_PATH] = table_build(336, {}); },
         "Unsupported format.(80ff0002h)", SCN_GAMEINFO_PATH},
    };
    for (const TableFault& fault : faults) {
        SCOPED_TRACE(fault.what);
        FileImages images = good_tables();
        fault.damage(images);
        mount_images(images);
        std::string text = thrown_text(scn_data_load_tables);
        EXPECT_THAT(text, StartsWith(error_start(fault.code_text, fault.name)));
        EXPECT_EQ(g_work_block.owner, nullptr) << "the work block was given back";
        vfs_close_all();
    }
}

TEST_F(SceneData, MissingSceneListLeavesTheListEmpty)
{
    mount_scenes({{"s_10\\s_1010\\", "Forest"}});
    scn_data_load_scene_list();
    ASSERT_EQ(g_scene_list.size(), 1u);
    vfs_close_all();

    mount_images(good_tables());
    scn_data_load_scene_list();
    EXPECT_TRUE(g_scene_list.empty());
    EXPECT_EQ(scn_data_find_scene("s_10\\s_1010\\"), nullptr);
}

TEST_F(SceneData, SceneListFaultsThrowNamingTheList)
{
    const std::vector<SceneListRecord> two = {{"title\\", "Title"}, {"s_10\\s_1010\\", "Forest"}};
    std::vector<std::uint8_t> wrong_version = scene_list_build(two, 1);
    std::vector<std::uint8_t> short_by_one = scene_list_build(two);
    short_by_one.pop_back();
    std::vector<std::uint8_t> count_too_high = scene_list_build(two);
    le_patch_u32(count_too_high, SCENE_LIST_OFFSET_COUNT, 3);
    std::vector<std::uint8_t> header_cut = scene_list_build(two);
    header_cut.resize(6);
    std::vector<std::uint8_t> unterminated_path =
        scene_list_build(std::vector<SceneListRecord>{{std::string(80, 'p'), "Long"}});
    const struct {
        const char* what;
        const std::vector<std::uint8_t>& bytes;
        const char* code_text;
    } faults[] = {
        {"version 1", wrong_version, "Unmatched version.(80ff0003h)"},
        {"one byte short", short_by_one, "Broken data.(80ff0006h)"},
        {"count above the records", count_too_high, "Broken data.(80ff0006h)"},
        {"header cut", header_cut, "Broken data.(80ff0006h)"},
        {"path filling its field", unterminated_path, "Broken data.(80ff0006h)"},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.what);
        mount_images({{SCN_SCENE_LIST_PATH, fault.bytes}});
        std::string text = thrown_text(scn_data_load_scene_list);
        EXPECT_THAT(text, StartsWith(error_start(fault.code_text, "data\\map\\scenelist.sl")));
        EXPECT_EQ(g_work_block.owner, nullptr) << "the work block was given back";
        vfs_close_all();
    }
}

TEST_F(SceneData, DisplayNamesJoinPathAndTitleCutWithoutSplittingACharacter)
{
    const std::string head = "s_10\\s_1010\\"; // "s_10/s_1010/: " is 14 bytes
    const std::string shown = "s_10/s_1010/: ";
    const struct {
        const char* what;
        SceneListRecord record;
        std::string expected;
    } cases[] = {
        {"path and title", {head, "Forest"}, shown + "Forest"},
        {"empty title", {"title\\", ""}, "title/: "},
        {"title filling its field", {head, std::string(48, 'x')}, shown + std::string(33, 'x')},
        {"double-byte ending at byte 47",
         {head, std::string(31, 'x') + SJIS_A},
         shown + std::string(31, 'x') + SJIS_A},
        {"double-byte across the cut", {head, std::string(32, 'x') + SJIS_A}, shown + std::string(32, 'x')},
        {"path alone longer than the cut", {std::string(50, 'd') + "\\", "T"}, std::string(47, 'd')},
        {"trail byte 0x5C stays", {"s_" + SJIS_5C + "\\", "T"}, "s_" + SJIS_5C + "/: T"},
    };
    std::vector<SceneListRecord> records;
    for (const auto& c : cases)
        records.push_back(c.record);
    mount_scenes(records);
    scn_data_load_scene_list();

    ASSERT_EQ(g_scene_list.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(std::string(g_scene_list[i].text), cases[i].expected);
        EXPECT_EQ(std::string(g_scene_list[i].path), cases[i].record.path) << "the path is kept as read";
        EXPECT_EQ(g_scene_list[i].head[0], i);
    }
    EXPECT_EQ(g_work_block.owner, nullptr) << "the work block was given back";
}

TEST_F(SceneData, FindSceneNormalisesTheFolderAndIgnoresCase)
{
    mount_scenes({{"title\\", "Title"},
                  {"s_10\\s_1010\\", "Forest"},
                  {"s_20\\s_2099\\", "Cave"},
                  {"s_30\\\x83\x41\\", "Shrine"}});
    scn_data_load_scene_list();

    const struct {
        std::string path;
        int expected; // index in the list, -1 for none
    } cases[] = {
        {"s_10\\s_1010\\", 1},
        {"s_10/s_1010/", 1},
        {"S_10\\S_1010\\", 1},
        {"s_10\\s_1010", 1},
        {"S_20/s_2099", 2},
        {"title", 0},
        {"s_10\\s_101", -1},
        {"s_10\\s_1010\\x", -1},
        {"s_10", -1},
        {"S_30/\x83\x41", 3},
        {"s_30\\\x83\x61\\", -1}, // a trail byte is no letter: 0x83 0x61 is another character
        {"", -1},
        {std::string(200, 'a'), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const SceneEntry* expected = c.expected < 0 ? nullptr : &g_scene_list[c.expected];
        EXPECT_EQ(scn_data_find_scene(c.path.c_str()), expected);
    }
}

TEST(SceneScriptPath, IsTheLastFolderName)
{
    const struct {
        std::string scene_path;
        std::size_t size;
        std::string expected;
    } cases[] = {
        {"s_10\\s_1010\\", 64, "s_1010"},
        {"s_10\\s_1010", 64, "s_1010"},
        {"title\\", 64, "title"},
        {"a\\b\\c\\", 64, "c"},
        {"single", 64, "single"},
        {"", 64, ""},
        {"\\", 64, ""},
        {"s_10\\s_1010\\", 4, "s_1"},
        {"s_\x95\x5C\\", 64, "s_\x95\x5C"},
        {"s_\x95\x5C\\s_1\\", 64, "s_1"},
        {"s_10\\" + SJIS_A + SJIS_A, 4, SJIS_A},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scene_path);
        char out[64];
        std::memset(out, '#', sizeof out);
        scene_script_path(c.scene_path.c_str(), out, c.size);
        EXPECT_EQ(std::string(out), c.expected);
    }
}

} // namespace
