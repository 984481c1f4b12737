#include "lib/skin_layout.h"

#include "lib/le_bytes.h"

void skin_put_base_vertex(std::vector<std::uint8_t>& out, const SkinBaseVertex& vertex, std::uint32_t weights)
{
    for (std::uint32_t i = 0; i + 1 < weights; ++i)
        le_put_f32(out, vertex.weights[i]);
    le_put_u32(out, vertex.diffuse);
    le_put_u32(out, vertex.specular);
    for (float value : vertex.uv)
        le_put_f32(out, value);
}

void skin_put_blend_vertex(std::vector<std::uint8_t>& out, const SkinBlendVertex& vertex)
{
    auto put3 = [&out](float x, float y, float z) {
        le_put_f32(out, x);
        le_put_f32(out, y);
        le_put_f32(out, z);
    };
    put3(vertex.position[0], vertex.position[1], vertex.position[2]);
    put3(vertex.normal[0], vertex.normal[1], vertex.normal[2]);
    auto offset = [&vertex](int bone) { return float(vertex.palette_slots[bone] * SKIN_REGISTERS_PER_BONE); };
    put3(offset(0), offset(1), offset(2));
    put3(offset(3), 0, 0);
    put3(vertex.tangent[0], vertex.tangent[1], vertex.tangent[2]);
}
