#include "gl_device_fixture.h"

#include "lib/vs_assembler.h"
#include "lib/vso_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Tokens = std::vector<std::uint32_t>;
constexpr auto R = VsoRegister::Temp;
constexpr auto V = VsoRegister::Input;
constexpr auto C = VsoRegister::Const;

TEST(VsAssembler, EncodesRegistersMasksSwizzlesNegationAndRelativeConstants)
{
    struct Case {
        const char* text;
        Tokens tokens; // between the version and the end token
    };
    const Case cases[] = {
        {"m4x4 oPos, v0, c24",
         vso_instruction(VSO_OP_M4X4, {vso_dst(VsoRegister::RasterOut, 0), vso_src(V, 0), vso_src(C, 24)})},
        {"mov oFog.x, -r3.w",
         vso_instruction(VSO_OP_MOV, {vso_dst(VsoRegister::RasterOut, 1, 0x1), vso_src(R, 3, 0xFF, true)})},
        {"MOV oPts, c1", vso_instruction(VSO_OP_MOV, {vso_dst(VsoRegister::RasterOut, 2), vso_src(C, 1)})},
        {"mad oD1.xw, v2.zxyw, c[a0.x + 24].y, r11",
         vso_instruction(VSO_OP_MAD, {vso_dst(VsoRegister::ColorOut, 1, 0x9), vso_src(V, 2, 0xD2),
                                      vso_src(C, 24, 0x55, false, true), vso_src(R, 11)})},
        {"mul oT7.xy, c[ 5 + a0.x ], c[a0.x]",
         vso_instruction(VSO_OP_MUL, {vso_dst(VsoRegister::TexCoordOut, 7, 0x3),
                                      vso_src(C, 5, 0xE4, false, true), vso_src(C, 0, 0xE4, false, true)})},
        {"mov a0.x, v6.y",
         vso_instruction(VSO_OP_MOV, {vso_dst(VsoRegister::Address, 0, 0x1), vso_src(V, 6, 0x55)})},
        {"dp3 r0.xy, v1.xy, c[95]", // a short swizzle repeats its last lane
         vso_instruction(8, {vso_dst(R, 0, 0x3), vso_src(V, 1, 0x54), vso_src(C, 95)})},
        {"expp r1, c0.rgba ; a comment", vso_instruction(78, {vso_dst(R, 1), vso_src(C, 0)})},
        {"nop // nothing", {0}},
    };
    for (const Case& c : cases) {
        VsAssembly assembly = vsasm_assemble(std::string("vs.1.1\n") + c.text + "\n");
        ASSERT_TRUE(assembly.ok()) << c.text << ": " << assembly.error;
        Tokens expected{VSO_VERSION_11};
        expected.insert(expected.end(), c.tokens.begin(), c.tokens.end());
        expected.push_back(VSO_END);
        EXPECT_EQ(assembly.tokens, expected) << c.text;
    }
    EXPECT_EQ(vsasm_assemble("; header\n\n  VS.1.0  \r\n").tokens, (Tokens{VSO_VERSION_11 - 1, VSO_END}));
}

TEST(VsAssembler, ReportsTheLineOfEachMistake)
{
    const std::pair<const char*, const char*> cases[] = {
        {"mov r0, v0", "line 1: expected vs.1.0 or vs.1.1"},
        {"", "line 1: no version statement"},
        {"vs.1.1\n\nfoo r0, v0", "line 3: unknown instruction \"foo\""},
        {"vs.1.1\nmov r0, v0, v1", "line 2: \"mov\" takes 2 operands"},
        {"vs.1.1\nmov r12, v0", "line 2: register out of range \"r12\""},
        {"vs.1.1\nmov r0, v16", "line 2: register out of range \"v16\""},
        {"vs.1.1\nmov r0, c96", "line 2: register out of range \"c96\""},
        {"vs.1.1\nmov oD2, v0", "line 2: register out of range \"oD2\""},
        {"vs.1.1\nmov r0.yx, v0", "line 2: bad write mask in \"r0.yx\""},
        {"vs.1.1\nmov r0, v0.xyzwx", "line 2: bad swizzle in \"v0.xyzwx\""},
        {"vs.1.1\nmov r0, v[a0.x]", "line 2: bad register \"v[a0.x]\""},
        {"vs.1.1\nmov r0, c[a0.x - 2]", "line 2: bad relative address in \"c[a0.x - 2]\""},
        {"vs.1.1\nmov v0, r0", "line 2: read-only destination \"v0\""},
        {"vs.1.1\nmov -r0, r1", "line 2: bad destination \"-r0\""},
        {"vs.1.1\nmov r0, oPos", "line 2: not a source register \"oPos\""},
        {"vs.1.1\nadd a0.x, r0, r1", "line 2: only mov writes a0"},
        {"vs.1.1\nmov r0, q1", "line 2: unknown register \"q1\""},
    };
    for (const auto& [text, error] : cases) {
        VsAssembly assembly = vsasm_assemble(text);
        EXPECT_EQ(assembly.error, error) << text;
        EXPECT_TRUE(assembly.tokens.empty()) << text;
    }
    EXPECT_THROW(vsasm_assemble_or_throw("vs.1.1\nmov r0"), std::logic_error);
}

constexpr UINT k_size = GlDeviceTest::k_size;

// The shared device with stage 0 showing the diffuse colour as the vertex shader writes it.
class VsAssemblerGlTest : public GlDeviceTest {
protected:
    void SetUp() override
    {
        GlDeviceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    }

