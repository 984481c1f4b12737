#include "game/g_scn_data.h"

#include "core/archive_fixture.h"
#include "core/errors.h"
#include "core/sys.h"
#include "lib/le_bytes.h"
#include "lib/packed_writer.h"
#include "lib/table_writer.h"
#include "thrown_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
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

// Byte `offset` of a record as the file held it.
template <typename Record> std::uint8_t record_byte(const Record& record, std::size_t offset)
{
    return reinterpret_cast<const std::uint8_t*>(&record)[offset];
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
    EXPECT_EQ(record_byte(g_enemyinfo[1], 0), 'E');
    EXPECT_EQ(record_byte(g_enemyinfo[1], 1), 1);
    EXPECT_EQ(record_byte(g_invinfo[89], 1), 89);
    EXPECT_EQ(record_byte(g_invinfo[90], 0), 0) << "items past the file's count stay empty";
    EXPECT_EQ(record_byte(g_gameinfo, 0), 'G');
    ASSERT_EQ(g_eexinfo.size(), 13u);
    EXPECT_EQ(record_byte(g_eexinfo[12], 1), 12);
    EXPECT_EQ(g_work_block.owner, nullptr) << "the work block was given back";
}

TEST_F(SceneData, ItemTableTakesUpToItsCapacityAndForgetsTheLastLoad)
{
    FileImages images = good_tables();
    images[SCN_INVINFO_PATH] = table_build(184, tagged_records('I', SCN_ITEM_CAPACITY));
    mount_images(images);
    scn_data_load_tables();
    EXPECT_EQ(record_byte(g_invinfo[SCN_ITEM_CAPACITY - 1], 0), 'I');

    vfs_close_all();
    images[SCN_INVINFO_PATH] = table_build(184, tagged_records('J', 1));
    mount_images(images);
    scn_data_load_tables();
    EXPECT_EQ(record_byte(g_invinfo[0], 0), 'J');
    EXPECT_EQ(record_byte(g_invinfo[1], 0), 0);
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
        EXPECT_EQ(g_scene_list[i].number, i);
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

TEST_F(SceneData, NamedFieldsReadBackWhatTheWriterWrote)
{
    CastRecord cast{.name = "CAST_BRAM", .display_name = std::string(32, 'D')}; // no terminator
    cast.hit_radius = 0.5f;
    cast.body_radius = 0.75f;
    cast.foot_height = 1.0f;
    cast.shadow_size = 1.25f;
    cast.view_radius = 20.0f;
    cast.hover_height = 2.0f;
    cast.walk_speed = 0.125f;
    cast.second_speed = 0.25f;
    cast.jump_speed = 0.375f;
    cast.hit_height = 1.5f;
    cast.hit_half_height = 0.625f;
    cast.hit_cylinder = 1;
    cast.cast_number = 13;
    cast.behaviour_kind = 7;
    cast.script_set = 3;
    cast.spawn_type = 2;
    cast.live_count = 4;
    cast.hit_points = 120;
    EnemyRecord enemy;
    enemy.fourth_per_level = 1.5f;
    enemy.fourth_base = 4.0f;
    enemy.resistances = {10, 20, 30, 40};
    enemy.status_byte = 0xA5;
    enemy.drop_items = {5, 6, -1, 7, -1, -1, -1, 89};
    enemy.drop_chances = {50, 25, 0, 12.5f, 0, 0, 0, 1};
    enemy.move_params = {0.05f, 1, 0.1f, 0.2f, 0, 0, 0.01f, 0.02f};
    enemy.hover_params = {3, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f};
    enemy.hp_scale = 60;
    enemy.attack_scale = 55;
    enemy.defence_scale = 45;
    enemy.gold_scale = 70;
    enemy.exp_scale = 30;
    enemy.blood_colour = 0xFF7C0000;
    enemy.default_level = 31;
    ItemRecord item{.name = "Herb",
                    .price = 50,
                    .value = 30,
                    .power = 4,
                    .icon_name = "herb",
                    .description = std::string(108, 'd')};
    GameRecord game;
    game.start_level = -3;
    game.fourth_factor = 2.5f;
    game.fourth_addend = 7;
    game.exp_divisor_base = 1.5f;
    game.exp_bonus_base = 1.25f;
    game.enemy_hp = {10, 5000};
    game.enemy_attack = {3, 300};
    game.enemy_defence = {2, 200};
    game.enemy_exp = {5, 900};
    game.player_hp = {100, 999};
    game.player_attack = {8, 400};
    game.player_defence = {6, 350};
    game.player_exp_step = {20, 50000};
    EexRecord eex{
        .max_hp = 800, .attack = 40, .defence = 30, .fourth = 5, .gold = 1000, .exp_scale = 65, .level = 25};

    FileImages images = good_tables();
    images[SCN_CASTINFO_PATH] = cast_table_build(std::vector<CastRecord>{cast});
    images[SCN_ENEMYINFO_PATH] = enemy_table_build(std::vector<EnemyRecord>{enemy});
    images[SCN_INVINFO_PATH] = item_table_build(std::vector<ItemRecord>{item});
    images[SCN_GAMEINFO_PATH] = game_table_build(game);
    images[SCN_EEX_PATH] = eex_table_build(std::vector<EexRecord>{eex});
    mount_images(images);
    scn_data_load_tables();

    const CastInfo& c = scn_data_cast(0);
    EXPECT_STREQ(c.name, "CAST_BRAM");
    EXPECT_EQ(std::string(c.display_name, sizeof c.display_name), cast.display_name);
    const float cast_floats[] = {c.hit_radius,  c.body_radius,  c.foot_height,    c.shadow_size,
                                 c.view_radius, c.hover_height, c.walk_speed,     c.second_speed,
                                 c.jump_speed,  c.hit_height,   c.hit_half_height};
    EXPECT_THAT(cast_floats, ::testing::ElementsAre(0.5f, 0.75f, 1.0f, 1.25f, 20.0f, 2.0f, 0.125f, 0.25f,
                                                    0.375f, 1.5f, 0.625f));
    const std::int32_t cast_ints[] = {c.hit_cylinder, c.cast_number, c.behaviour_kind, c.script_set,
                                      c.spawn_type,   c.live_count,  c.hit_points};
    EXPECT_THAT(cast_ints, ::testing::ElementsAre(1, 13, 7, 3, 2, 4, 120));

    const EnemyInfo& e = scn_data_enemy(0);
    EXPECT_EQ(e.fourth_per_level, 1.5f);
    EXPECT_EQ(e.fourth_base, 4.0f);
    EXPECT_THAT(e.resistances, ::testing::ElementsAreArray(enemy.resistances));
    EXPECT_EQ(e.status_byte, 0xA5);
    EXPECT_THAT(e.drop_items, ::testing::ElementsAreArray(enemy.drop_items));
    EXPECT_THAT(e.drop_chances, ::testing::ElementsAreArray(enemy.drop_chances));
    EXPECT_THAT(e.move_params, ::testing::ElementsAreArray(enemy.move_params));
    EXPECT_THAT(e.hover_params, ::testing::ElementsAreArray(enemy.hover_params));
    const float scales[] = {e.hp_scale, e.attack_scale, e.defence_scale, e.gold_scale, e.exp_scale};
    EXPECT_THAT(scales, ::testing::ElementsAre(60, 55, 45, 70, 30));
    EXPECT_EQ(e.blood_colour, 0xFF7C0000u);
    EXPECT_EQ(e.default_level, 31);

    const InvInfo& i = scn_data_item(0);
    EXPECT_STREQ(i.name, "Herb");
    EXPECT_EQ(i.price, 50);
    EXPECT_EQ(i.value, 30);
    EXPECT_EQ(i.power, 4);
    EXPECT_STREQ(i.icon_name, "herb");
    EXPECT_EQ(std::string(i.description, sizeof i.description), item.description);

    EXPECT_EQ(g_gameinfo.start_level, -3);
    const float game_floats[] = {g_gameinfo.fourth_factor, g_gameinfo.fourth_addend,
                                 g_gameinfo.exp_divisor_base, g_gameinfo.exp_bonus_base};
    EXPECT_THAT(game_floats, ::testing::ElementsAre(2.5f, 7, 1.5f, 1.25f));
    const LevelCurve curves[] = {g_gameinfo.enemy_hp,       g_gameinfo.enemy_attack,
                                 g_gameinfo.enemy_defence,  g_gameinfo.enemy_exp,
                                 g_gameinfo.player_hp,      g_gameinfo.player_attack,
                                 g_gameinfo.player_defence, g_gameinfo.player_exp_step};
    const LevelCurveValues written[] = {game.enemy_hp,       game.enemy_attack,   game.enemy_defence,
                                        game.enemy_exp,      game.player_hp,      game.player_attack,
                                        game.player_defence, game.player_exp_step};
    for (std::size_t k = 0; k < std::size(curves); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(curves[k].first, written[k].first);
        EXPECT_EQ(curves[k].last, written[k].last);
    }

    const EexInfo& x = g_eexinfo.at(0);
    const float eex_floats[] = {x.max_hp, x.attack, x.defence, x.fourth, x.gold, x.exp_scale};
    EXPECT_THAT(eex_floats, ::testing::ElementsAre(800, 40, 30, 5, 1000, 65));
    EXPECT_EQ(x.level, 25);
}

TEST_F(SceneData, SceneEntryFieldsRoundTrip)
{
    mount_scenes({{"title\\", "Title"},
                  {.path = "s_10\\s_1010\\",
                   .title = "Forest",
                   .reverb = 0xC8,
                   .music = 0x91,
                   .info_text = std::string(94, 't'),
                   .map_x = 0xBEEF,
                   .map_y = 513}});
    scn_data_load_scene_list();

    const SceneEntry& scene = scn_data_scene(1);
    EXPECT_EQ(scene.number, 1);
    EXPECT_EQ(scene.reverb, 0xC8) << "read unsigned";
    EXPECT_EQ(scene.music, 0x91);
    EXPECT_EQ(std::string(scene.info_text, sizeof scene.info_text), std::string(94, 't'));
    EXPECT_EQ(scene.map_x, 0xBEEF);
    EXPECT_EQ(scene.map_y, 513);
    EXPECT_STREQ(scene.path, "s_10\\s_1010\\");
    EXPECT_EQ(scn_data_scene(0).music, 0) << "music 0 is silence, the writer's default";
}

TEST_F(SceneData, LookupsAnswerUpToTheLastRecordAndThrowNamingTheFilePastIt)
{
    mount_images(good_tables());
    scn_data_load_tables();
    vfs_close_all();
    mount_scenes({{"title\\", "Title"}, {"demo6\\", "Demo"}});
    scn_data_load_scene_list();

    const struct {
        const char* name;
        std::function<const void*(int)> lookup;
        const void* last_record;
        int last;
    } tables[] = {
        {"data\\misc\\castinfo.dat.z", [](int i) -> const void* { return &scn_data_cast(i); }, &g_castinfo[2],
         2},
        {"data\\misc\\enemyinfo.dat.z", [](int i) -> const void* { return &scn_data_enemy(i); },
         &g_enemyinfo[1], 1},
        {"data\\misc\\invinfo.dat.z", [](int i) -> const void* { return &scn_data_item(i); }, &g_invinfo[255],
         255},
        {"data\\map\\scenelist.sl", [](int i) -> const void* { return &scn_data_scene(i); }, &g_scene_list[1],
         1},
    };
    for (const auto& table : tables) {
        SCOPED_TRACE(table.name);
        EXPECT_EQ(table.lookup(table.last), table.last_record);
        for (int index : {table.last + 1, -1, std::numeric_limits<int>::min()}) {
            SCOPED_TRACE(index);
            EXPECT_THAT(thrown_text([&] { table.lookup(index); }),
                        StartsWith(error_start("Overflow.(80ff0004h)", table.name)));
        }
    }
}

TEST_F(SceneData, FreeEmptiesEveryTableAndALaterLoadWorks)
{
    FileImages images = good_tables();
    images[SCN_SCENE_LIST_PATH] = scene_list_build(std::vector<SceneListRecord>{{"title\\", "Title"}});
    mount_images(images);
    scn_data_load_tables();
    scn_data_load_scene_list();

    scn_data_free();
    EXPECT_TRUE(g_castinfo.empty());
    EXPECT_TRUE(g_enemyinfo.empty());
    EXPECT_TRUE(g_eexinfo.empty());
    EXPECT_TRUE(g_scene_list.empty());
    for (std::size_t id = 0; id < SCN_ITEM_CAPACITY; ++id)
        ASSERT_EQ(record_byte(g_invinfo[id], 0) | record_byte(g_invinfo[id], 1), 0) << "item " << id;
    EXPECT_EQ(record_byte(g_gameinfo, 0), 0);
    EXPECT_THAT(thrown_text([] { scn_data_cast(0); }),
                StartsWith(error_start("Overflow.(80ff0004h)", SCN_CASTINFO_PATH)));
    EXPECT_THAT(thrown_text([] { scn_data_scene(0); }),
                StartsWith(error_start("Overflow.(80ff0004h)", SCN_SCENE_LIST_NAME)));
    EXPECT_EQ(scn_data_find_scene("title\\"), nullptr);

    scn_data_load_tables();
    scn_data_load_scene_list();
    EXPECT_STREQ(scn_data_cast(2).name, "CAST_WISP");
    EXPECT_EQ(scn_data_scene(0).number, 0);
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
