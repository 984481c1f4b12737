#include "game/g_image_table.h"

#include "core/text.h"
#include "game/g_scn_data.h"
#include "scenegraph/model.h"
#include "scenegraph/resrc_mgr.h"
#include "scenegraph/texture.h"

#include <cstdio>
#include <iterator>

namespace {

// Effect textures 2 and 34 carry soft alpha.
constexpr int k_soft_alpha_effects[] = {IMAGE_TABLE_EFFECT_FIRST + 2, IMAGE_TABLE_EFFECT_FIRST + 34};

// 0-based numbers of the effect meshes that carry the model material flag.
constexpr int k_flagged_effect_meshes[] = {34, 60, 88, 104, 149, 161};

constexpr const char* k_icon_folder = "data\\menu\\icon\\";
constexpr const char* k_currency_icons[] = {"dusca", "jewel_00", "jewel_01", "jewel_02"};

void set_icon(int entry, const char* prefix, const char* icon)
{
    ImageName& slot = g_texture_names[entry];
    slot.format = D3DFMT_A1R5G5B5;
    std::snprintf(slot.name, sizeof slot.name, "%s%s%s.dds", k_icon_folder, prefix, icon);
}

void set_debris_names()
{
    for (int k = 0; k < IMAGE_TABLE_DEBRIS_COUNT; ++k) {
        ImageName& slot = g_texture_names[IMAGE_TABLE_DEBRIS_FIRST + k];
        slot.format = D3DFMT_A1R5G5B5;
        std::snprintf(slot.name, sizeof slot.name, "data\\image\\debris\\debris%03d.dds", k);
    }
}

} // namespace

// The fixed images; the rest of the table is named at game start.
ImageName g_texture_names[IMAGE_TABLE_SIZE] = {
    {D3DFMT_A4R4G4B4, "data\\image\\black1x1.dds"},   {D3DFMT_A4R4G4B4, "data\\image\\white1x1.dds"},
    {D3DFMT_A4R4G4B4, "data\\image\\black1x1a0.dds"}, {D3DFMT_A4R4G4B4, "data\\image\\white1x1a0.dds"},
    {D3DFMT_A4R4G4B4, "data\\image\\f_mini.dds"},     {D3DFMT_A4R4G4B4, "data\\image\\f_middle.dds"},
    {D3DFMT_A4R4G4B4, "data\\image\\f_geo20.dds"},    {D3DFMT_A1R5G5B5, "data\\image\\cursor.dds"},
    {D3DFMT_A4R4G4B4, "data\\image\\facewin0.dds"},   {D3DFMT_A4R4G4B4, "data\\image\\dialog0.dds"},
    {D3DFMT_R5G6B5, "data\\image\\mc.dds"},           {D3DFMT_A1R5G5B5, "data\\image\\menucursor.dds"},
    {D3DFMT_A1R5G5B5, "data\\image\\mc1.dds"},        {D3DFMT_A4R4G4B4, "data\\image\\emotion.dds"},
    {D3DFMT_A4R4G4B4, "data\\image\\shadow0.dds"},    {D3DFMT_A4R4G4B4, "data\\image\\light0.dds"},
    {D3DFMT_A1R5G5B5, "data\\image\\locus0.dds"},     {D3DFMT_A1R5G5B5, "data\\image\\locus1.dds"},
    {D3DFMT_A1R5G5B5, "data\\image\\locus2.dds"},     {D3DFMT_A1R5G5B5, "data\\image\\locus3.dds"},
    {D3DFMT_A1R5G5B5, "data\\image\\locus4.dds"},     {D3DFMT_A1R5G5B5, "data\\image\\locus5.dds"},
    {D3DFMT_A1R5G5B5, "data\\image\\locus_sp0.dds"},  {D3DFMT_A1R5G5B5, "data\\image\\hmlzr1.dds"},
    {D3DFMT_A1R5G5B5, "data\\image\\hmlzr2.dds"},     {D3DFMT_A1R5G5B5, "data\\image\\sparkle.dds"},
    {D3DFMT_A1R5G5B5, "data\\image\\lightning.dds"},  {D3DFMT_A4R4G4B4, "data\\image\\lighttest.dds"},
    {D3DFMT_A1R5G5B5, "data\\image\\ptl.dds"},        {D3DFMT_A1R5G5B5, "data\\image\\ripple.dds"},
    {D3DFMT_A4R4G4B4, "data\\image\\ti_01.dds"},      {D3DFMT_A4R4G4B4, "data\\image\\ti_02.dds"},
    {D3DFMT_A4R4G4B4, "data\\image\\ti_03.dds"},      {D3DFMT_A4R4G4B4, "data\\image\\foot_0l.dds"},
    {D3DFMT_A4R4G4B4, "data\\image\\foot_0r.dds"},    {D3DFMT_A4R4G4B4, "data\\image\\foot_1l.dds"},
    {D3DFMT_A4R4G4B4, "data\\image\\foot_1r.dds"},    {D3DFMT_A1R5G5B5, "data\\image\\lensflare.dds"},
    {D3DFMT_R5G6B5, "data\\image\\cloud.dds"},        {D3DFMT_R5G6B5, "data\\image\\glossmap.dds"},
    {D3DFMT_R5G6B5, "data\\image\\bump.dds"},         {D3DFMT_A1R5G5B5, "data\\image\\rain.dds"},
    {D3DFMT_A4R4G4B4, "data\\image\\fog_smoke.dds"},  {D3DFMT_A4R4G4B4, "data\\image\\yuki.dds"},
    {D3DFMT_A1R5G5B5, "data\\image\\gameover.dds"},   {D3DFMT_A4R4G4B4, "data\\image\\status_new.dds"},
    {D3DFMT_A4R4G4B4, "data\\image\\hp2.dds"},        {D3DFMT_A4R4G4B4, "data\\image\\s_bar.dds"},
};
IDirect3DTexture8* g_texture_handles[IMAGE_TABLE_SIZE];
char g_effect_mesh_names[EFFECT_MESH_TABLE_SIZE][IMAGE_NAME_SIZE];
Model* g_effect_meshes[EFFECT_MESH_TABLE_SIZE];

