// A map's sky: stacked scrolling cloud layers, or the six faces of a textured box, always
// centred on the camera's focus point.
#pragma once

#include "object/go_base.h"
#include "platform/d3d8.h"

#include <cstdint>

constexpr int SKYBOX_LAYERS = 6;
constexpr int SKYBOX_NAME_SIZE = 256;

class GoSkyBox : public GoBase {
public:
    GoSkyBox() : GoBase(go_next_object_id(GO_CLASS_SKYBOX), GO_CLASS_SKYBOX) {}

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
};
