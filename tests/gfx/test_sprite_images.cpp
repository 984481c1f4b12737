#include "gfx/sprite.h"

#include "core/errors.h"
#include "core/vfs.h"
#include "lib/archive_writer.h"
#include "lib/dds_writer.h"
#include "scenegraph/texture.h"
#include "scenegraph/texture_device.h"
#include "temp_folder.h"
#include "thrown_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// Slots each screen loads, and the slots of each format other than A1R5G5B5, as the menus
// expect them.
const std::set<int> k_save_slots = {0, 4, 7, 14, 16, 17};
const std::set<int> k_load_slots = {0, 5, 7, 14, 15, 17};
const std::set<int> k_options_slots = {0, 18, 19, 20, 21, 22, 24, 34, 35};
const std::set<int> k_not_camp_slots = {4, 5, 16, 24};
const std::set<int> k_r5g6b5_slots = {0, 9, 12, 18, 21, 22, 34, 35, 38, 39, 40, 41};
const std::set<int> k_a8r8g8b8_slots = {26, 27, 28, 36};
const std::set<int> k_a4r4g4b4_slots = {8, 10, 13, 15, 16, 17, 19, 20, 23, 30};

// A stand-in for a slot the load must not touch; never used as a texture.
IDirect3DTexture8* untouched(int slot)
{
    static std::uint8_t marks[MENU_IMAGE_SLOTS];
    return reinterpret_cast<IDirect3DTexture8*>(&marks[slot]);
}

// A device whose loader converts 32-bit files to each row's format, and an archive holding an
// image of two levels for every name of both tables (but the ones a test leaves out), each
// telling its name apart by its height.
class MenuImagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_tex_a8r8g8b8_ok = false;
        for (const MenuImage& image : g_menu_camp_images)
            m_heights.emplace(image.name, 4 + static_cast<UINT>(m_heights.size()));
        for (const MenuImage& image : g_menu_shop_images)
            m_heights.emplace(image.name, 4 + static_cast<UINT>(m_heights.size()));
    }
    void TearDown() override
    {
        std::fill(std::begin(g_menu_images), std::end(g_menu_images), nullptr);
        g_menu_images_ready = false;
        vfs_close_all();
    }

    void mount(const std::set<std::string>& missing = {})
    {
        std::vector<ArchiveSource> files;
        for (const auto& [name, height] : m_heights) {
            if (missing.count(name)) continue;
            files.push_back(
                {name, dds_build(DdsFormat::A8R8G8B8, dds_mip_chain(dds_solid(8, height, 0xFF808080), 2))});
        }
        ASSERT_TRUE(archive_write_set(m_data.path(), files, {}));
        vfs::Startup((m_data.windows() + "\\").c_str());
    }

    static void mark_all_untouched()
    {
        for (int slot = 0; slot < MENU_IMAGE_SLOTS; ++slot)
            g_menu_images[slot] = untouched(slot);
    }

    // The slot holds the named image, loaded in the format.
    void expect_image(int slot, const char* name, D3DFORMAT format)
    {
        SCOPED_TRACE(testing::Message() << "slot " << slot << " " << name);
        IDirect3DTexture8* texture = g_menu_images[slot];
        ASSERT_NE(texture, nullptr);
        ASSERT_NE(texture, untouched(slot));
        D3DSURFACE_DESC desc{};
        ASSERT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
        EXPECT_EQ(desc.Height, m_heights.at(name));
        EXPECT_EQ(desc.Format, format);
        EXPECT_EQ(texture->GetLevelCount(), 1u) << "screen images need no smaller levels";
    }

    TextureDevice m_device;
    TempFolder m_data;
    std::map<std::string, UINT> m_heights;
};

D3DFORMAT camp_format(int slot)
{
    if (k_r5g6b5_slots.count(slot)) return D3DFMT_R5G6B5;
    if (k_a8r8g8b8_slots.count(slot)) return D3DFMT_A8R8G8B8;
    if (k_a4r4g4b4_slots.count(slot)) return D3DFMT_A4R4G4B4;
    return D3DFMT_A1R5G5B5;
}

} // namespace

TEST_F(MenuImagesTest, TablesNameTheMenuFolderFiles)
{
    EXPECT_STREQ(g_menu_camp_images[0].name, "data\\menu\\Back00.dds");
    EXPECT_STREQ(g_menu_camp_images[8].name, "data\\menu\\Cur00.dds");
    EXPECT_STREQ(g_menu_camp_images[14].name, "data\\menu\\w_SvLd.dds");
    EXPECT_STREQ(g_menu_camp_images[36].name, "data\\menu\\MAP.dds");
    EXPECT_STREQ(g_menu_camp_images[37].name, "data\\menu\\Topic\\DC_000.dds");
    EXPECT_STREQ(g_menu_camp_images[47].name, "data\\menu\\Topic\\tab.dds");
    EXPECT_STREQ(g_menu_shop_images[0].name, "data\\menu\\w_Status.dds");
    EXPECT_STREQ(g_menu_shop_images[10].name, "data\\menu\\w_DuscaEquip.dds");
    EXPECT_STREQ(g_menu_shop_images[12].name, "data\\menu\\w_AskUse02.dds");
    EXPECT_EQ(m_heights.size(), 58u) << "three shop images are camp-menu images too";
}

