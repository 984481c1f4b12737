// The game's fixed image table: every texture the game uses everywhere (fonts, cursors, shadows,
// icons, debris, effect textures, item icons) has its index here, is loaded once at game start
// and stays until game shutdown. Nothing else loads these images.
#pragma once

#include "platform/d3d8.h"

#include <cstdint>

struct Model;

constexpr int IMAGE_TABLE_SIZE = 717;
constexpr std::size_t IMAGE_NAME_SIZE = 80;

// Indices of the fixed entries that code addresses by name.
constexpr int IMAGE_TABLE_WHITE = 1; // white1x1
constexpr int IMAGE_TABLE_CURSOR = 7;
constexpr int IMAGE_TABLE_DIALOG = 9;       // the dialog's 3 x 3 skin
constexpr int IMAGE_TABLE_MENU_CURSOR = 11; // the menus' cursor bar  // the mouse pointer
constexpr int IMAGE_TABLE_LIGHT0 = 15;      // the darkness overlay
constexpr int IMAGE_TABLE_DEBRIS_FIRST = 48;
constexpr int IMAGE_TABLE_DEBRIS_COUNT = 375;
constexpr int IMAGE_TABLE_EFFECT_FIRST = 423; // effect texture k is entry 423 + k
constexpr int IMAGE_TABLE_EFFECT_COUNT = 200;
constexpr int IMAGE_TABLE_ITEM_ICON_FIRST = 623; // item id n is entry 623 + n
constexpr int IMAGE_TABLE_ITEM_ICON_COUNT = 90;
constexpr int IMAGE_TABLE_DUSCA_ICON = 713;
constexpr int IMAGE_TABLE_JEWEL_ICON_FIRST = 714;
constexpr int IMAGE_TABLE_JEWEL_ICON_COUNT = 3;

struct ImageName {
    std::uint32_t format; // the D3DFORMAT to load with
    char name[IMAGE_NAME_SIZE];
};
static_assert(sizeof(ImageName) == 84);

extern ImageName g_texture_names[IMAGE_TABLE_SIZE];
// The loaded textures; null where a name is empty or its file could not be loaded.
extern IDirect3DTexture8* g_texture_handles[IMAGE_TABLE_SIZE];

// Names the item icons (entries 623-716) from the item table; with a 32-bit back buffer the
// names carry the "z_" prefix after the folder.
void hud_name_item_icons(bool back_buffer_32bit);
// Names the debris images, gives two effect textures their 16-bit alpha format and loads every
// named entry. A missing file leaves its handle null.
void hud_load_textures();
// Releases every loaded texture.
void hud_release_textures();

// The effect meshes load with this table, so they live here: the effect data (gfx/eft_new)
// names mesh k in entry k, and mesh emitters draw model k.
constexpr int EFFECT_MESH_TABLE_SIZE = 200;
extern char g_effect_mesh_names[EFFECT_MESH_TABLE_SIZE][IMAGE_NAME_SIZE];
// Null where a name is empty or its model could not be loaded.
extern Model* g_effect_meshes[EFFECT_MESH_TABLE_SIZE];
// Loads every named effect mesh through the model pool; a mesh that fails has its name cleared.
// Six meshes get the model material flag in every material.
void eft_load_meshes();
// Gives back every loaded effect mesh.
void eft_release_meshes();
