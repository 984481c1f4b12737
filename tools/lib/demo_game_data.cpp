#include "lib/demo_game_data.h"

#include "lib/dds_writer.h"
#include "lib/demo_effects.h"
#include "lib/demo_images.h"
#include "lib/demo_room.h"
#include "lib/demo_scenes.h"
#include "lib/demo_sprites.h"
#include "lib/demo_trails.h"
#include "lib/hud_image_writer.h"
#include "lib/icon_writer.h"
#include "lib/packed_writer.h"
#include "lib/table_writer.h"

#include <fontconfig/fontconfig.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

namespace {

constexpr const char* k_font_family = "IPAPGothic";

// Item ids by kind, as the game's rules number them.
constexpr int k_first_shield = 6;
constexpr int k_first_armour = 12;
constexpr int k_first_ring = 18;
constexpr int k_first_magic = 72;
constexpr int k_kind_size = 6;

const std::array<const char*, k_kind_size> k_weapons = {"Short Sword", "Long Sword",  "Broad Sword",
                                                        "Rune Blade",  "Flame Brand", "Star Blade"};
const std::array<const char*, k_kind_size> k_shields = {"Wood Shield",  "Iron Shield",   "Kite Shield",
                                                        "Tower Shield", "Mirror Shield", "Star Shield"};
const std::array<const char*, k_kind_size> k_armours = {"Cloth Tunic", "Leather Vest", "Chain Mail",
                                                        "Scale Mail",  "Plate Mail",   "Star Mail"};
const std::array<const char*, k_kind_size> k_rings = {"Lamp Ring", "Ember Ring", "Frost Ring",
                                                      "Heal Ring", "Wind Ring",  "Life Ring"};
const std::array<const char*, k_kind_size> k_magic = {"Fire Tome", "Ice Tome", "Wind Tome",
                                                      "Fire Orb",  "Ice Orb",  "Wind Orb"};

std::string icon_name(int item)
{
    char name[16];
    std::snprintf(name, sizeof name, "icon_%02d", item);
    return name;
}

ItemRecord item(int id)
{
    ItemRecord record;
    const int rank = id % k_kind_size;
    record.icon_name = icon_name(id);
    record.price = 100 * (rank + 1);
    if (id < k_first_shield) {
        record.name = k_weapons[rank];
        record.power = 2 * rank + 2;
    } else if (id < k_first_armour) {
        record.name = k_shields[rank];
        record.power = rank + 1;
    } else if (id < k_first_ring) {
        record.name = k_armours[rank];
        record.power = rank + 1;
    } else if (id < k_first_ring + k_kind_size) {
        record.name = k_rings[rank];
    } else if (id >= k_first_magic && id < k_first_magic + k_kind_size) {
        record.name = k_magic[rank];
    } else {
        char name[32];
        std::snprintf(name, sizeof name, "Herb %02d", id);
        record.name = name;
        record.value = 30 + id; // what it heals
        record.price = 10 + id;
    }
    record.description = record.name + ", an item of the demo.";
    return record;
}

std::vector<std::uint8_t> item_table()
{
    std::vector<ItemRecord> items;
    for (int id = 0; id < DEMO_ITEM_COUNT; ++id)
        items.push_back(item(id));
    return item_table_build(items);
}

CastRecord hero_cast()
{
    CastRecord hero;
    hero.name = "CAST_BRAM";
    hero.display_name = "Bram";
    hero.hit_radius = 0.35f;
    hero.body_radius = 0.3f;
    hero.shadow_size = 0.6f;
    hero.view_radius = 8.0f;
    hero.walk_speed = 0.08f;
    hero.second_speed = 0.16f;
    hero.jump_speed = 0.25f;
    hero.hit_height = 0.8f;
    hero.hit_half_height = 0.8f;
    hero.cast_number = DEMO_HERO_CAST;
    hero.script_set = DEMO_HERO_SCRIPT_SET;
    return hero;
}

// Casts 0-12 are people, 13 the hero and 14-17 the enemies of the four enemy rows.
std::vector<std::uint8_t> cast_table()
{
    const char* enemies[] = {"CAST_SLIME", "CAST_BAT", "CAST_WOLF", "CAST_GOLEM"};
    std::vector<CastRecord> casts;
    for (int i = 0; i < DEMO_HERO_CAST; ++i) {
        CastRecord person;
        char name[16];
        std::snprintf(name, sizeof name, "CAST_P%02d", i);
        person.name = name;
        person.display_name = std::string("Villager ") + std::to_string(i);
        person.cast_number = i;
        casts.push_back(person);
    }
    casts.push_back(hero_cast());
    for (int i = 0; i < 4; ++i) {
        CastRecord enemy;
        enemy.name = enemies[i];
        enemy.display_name = enemies[i] + 5;
        enemy.hit_radius = 0.4f + 0.2f * static_cast<float>(i);
        enemy.walk_speed = 0.05f;
        enemy.cast_number = DEMO_FIRST_ENEMY_CAST + i;
        casts.push_back(enemy);
    }
    return cast_table_build(casts);
}

std::vector<std::uint8_t> enemy_table()
{
    const std::int32_t levels[] = {1, 3, 5, 8};
    std::vector<EnemyRecord> rows;
    for (int i = 0; i < 4; ++i) {
        EnemyRecord row;
        row.default_level = levels[i];
        row.hp_scale = 50.0f + 5.0f * static_cast<float>(i);
        row.fourth_per_level = 0.5f;
        row.fourth_base = 1.0f;
        row.drop_items[0] = 30 + i;
        row.drop_chances[0] = 0.25f;
        row.blood_colour = 0xFF802020;
        rows.push_back(row);
    }
    return enemy_table_build(rows);
}

std::vector<std::uint8_t> eex_table()
{
    std::vector<EexRecord> rows;
    for (int i = 0; i < 4; ++i) {
        const float scale = static_cast<float>(i + 1);
        rows.push_back(
            {500.0f * scale, 20.0f * scale, 10.0f * scale, 1.0f, 100.0f * scale, 1.0f, 10 * (i + 1)});
    }
    return eex_table_build(rows);
}

// The first level steps are short, so the demo levels up within its first fights.
std::vector<std::uint8_t> game_table()
{
    GameRecord game;
    game.start_level = 1;
    game.fourth_factor = 1.0f;
    game.exp_divisor_base = 5.0f;
    game.exp_bonus_base = 1.5f;
    game.enemy_hp = {20.0f, 3000.0f};
    game.enemy_attack = {5.0f, 250.0f};
    game.enemy_defence = {2.0f, 200.0f};
    game.enemy_exp = {4.0f, 2000.0f};
    game.player_hp = {60.0f, 999.0f};
    game.player_attack = {8.0f, 300.0f};
    game.player_defence = {4.0f, 250.0f};
    game.player_exp_step = {10.0f, 5000.0f};
    return game_table_build(game);
}

// An arrow pointing up and left, white with a dark rim, inside its 32 x 32 image.
DdsPixels cursor_image()
{
    return dds_pattern(32, 32, [](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        const std::uint32_t sum = x + y;
        if (x >= 22 || y >= 22 || sum >= 26) return 0;
        return x == 0 || y == 0 || sum >= 24 ? 0xFF202020 : 0xFFFFFFFF;
    });
}

// Clear in the middle, darkening toward the rim: the hero's light in a dark scene.
DdsPixels light_image()
{
    return dds_pattern(128, 128, [](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        const float dx = (static_cast<float>(x) - 63.5f) / 64.0f;
        const float dy = (static_cast<float>(y) - 63.5f) / 64.0f;
        const float dark = std::fmin(1.0f, std::sqrt(dx * dx + dy * dy) * 1.25f);
        return static_cast<std::uint32_t>(dark * 255.0f) << 24;
    });
}

DdsPixels icon_image(std::uint32_t argb)
{
    return dds_pattern(32, 32, [argb](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        const bool rim = x < 2 || y < 2 || x > 29 || y > 29;
        return rim ? 0xFF000000 : argb;
    });
}

void add_packed(std::vector<ArchiveSource>& files, const char* path, const std::vector<std::uint8_t>& table)
{
    files.push_back({path, packed_build(table)});
}

void add_icons(std::vector<ArchiveSource>& files)
{
    const std::pair<std::string, std::uint32_t> icons[] = {
        {icon_name(0), 0xFFC0C0D0},
        {icon_name(k_first_shield), 0xFF8060A0},
        {icon_name(k_first_armour), 0xFF60A060},
        {icon_name(k_first_ring), 0xFFF0D040},
        {icon_name(k_first_magic), 0xFFE04020},
        {"dusca", 0xFFE0C000},
        {"jewel_00", 0xFF40A0F0},
        {"jewel_01", 0xFFF04080},
        {"jewel_02", 0xFF40F080},
    };
    for (const auto& [name, colour] : icons)
        for (ArchiveSource& file : item_icon_files(name, icon_image(colour)))
            files.push_back(std::move(file));
}

// A configuration of its own, destroyed after the lookup, so the process keeps no font data.
std::optional<std::filesystem::path> font_file_of_family(const char* family)
{
    std::optional<std::filesystem::path> file;
    FcConfig* config = FcInitLoadConfigAndFonts();
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcObjectSet* objects = FcObjectSetBuild(FC_FILE, nullptr);
    FcFontSet* fonts = FcFontList(config, pattern, objects);
    FcChar8* path = nullptr;
    if (fonts && fonts->nfont > 0 && FcPatternGetString(fonts->fonts[0], FC_FILE, 0, &path) == FcResultMatch)
        file = reinterpret_cast<const char*>(path);
    if (fonts) FcFontSetDestroy(fonts);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    FcConfigDestroy(config);
    return file;
}

} // namespace

