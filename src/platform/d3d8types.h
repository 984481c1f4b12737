// The Direct3D record that other interfaces of the platform share: DirectSound's 3-D positions,
// velocities and orientations are D3DVECTORs.
#pragma once

struct D3DVECTOR {
    float x, y, z;
};