// Each screen fills the rows flagged for it, in their formats, and leaves every other slot as
// it was; then the set is ready.
TEST_F(MenuImagesTest, EachScreenFillsOnlyItsRows)
{
    std::set<int> camp_slots;
    for (int slot = 0; slot < MENU_IMAGE_SLOTS; ++slot)
        if (!k_not_camp_slots.count(slot)) camp_slots.insert(slot);
    const struct {
        std::int32_t type;
        const std::set<int>& slots;
    } screens[] = {
        {MENU_SCREEN_CAMP, camp_slots},
        {MENU_SCREEN_SAVE, k_save_slots},
        {MENU_SCREEN_LOAD, k_load_slots},
        {MENU_SCREEN_OPTIONS, k_options_slots},
    };
    mount();
    for (const auto& screen : screens) {
        SCOPED_TRACE(testing::Message() << "screen " << screen.type);
        mark_all_untouched();
        g_menu_images_ready = false;
        sprite_load_menu_images(screen.type);
        EXPECT_TRUE(g_menu_images_ready);
        for (int slot = 0; slot < MENU_IMAGE_SLOTS; ++slot) {
            if (screen.slots.count(slot))
                expect_image(slot, g_menu_camp_images[slot].name, camp_format(slot));
            else
                EXPECT_EQ(g_menu_images[slot], untouched(slot)) << "slot " << slot;
        }
    }
}

TEST_F(MenuImagesTest, ShopFillsSlotsZeroToTwelveFromItsOwnTable)
{
    const D3DFORMAT formats[MENU_SHOP_IMAGES] = {
        D3DFMT_A1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A4R4G4B4, D3DFMT_A1R5G5B5,
        D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A4R4G4B4, D3DFMT_A4R4G4B4, D3DFMT_A4R4G4B4,
        D3DFMT_R5G6B5,   D3DFMT_A4R4G4B4, D3DFMT_A4R4G4B4,
    };
    mount();
    mark_all_untouched();
    sprite_load_menu_images(MENU_SCREEN_SHOP);
    EXPECT_TRUE(g_menu_images_ready);
    for (int slot = 0; slot < MENU_SHOP_IMAGES; ++slot)
        expect_image(slot, g_menu_shop_images[slot].name, formats[slot]);
    for (int slot = MENU_SHOP_IMAGES; slot < MENU_IMAGE_SLOTS; ++slot)
        EXPECT_EQ(g_menu_images[slot], untouched(slot)) << "slot " << slot;
}

TEST_F(MenuImagesTest, OtherTypesLoadNothingAndAreReady)
{
    mount();
    for (std::int32_t type : {-1, 5, 100}) {
        mark_all_untouched();
        g_menu_images_ready = false;
        sprite_load_menu_images(type);
        EXPECT_TRUE(g_menu_images_ready) << "type " << type;
        for (int slot = 0; slot < MENU_IMAGE_SLOTS; ++slot)
            EXPECT_EQ(g_menu_images[slot], untouched(slot)) << "type " << type << " slot " << slot;
    }
}

// The first image that cannot be loaded ends the load with E_FAIL's text and its name; the
// rows before it are loaded, the ones after it are not, and the set is not ready.
TEST_F(MenuImagesTest, MissingImageThrowsEFailWithItsName)
{
    const char* missing = "data\\menu\\w_AskSave.dds";
    mount({missing});
    mark_all_untouched();
    g_menu_images_ready = true;
    char expected[ERR_DETAIL_SIZE];
    err_hresult_text(E_FAIL, missing, expected, sizeof expected);
    const std::string text = thrown_text([] { sprite_load_menu_images(MENU_SCREEN_SAVE); });
    EXPECT_EQ(text.rfind(std::string(expected) + "\nsprite.cpp(", 0), 0u) << text;
    EXPECT_NE(text.find("E_FAIL(80004005h)\r\n->data\\menu\\w_AskSave.dds"), std::string::npos) << text;
    EXPECT_FALSE(g_menu_images_ready);
    for (int slot : {0, 4, 7, 14})
        expect_image(slot, g_menu_camp_images[slot].name, camp_format(slot));
    EXPECT_EQ(g_menu_images[16], untouched(16));
    EXPECT_EQ(g_menu_images[17], untouched(17));
}