std::vector<ArchiveSource> demo_game_files()
{
    std::vector<ArchiveSource> files;
    add_packed(files, "data\\misc\\castinfo.dat.z", cast_table());
    add_packed(files, "data\\misc\\enemyinfo.dat.z", enemy_table());
    add_packed(files, "data\\misc\\invinfo.dat.z", item_table());
    add_packed(files, "data\\misc\\gameinfo.dat.z", game_table());
    add_packed(files, "data\\misc\\eex.dat.z", eex_table());
    for (ArchiveSource& file : scene_set_archive_files(demo_scene_set()))
        files.push_back(std::move(file));
    const DdsPixels cursor = cursor_image();
    const DdsPixels light = light_image();
    files.push_back({"data\\image\\cursor.dds", dds_build(DdsFormat::A1R5G5B5, std::span(&cursor, 1))});
    files.push_back({"data\\image\\light0.dds", dds_build(DdsFormat::A4R4G4B4, std::span(&light, 1))});
    for (ArchiveSource& file : demo_window_images())
        files.push_back(std::move(file));
    for (ArchiveSource& file : demo_room_files())
        files.push_back(std::move(file));
    files.push_back(demo_ripple_image());
    for (ArchiveSource& file : hud_image_files())
        files.push_back(std::move(file));
    for (ArchiveSource& file : demo_trail_files())
        files.push_back(std::move(file));
    for (ArchiveSource& file : demo_effect_files())
        files.push_back(std::move(file));
    add_icons(files);
    return files;
}

bool demo_copy_game_font(const std::filesystem::path& folder)
{
    const std::optional<std::filesystem::path> font = font_file_of_family(k_font_family);
    if (!font) {
        std::fprintf(stderr, "demo: the font family %s is not installed\n", k_font_family);
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(folder / "release", error);
    std::filesystem::copy_file(*font, folder / "release" / "im02.dt",
                               std::filesystem::copy_options::overwrite_existing, error);
    return !error;
}