    DWORD create_shader(const DWORD* declaration, const Tokens& code)
    {
        DWORD handle = 0;
        EXPECT_EQ(m_device->CreateVertexShader(declaration, reinterpret_cast<const DWORD*>(code.data()),
                                               &handle, 0, code.size() * 4),
                  D3D_OK);
        return handle;
    }
};

TEST_F(VsAssemblerGlTest, EveryInstructionAssemblesToAProgramTheDeviceAccepts)
{
    const DWORD declaration[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END()};
    Tokens code = vsasm_assemble_or_throw(R"(vs.1.1
        mov r0, v0
        add r1, r0, c1
        sub r1, r1, -c2.x
        mad r2, r0, c3, r1
        mul r2, r2, c4.yzxw
        rcp r3.x, r2.x
        rsq r3.y, r2.y
        dp3 r4.x, r0, c5
        dp4 r4.y, r0, c6
        min r5, r0, r1
        max r5, r5, r2
        slt r6, r0, r1
        sge r6, r6, r2
        exp r7, r0.x
        log r7, r0.y
        expp r8, r0.z
        logp r8, r0.w
        lit r9, r8
        dst r9, r8, r7
        frc r10.xy, r9
        mov a0.x, c0.x
        m4x3 r11.xyz, r0, c[a0.x + 20]
        m3x4 r11, r0, c8
        m3x3 r11.xyz, r0, c12
        m3x2 r11.xy, r0, c16
        m4x4 oPos, r0, c24
        mov oD0, r11
        mov oD1, r10
        mov oT0, r9
        mov oT7.xy, r8
        mov oFog.x, r7.w
        mov oPts.x, r6.w
    )");
    DWORD handle = create_shader(declaration, code);
    EXPECT_NE(handle, 0u);
    if (handle) {
        EXPECT_EQ(m_device->DeleteVertexShader(handle), D3D_OK);
    }
}

TEST_F(VsAssemblerGlTest, AssembledProgramDrawsWhereTheSameTransformOnTheCpuPutsIt)
{
    // A palette pick through a0 from the vertex (as the skinned shaders do), a matrix from it, and
    // the colour modulated by a relatively addressed constant.
    Tokens code = vsasm_assemble_or_throw(R"(vs.1.1
        mov a0.x, v2.x
        m4x4 r0, v0, c[a0.x + 4]   ; c4-c7 or c8-c11 by the vertex
        mov oPos, r0
        mul oD0, v1.zyxw, c[a0.x + 20]
    )");
    const DWORD declaration[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3),
                                 D3DVSD_REG(1, D3DVSDT_D3DCOLOR), D3DVSD_REG(2, D3DVSDT_FLOAT1),
                                 D3DVSD_END()};
    DWORD handle = create_shader(declaration, code);
    ASSERT_NE(handle, 0u);
    const float scale_right[4][4] = {{0.5f, 0, 0, 0.25f}, {0, 0.5f, 0, -0.25f}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    const float tint[4] = {0.5f, 1.0f, 0.25f, 1.0f};
    m_device->SetVertexShaderConstant(8, scale_right, 4);
    m_device->SetVertexShaderConstant(24, tint, 1);

    struct Point {
        float x, y, z;
        D3DCOLOR color; // blue and red swap through the .zyxw swizzle
        float palette;
    };
    const Point corners[4] = {{-1, 1, 0.5f, 0xFFFF8000, 4},
                              {1, 1, 0.5f, 0xFFFF8000, 4},
                              {-1, -1, 0.5f, 0xFFFF8000, 4},
                              {1, -1, 0.5f, 0xFFFF8000, 4.6f}}; // a0 rounds down
    IDirect3DVertexBuffer8* buffer = gl_test_vertex_buffer(*m_device, corners, sizeof corners);
    ASSERT_NE(buffer, nullptr);
    m_device->SetStreamSource(0, buffer, sizeof(Point));
    m_device->SetVertexShader(handle);
    ASSERT_EQ(m_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(m_device->BeginScene(), D3D_OK);
    ASSERT_EQ(m_device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    ASSERT_EQ(m_device->EndScene(), D3D_OK);

    auto screen = [&](const Point& p, int axis) {
        float clip = scale_right[axis][0] * p.x + scale_right[axis][1] * p.y + scale_right[axis][2] * p.z +
                     scale_right[axis][3];
        return axis == 0 ? (clip + 1) / 2 * k_size : (1 - clip) / 2 * k_size;
    };
    int left = int(screen(corners[0], 0)), right = int(screen(corners[3], 0));
    int top = int(screen(corners[0], 1)), bottom = int(screen(corners[3], 1));
    ASSERT_EQ(left, 24);
    ASSERT_EQ(top, 24);
    // (R, G, B) = (1, 0.5, 0) swizzled to (0, 0.5, 1), times the tint.
    const DWORD expected = 0xFF008040;
    std::vector<DWORD> image = pixels();
    for (int x : {left - 1, left, right - 1, right})
        for (int y : {top - 1, top, bottom - 1, bottom}) {
            bool inside = x >= left && x < right && y >= top && y < bottom;
            EXPECT_TRUE(near_color(image[y * k_size + x], inside ? expected : 0xFF000000, 2))
                << x << "," << y;
        }
    m_device->SetStreamSource(0, nullptr, 0);
    buffer->Release();
    EXPECT_EQ(m_device->DeleteVertexShader(handle), D3D_OK);
}

} // namespace
