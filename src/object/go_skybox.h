// A map's sky: stacked scrolling cloud layers, or the six faces of a textured box, always
// centred on the camera's focus point so that it never comes closer.
#pragma once

#include "object/go_base.h"
#include "object/go_script.h"
#include "platform/d3d8.h"

#include <cstdint>
#include <span>

constexpr int SKYBOX_LAYERS = 6;
// The map object's path (259 characters at most) with its extension replaced by ".sbx".
constexpr int SKYBOX_NAME_SIZE = 264;
constexpr std::size_t SKYBOX_FILE_SIZE = 512;
constexpr std::uint32_t SKYBOX_MATERIAL = 0x8441; // the material word of every layer
inline constexpr float SKYBOX_DEFAULT_SPEEDS[SKYBOX_LAYERS] = {0.000075f, 0.000125f, 0.000175f,
                                                               0.000225f, 0.000275f, 0.000325f};

struct MapObjectRecord;

class GoSkyBox : public GoBase {
public:
    GoSkyBox() : GoBase(go_next_object_id(GO_CLASS_SKYBOX), GO_CLASS_SKYBOX) {}

    // The sky file named by the map object's path with ".sbx": two cloud layers at the default
    // speeds and the six textures from the object's folder. A missing file is fatal
    // (0x80FF0009), and so is one shorter than its 512 bytes (0x80FF0006); a texture that
    // cannot be loaded leaves its layer untextured.
    void Load(const MapObjectRecord& record);
    // `count` layers (at most 6) of clouds, or the box faces when `box_flag` is set, scrolling
    // at the six speeds (per tick); the layer corners are rebuilt at the sky's scale.
    void SetLayers(std::uint32_t count, std::uint32_t box_flag, const float* speeds);
    // Scrolls on whole ticks and, on drawn frames, moves to the camera's focus point and draws,
    // in render row 5 while the pre-pass runs. Nothing while game flag 155 hides the sky.
    void Update() override;
    // The layers as textured strips around the sky's position.
    void Draw() const;

    float scale = 0.0f; // half the box's edge, or the size of the layers
    D3DCOLOR diffuse = 0;
    D3DCOLOR specular = 0;
    std::uint32_t layer_count = 0;                   // at most SKYBOX_LAYERS
    std::uint32_t box = 0;                           // 0 cloud layers, else the box
    IDirect3DTexture8* textures[SKYBOX_LAYERS] = {}; // references held through the resource manager
    char name[SKYBOX_NAME_SIZE] = {};                // the sky file's path
    D3DVECTOR layer_vertices[SKYBOX_LAYERS][4] = {};
    float scroll_offsets[SKYBOX_LAYERS] = {};
    float scroll_speeds[SKYBOX_LAYERS] = {}; // per tick

protected:
    // Gives the textures back to the resource manager.
    ~GoSkyBox() override;
};

// Every live sky takes the layer count, the box flag and the six speeds.
void script_sky_layers(std::int32_t box_flag, std::int32_t count, const float* speeds);
// The event-script command of the sky, id 281: the box flag, the count, a word not read, then
// the six speeds.
std::span<const ScriptCommandRow> skybox_script_commands();