void hud_name_item_icons(bool back_buffer_32bit)
{
    const char* prefix = back_buffer_32bit ? "z_" : "";
    char icon[sizeof InvInfo::icon_name + 1];
    for (int item = 0; item < IMAGE_TABLE_ITEM_ICON_COUNT; ++item) {
        sys_copy_string(icon, scn_data_item(item).icon_name, sizeof icon);
        set_icon(IMAGE_TABLE_ITEM_ICON_FIRST + item, prefix, icon);
    }
    for (int k = 0; k < static_cast<int>(std::size(k_currency_icons)); ++k)
        set_icon(IMAGE_TABLE_DUSCA_ICON + k, prefix, k_currency_icons[k]);
}

void hud_load_textures()
{
    set_debris_names();
    for (int entry : k_soft_alpha_effects)
        g_texture_names[entry].format = D3DFMT_A4R4G4B4;
    for (int i = 0; i < IMAGE_TABLE_SIZE; ++i) {
        const ImageName& entry = g_texture_names[i];
        if (entry.name[0] == '\0') continue;
        g_texture_handles[i] =
            tex_load_by_name(entry.name, 0, static_cast<D3DFORMAT>(entry.format), 0, nullptr);
    }
}

void hud_release_textures()
{
    for (IDirect3DTexture8*& texture : g_texture_handles) {
        ResrcMgr::Release(RESRC_POOL_TEXTURE, texture);
        texture = nullptr;
    }
}

void eft_load_meshes()
{
    for (int k = 0; k < EFFECT_MESH_TABLE_SIZE; ++k) {
        char* name = g_effect_mesh_names[k];
        if (name[0] == '\0') continue;
        // A plain record: a cached one would go at the first scene change, as only this table
        // holds it.
        const ResourceHandle handle = ResrcMgr::Load(name, ResrcLoadParams{}, RESRC_POOL_MODEL, 0);
        const ResourceRecord* record = ResrcMgr::Get(handle);
        g_effect_meshes[k] = record ? static_cast<Model*>(record->object) : nullptr;
        if (!g_effect_meshes[k]) name[0] = '\0';
    }
    for (int k : k_flagged_effect_meshes)
        if (g_effect_meshes[k]) model_set_material_flag(*g_effect_meshes[k]);
}

void eft_release_meshes()
{
    for (Model*& model : g_effect_meshes) {
        ResrcMgr::Release(RESRC_POOL_MODEL, model);
        model = nullptr;
    }
}
