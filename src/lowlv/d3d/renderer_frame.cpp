#include "lowlv/d3d/renderer_frame.h"

FrameEffects g_frame_effects = {};
const SceneLighting g_scene_lighting_defaults = {
    {D3DXVECTOR4(0.45098039f, 0.47058824f, 0.49019608f, 1.0f),
     D3DXVECTOR4(0.29411766f, 0.33725491f, 0.3137255f, 1.0f)},
    D3DXVECTOR4(0.0f, 1.0f, 0.0f, 0.1f),
    D3DXVECTOR4(1.0f, 1.0f, 1.0f, 1.0f),
    D3DXVECTOR4(-0.193041f, 0.780869f, -0.59412f, 0.0f),
};
SceneLighting g_scene_lighting = g_scene_lighting_defaults;
D3DCOLOR g_fog_colors[2] = {0, 0};
CameraState g_camera_state = {};
float g_camera_heading = 0.0f;
