// Records the renderer owns and fills, kept here because the state caches and the vertex-shader
// constants below the renderer read them: the frame's effects, the scene lighting, the two fog
// colours and the camera (whose code is the renderer's camera module).
#pragma once

#include "platform/d3d8.h"
#include "platform/d3dx8.h"

#include <cstdint>

constexpr int RENDERER_POINT_LIGHTS = 4;

// A point light exists only in the frame in which the game sets it: the parameters are cleared
// at every frame start, and a slot whose two parameters are both 0 is off.
struct PointLight {
    float params[2]; // the two ranges
    D3DXVECTOR3 position;
    D3DXVECTOR4 color;
};

// Set by the game tick, read by the renderer's passes, the quad shader choice and the constants.
struct FrameEffects {
    bool screen_texture_mode; // draw the frame into the screen texture; cleared after each frame
    bool prepass_request;
    bool prepass_active;       // the request copied at the frame start
    float afterimage_alpha;    // 0 = off
    float zoom_alpha;          // 0 = off
    std::uint32_t zoom_layers; // 0 = off
    float zoom_step;
    D3DXVECTOR2 zoom_centre;
    bool grid_enable; // the fire blur's grid distortion
    float grid_alpha;
    bool grid_drawn;                // set by the renderer after drawing the grid
    bool shadow_lighting;           // the shadow variants of the vertex shaders
    float cover_mode;               // 0 = off; also the third lane of the cover constant
    float cover_scroll[2];          // the cover texture's scroll offsets, advanced by the game tick
    float cover_w;                  // the cover constant's fourth lane
    std::uint32_t cover_quad_bits;  // material bits that replace a quad's stage-1 addressing
    std::uint32_t cover_model_bits; // read by model drawing
    IDirect3DTexture8* cover_texture;
    PointLight point_lights[RENDERER_POINT_LIGHTS];
};

struct SceneLighting {
    D3DXVECTOR4 light_colors[2];
    D3DXVECTOR4 up;
    D3DXVECTOR4 ambient;
    D3DXVECTOR4 light_direction;
};

constexpr int FOG_COLOR_SCENE = 0;
constexpr int FOG_COLOR_ADDITIVE = 1; // black, for additive materials

// Everything that turns world positions into pixels. Matrices are row-major for row vectors;
// the transposed copies are what the vertex-shader constants receive.
struct CameraState {
    D3DXVECTOR3 eye;
    D3DXVECTOR3 target;
    D3DXVECTOR3 up;
    D3DXVECTOR3 up_copy;
    D3DXVECTOR3 direction; // unit vector from the target to the eye
    float distance;
    D3DXMATRIX eye_translation;
    float fov_y;
    float aspect;
    float near_plane;
    float far_plane;
    float limit;
    float second_angle; // set by the camera regions
    float zoom;         // set by the camera regions
    float biased_near;  // the second projection, which lets ground decals win the depth test
    float biased_far;
    D3DVIEWPORT8 viewport;
    D3DXMATRIX view;
    D3DXMATRIX view_t;
    D3DXMATRIX view_inverse;
    D3DXMATRIX proj;
    D3DXMATRIX proj_t;
    D3DXMATRIX view_proj;
    D3DXMATRIX view_proj_t;
    D3DXMATRIX viewport_matrix;
    D3DXMATRIX screen;    // view-projection times the viewport matrix
    D3DXMATRIX billboard; // the inverse view without its translation
    D3DXMATRIX heading_rotation;
    D3DXMATRIX biased_proj;
    D3DXMATRIX biased_proj_t;
    D3DXMATRIX biased_view_proj;
    D3DXMATRIX biased_view_proj_t;
    D3DXVECTOR4 eye_in_view;
    // The four screen-corner ray vectors: the billboard matrix applied to (-0.5, -0.5, 0),
    // (-0.5, 0.5, 0), (0.5, -0.5, 0) and (0.5, 0.5, 0); twelve floats back to back.
    D3DXVECTOR3 corners[4];
    D3DXPLANE frustum[6]; // inside where a x + b y + c z + d >= 0
};

extern FrameEffects g_frame_effects;
extern SceneLighting g_scene_lighting;
extern const SceneLighting g_scene_lighting_defaults; // restored at each scene change
extern D3DCOLOR g_fog_colors[2];                      // FOG_COLOR_SCENE, FOG_COLOR_ADDITIVE
extern CameraState g_camera_state;
extern float g_camera_heading; // radians

// The translation row of a world matrix.
inline D3DXVECTOR3 matrix_position(const D3DXMATRIX& m)
{
    return {m._41, m._42, m._43};
}

inline void matrix_set_position(D3DXMATRIX& m, const D3DXVECTOR3& at)
{
    m._41 = at.x;
    m._42 = at.y;
    m._43 = at.z;
}

// Turns a world matrix to the camera's billboard, keeping its position.
inline void camera_face(D3DXMATRIX& world)
{
    const D3DXVECTOR3 position = matrix_position(world);
    world = g_camera_state.billboard;
    matrix_set_position(world, position);
}
