#include "gl_device_fixture.h"

#include "platform/impl/d3d8_gl.h"

#include "lib/vso_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

namespace {

constexpr UINT k_size = GlDeviceTest::k_size;
constexpr DWORD k_fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct Vertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse;
    float u, v;
};

// The shared device with a dynamic buffer of pre-transformed, textured vertices on stream 0.
class D3D8GlTest : public GlDeviceTest {
protected:
    void SetUp() override
    {
        GlDeviceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_EQ(m_device->CreateVertexBuffer(64 * sizeof(Vertex), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                               k_fvf, D3DPOOL_DEFAULT, &m_vertices),
                  D3D_OK);
        m_device->SetStreamSource(0, m_vertices, sizeof(Vertex));
        m_device->SetVertexShader(k_fvf);
    }

    void TearDown() override
    {
        if (m_device) m_device->SetStreamSource(0, nullptr, 0);
        if (m_vertices) m_vertices->Release();
        GlDeviceTest::TearDown();
    }

    void draw(D3DPRIMITIVETYPE type, const std::vector<Vertex>& vertices, UINT primitives)
    {
        BYTE* data = nullptr;
        ASSERT_EQ(m_vertices->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
        std::memcpy(data, vertices.data(), vertices.size() * sizeof(Vertex));
        m_vertices->Unlock();
        ASSERT_EQ(m_device->BeginScene(), D3D_OK);
        ASSERT_EQ(m_device->DrawPrimitive(type, 0, primitives), D3D_OK);
        ASSERT_EQ(m_device->EndScene(), D3D_OK);
    }

    // A screen rectangle as a strip, the texture's whole extent across it.
    void quad(float left, float top, float right, float bottom, D3DCOLOR color, float z = 0.5f)
    {
        draw(D3DPT_TRIANGLESTRIP,
             {{left, top, z, 1, color, 0, 0},
              {right, top, z, 1, color, 1, 0},
              {left, bottom, z, 1, color, 0, 1},
              {right, bottom, z, 1, color, 1, 1}},
             2);
    }

    void clear(D3DCOLOR color)
    {
        ASSERT_EQ(m_device->Clear(0, nullptr, D3DCLEAR_TARGET, color, 1.0f, 0), D3D_OK);
    }

    IDirect3DTexture8* texture(D3DFORMAT format, UINT width, UINT height, const std::vector<BYTE>& bytes)
    {
        IDirect3DTexture8* made = nullptr;
        EXPECT_EQ(m_device->CreateTexture(width, height, 1, 0, format, D3DPOOL_MANAGED, &made), D3D_OK);
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(made->LockRect(0, &locked, nullptr, 0), D3D_OK);
        UINT rows = d3d8_format_is_compressed(format) ? 1 : height;
        UINT row_bytes = UINT(bytes.size()) / rows;
        for (UINT y = 0; y < rows; ++y)
            std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, &bytes[y * row_bytes],
                        row_bytes);
        made->UnlockRect(0);
        return made;
    }

    IDirect3DVertexBuffer8* m_vertices = nullptr;
};

DWORD at(const std::vector<DWORD>& image, UINT x, UINT y)
{
    return image[y * k_size + x];
}

} // namespace

TEST_F(D3D8GlTest, ClearFillsTheViewportAndTheRectanglesWithinIt)
{
    clear(0xFFFF0000);
    D3DVIEWPORT8 viewport{16, 8, 32, 16, 0.0f, 1.0f};
    ASSERT_EQ(m_device->SetViewport(&viewport), D3D_OK);
    clear(0xFF00FF00);
    D3DRECT rect{0, 0, 20, 12}; // clipped to the viewport: 16..19 x 8..11
    ASSERT_EQ(m_device->Clear(1, &rect, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0), D3D_OK);
    std::vector<DWORD> image = pixels();
    EXPECT_TRUE(near_color(at(image, 0, 0), 0xFFFF0000, 0));
    EXPECT_TRUE(near_color(at(image, 15, 8), 0xFFFF0000, 0));
    EXPECT_TRUE(near_color(at(image, 16, 8), 0xFF0000FF, 0));
    EXPECT_TRUE(near_color(at(image, 19, 11), 0xFF0000FF, 0));
    EXPECT_TRUE(near_color(at(image, 20, 11), 0xFF00FF00, 0));
    EXPECT_TRUE(near_color(at(image, 47, 23), 0xFF00FF00, 0));
    EXPECT_TRUE(near_color(at(image, 48, 23), 0xFFFF0000, 0));
    EXPECT_TRUE(near_color(at(image, 47, 24), 0xFFFF0000, 0));
}

TEST_F(D3D8GlTest, PreTransformedQuadCoversThePixelCentresInsideIt)
{
    clear(0xFF000000);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    // Centres lie on integers: x 8.5..10.5 holds the centres 9 and 10, y 3..5 the rows 3 and 4.
    quad(8.5f, 3.0f, 10.5f, 5.0f, 0xFFFFFFFF);
    std::vector<DWORD> image = pixels();
    for (UINT x = 7; x <= 11; ++x)
        for (UINT y = 2; y <= 5; ++y) {
            bool inside = x >= 9 && x <= 10 && y >= 3 && y <= 4;
            EXPECT_TRUE(near_color(at(image, x, y), inside ? 0xFFFFFFFF : 0xFF000000, 0)) << x << "," << y;
        }
}

TEST_F(D3D8GlTest, CullingFollowsTheWindingOnScreen)
{
    clear(0xFF000000);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    // Clockwise as the window shows it (rows run down): kept.
    draw(D3DPT_TRIANGLELIST,
         {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
          {20, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
          {0, 20, 0.5f, 1, 0xFFFFFFFF, 0, 0}},
         1);
    // Counter-clockwise: culled.
    draw(D3DPT_TRIANGLELIST,
         {{40, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
          {40, 20, 0.5f, 1, 0xFFFFFFFF, 0, 0},
          {60, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0}},
         1);
    std::vector<DWORD> image = pixels();
    EXPECT_TRUE(near_color(at(image, 3, 3), 0xFFFFFFFF, 0));
    EXPECT_TRUE(near_color(at(image, 43, 3), 0xFF000000, 0));
}

namespace {

struct FormatCase {
    D3DFORMAT format;
    UINT bytes;
    // Encodes an exactly representable 0xAARRGGBB.
    DWORD (*encode)(DWORD argb);
};

DWORD channel(DWORD argb, int shift, int bits)
{
    return ((argb >> shift) & 0xFF) >> (8 - bits);
}

const FormatCase k_formats[] = {
    {D3DFMT_A8R8G8B8, 4, [](DWORD c) { return c; }},
    {D3DFMT_X8R8G8B8, 4, [](DWORD c) { return c & 0xFFFFFF; }},
    {D3DFMT_R5G6B5, 2,
     [](DWORD c) { return channel(c, 16, 5) << 11 | channel(c, 8, 6) << 5 | channel(c, 0, 5); }},
    {D3DFMT_X1R5G5B5, 2,
     [](DWORD c) { return channel(c, 16, 5) << 10 | channel(c, 8, 5) << 5 | channel(c, 0, 5); }},
    {D3DFMT_A1R5G5B5, 2,
     [](DWORD c) {
         return channel(c, 24, 1) << 15 | channel(c, 16, 5) << 10 | channel(c, 8, 5) << 5 | channel(c, 0, 5);
     }},
    {D3DFMT_A4R4G4B4, 2,
     [](DWORD c) {
         return channel(c, 24, 4) << 12 | channel(c, 16, 4) << 8 | channel(c, 8, 4) << 4 | channel(c, 0, 4);
     }},
};

} // namespace

TEST_F(D3D8GlTest, TexturesOfEachUncompressedFormatSampleTheirTexels)
{
    // Four texels of 2x2, each shown on one pixel: the quad spans pixel edges (-0.5 off the
    // centres) so texel centres fall on pixel centres.
    const DWORD texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    for (const FormatCase& c : k_formats) {
        std::vector<BYTE> bytes;
        for (int row = 0; row < 2; ++row) {
            for (int column = 0; column < 2; ++column) {
                DWORD value = c.encode(texels[row * 2 + column]);
                for (UINT b = 0; b < c.bytes; ++b)
                    bytes.push_back(BYTE(value >> (8 * b)));
            }
            while (bytes.size() % 4) // rows start on 4-byte boundaries
                bytes.push_back(0);
        }
        IDirect3DTexture8* made = texture(c.format, 2, 2, bytes);
        m_device->SetTexture(0, made);
        clear(0xFF000000);
        quad(9.5f, 9.5f, 11.5f, 11.5f, 0xFFFFFFFF);
        std::vector<DWORD> image = pixels();
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(near_color(at(image, 10 + i % 2, 10 + i / 2), texels[i], 0))
                << "format " << c.format << " texel " << i;
        m_device->SetTexture(0, nullptr);
        made->Release();
    }
}

TEST_F(D3D8GlTest, CompressedTexturesDecodeTheirBlocks)
{
    // The texture's alpha blends it over black.
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    m_device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    // One 4x4 block: red as colour 0, blue as colour 1; the top two rows pick 0, the others 1.
    // DXT3 alphas are all 15; DXT5 alphas are its end points, 255 in the top two rows, 0 below.
    std::vector<BYTE> colour_block = {0x00, 0xF8, 0x1F, 0x00, 0x00, 0x00, 0x55, 0x55};
    std::vector<BYTE> dxt3 = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    dxt3.insert(dxt3.end(), colour_block.begin(), colour_block.end());
    std::vector<BYTE> dxt5 = {0xFF, 0x00, 0x00, 0x00, 0x00, 0x49, 0x92, 0x24};
    dxt5.insert(dxt5.end(), colour_block.begin(), colour_block.end());
    const struct {
        D3DFORMAT format;
        std::vector<BYTE> bytes;
        DWORD bottom;
    } cases[] = {{D3DFMT_DXT1, colour_block, 0xFF0000FF},
                 {D3DFMT_DXT3, dxt3, 0xFF0000FF},
                 {D3DFMT_DXT5, dxt5, 0xFF000000}};
    for (const auto& c : cases) {
        IDirect3DTexture8* made = texture(c.format, 4, 4, c.bytes);
        m_device->SetTexture(0, made);
        clear(0xFF000000);
        quad(-0.5f, -0.5f, 3.5f, 3.5f, 0xFFFFFFFF);
        std::vector<DWORD> image = pixels();
        for (UINT y = 0; y < 4; ++y)
            for (UINT x = 0; x < 4; ++x)
                EXPECT_TRUE(near_color(at(image, x, y), y < 2 ? 0xFFFF0000 : c.bottom, 0))
                    << "format " << c.format << " at " << x << "," << y;
        m_device->SetTexture(0, nullptr);
        made->Release();
    }
}

TEST_F(D3D8GlTest, TextureStagesCombineTextureDiffuseAndFactor)
{
    std::vector<BYTE> grey = {0x80, 0x80, 0x80, 0x80}; // one A8R8G8B8 texel, all channels 0x80
    IDirect3DTexture8* made = texture(D3DFMT_A8R8G8B8, 1, 1, grey);
    m_device->SetTexture(0, made);
    m_device->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80204060);
    // Texture 0x80 everywhere, diffuse 0xFFFF8000, factor 0x80204060.
    struct Case {
        DWORD op, arg1, arg2, arg0;
        DWORD expected;
    };
    constexpr DWORD tex = D3DTA_TEXTURE, dif = D3DTA_DIFFUSE, tf = D3DTA_TFACTOR, cur = D3DTA_CURRENT;
    const Case cases[] = {
        {D3DTOP_MODULATE, tex, dif, cur, 0xFF804000},
        {D3DTOP_MODULATE2X, tex, dif, cur, 0xFFFF8000},
        {D3DTOP_MODULATE4X, tex, dif, cur, 0xFFFFFF00},
        {D3DTOP_ADD, tex, tf, cur, 0xFFA0C0E0},
        {D3DTOP_ADDSIGNED, tex, tf, cur, 0xFF214161},
        {D3DTOP_ADDSIGNED2X, tex, tf, cur, 0xFF4181C1},
        {D3DTOP_SUBTRACT, tex, tf, cur, 0xFF604020},
        {D3DTOP_ADDSMOOTH, tex, tf, cur, 0xFF90A0B0},
        {D3DTOP_SELECTARG2, tex, tf | D3DTA_COMPLEMENT, cur, 0xFFDFBF9F},
        {D3DTOP_SELECTARG1, tf | D3DTA_ALPHAREPLICATE, dif, cur, 0xFF808080},
        {D3DTOP_BLENDTEXTUREALPHA, tf, dif, cur, 0xFF8F6030},
        {D3DTOP_BLENDFACTORALPHA, tex, dif, cur, 0xFFBF8040},
        {D3DTOP_BLENDDIFFUSEALPHA, tex, tf, cur, 0xFF808080},
        {D3DTOP_MODULATEALPHA_ADDCOLOR, tf, tex, cur, 0xFF6080A0},
        {D3DTOP_MODULATECOLOR_ADDALPHA, tf, tex, cur, 0xFF90A0B0},
        {D3DTOP_MODULATEINVALPHA_ADDCOLOR, tf, tex, cur, 0xFF6080A0},
        {D3DTOP_MODULATEINVCOLOR_ADDALPHA, tf, tex, cur, 0xFFF0E0D0},
        {D3DTOP_DOTPRODUCT3, tf, dif | D3DTA_COMPLEMENT, cur, 0xFF808080},
        {D3DTOP_MULTIPLYADD, tex, dif, tf, 0xFFA08060},
        {D3DTOP_LERP, tex, dif, tf, 0xFFEF8030},
    };
    for (const Case& c : cases) {
        m_device->SetTextureStageState(0, D3DTSS_COLOROP, c.op);
        m_device->SetTextureStageState(0, D3DTSS_COLORARG1, c.arg1);
        m_device->SetTextureStageState(0, D3DTSS_COLORARG2, c.arg2);
        m_device->SetTextureStageState(0, D3DTSS_COLORARG0, c.arg0);
        clear(0xFF000000);
        quad(0, 0, 8, 8, 0xFFFF8000);
        EXPECT_TRUE(near_color(at(pixels(), 4, 4), c.expected)) << "operation " << c.op;
    }
    m_device->SetTexture(0, nullptr);
    made->Release();
}

TEST_F(D3D8GlTest, AlphaTestAndBlendingUseTheSourceAlpha)
{
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    clear(0xFFFF0000);
    m_device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    m_device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    m_device->SetRenderState(D3DRS_ALPHAREF, 0x90);
    quad(0, 0, 8, 8, 0x8000FF00); // alpha 0x80 fails the test
    m_device->SetRenderState(D3DRS_ALPHAREF, 0x70);
    quad(8, 0, 16, 8, 0x8000FF00); // passes
    m_device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    m_device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    quad(16, 0, 24, 8, 0x8000FF00);
    m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    quad(24, 0, 32, 8, 0x800000FF);
    std::vector<DWORD> image = pixels();
    EXPECT_TRUE(near_color(at(image, 4, 4), 0xFFFF0000, 0));
    EXPECT_TRUE(near_color(at(image, 12, 4), 0xFF00FF00, 0));
    EXPECT_TRUE(near_color(at(image, 20, 4), 0xFF7F8000, 2));
    EXPECT_TRUE(near_color(at(image, 28, 4), 0xFFFF00FF, 0));
}

TEST_F(D3D8GlTest, DepthTestKeepsTheNearerSurface)
{
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    ASSERT_EQ(m_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000,
                              0.5f, 0),
              D3D_OK);
    m_device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    quad(0, 0, 8, 8, 0xFFFF0000, 0.7f);  // behind the cleared depth
    quad(8, 0, 16, 8, 0xFF00FF00, 0.3f); // in front, and now the depth there
    quad(8, 0, 16, 8, 0xFF0000FF, 0.4f); // behind the green one
    m_device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    quad(16, 0, 24, 8, 0xFFFFFFFF, 0.2f);
    m_device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    quad(16, 0, 24, 8, 0xFF00FFFF, 0.4f); // the white quad left the depth at 0.5
    std::vector<DWORD> image = pixels();
    EXPECT_TRUE(near_color(at(image, 4, 4), 0xFF000000, 0));
    EXPECT_TRUE(near_color(at(image, 12, 4), 0xFF00FF00, 0));
    EXPECT_TRUE(near_color(at(image, 20, 4), 0xFF00FFFF, 0));
}

TEST_F(D3D8GlTest, PresentShowsTheFrameThatGetFrontBufferReads)
{
    clear(0xFF336699);
    ASSERT_EQ(m_device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    clear(0xFF000000); // the next frame does not touch the shown one
    std::vector<DWORD> shown = front_buffer_client_pixels(*m_device, m_window, 8, 8);
    EXPECT_TRUE(near_color(shown[5 * 8 + 5], 0xFF336699, 0));
}

TEST_F(D3D8GlTest, TranslatedVertexShaderMatchesTheSameTransformOnTheCpu)
{
    // m4x4 oPos, v0, c4; a0.x from c0.x picks c[a0.x + 8] = c10 to modulate the vertex colour.
    std::vector<std::uint32_t> code = vso_program({
        vso_instruction(VSO_OP_M4X4, {vso_dst(VsoRegister::RasterOut, 0), vso_src(VsoRegister::Input, 0),
                                      vso_src(VsoRegister::Const, 4)}),
        vso_instruction(VSO_OP_MOV, {vso_dst(VsoRegister::Address, 0, 0x1), vso_src(VsoRegister::Const, 0)}),
        vso_instruction(VSO_OP_MUL, {vso_dst(VsoRegister::ColorOut, 0),
                                     vso_src(VsoRegister::Const, 8, VSO_SWIZZLE_XYZW, false, true),
                                     vso_src(VsoRegister::Input, 1)}),
    });
    const DWORD declaration[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3),
                                 D3DVSD_REG(1, D3DVSDT_D3DCOLOR), D3DVSD_END()};
    DWORD handle = 0;
    ASSERT_EQ(
        m_device->CreateVertexShader(declaration, reinterpret_cast<const DWORD*>(code.data()), &handle, 0),
        D3D_OK);
    const float matrix[4][4] = {{0.5f, 0, 0, 0.25f}, {0, 0.5f, 0, -0.25f}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    const float selector[4] = {2.0f, 0, 0, 0};
    const float tint[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    m_device->SetVertexShaderConstant(4, matrix, 4);
    m_device->SetVertexShaderConstant(0, selector, 1);
    m_device->SetVertexShaderConstant(10, tint, 1);

    struct Point {
        float x, y, z;
        D3DCOLOR color;
    };
    const Point corners[4] = {{-1, 1, 0.5f, 0xFF00FFFF},
                              {1, 1, 0.5f, 0xFF00FFFF},
                              {-1, -1, 0.5f, 0xFF00FFFF},
                              {1, -1, 0.5f, 0xFF00FFFF}};
    IDirect3DVertexBuffer8* buffer = gl_test_vertex_buffer(*m_device, corners, sizeof corners);
    ASSERT_NE(buffer, nullptr);
    m_device->SetStreamSource(0, buffer, sizeof(Point));
    m_device->SetVertexShader(handle);
    clear(0xFF000000);
    ASSERT_EQ(m_device->BeginScene(), D3D_OK);
    ASSERT_EQ(m_device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    ASSERT_EQ(m_device->EndScene(), D3D_OK);

    // The same transform on the CPU gives the covered rectangle in pixels.
    auto screen = [&](const Point& p, int axis) {
        float clip = matrix[axis][0] * p.x + matrix[axis][1] * p.y + matrix[axis][2] * p.z + matrix[axis][3];
        return axis == 0 ? (clip + 1) / 2 * k_size : (1 - clip) / 2 * k_size;
    };
    UINT left = UINT(screen(corners[0], 0)), right = UINT(screen(corners[3], 0));
    UINT top = UINT(screen(corners[0], 1)), bottom = UINT(screen(corners[3], 1));
    ASSERT_EQ(left, 24u);
    ASSERT_EQ(bottom, 56u);
    std::vector<DWORD> image = pixels();
    const DWORD expected = 0xFF0080BF; // (0, 1, 1) from the vertex times c10
    for (UINT x : {left - 1, left, right - 1, right})
        for (UINT y : {top - 1, top, bottom - 1, bottom}) {
            bool inside = x >= left && x < right && y >= top && y < bottom;
            EXPECT_TRUE(near_color(at(image, x, y), inside ? expected : 0xFF000000, 2)) << x << "," << y;
        }
    m_device->SetStreamSource(0, m_vertices, sizeof(Vertex));
    m_device->SetVertexShader(k_fvf);
    buffer->Release();
    EXPECT_EQ(m_device->DeleteVertexShader(handle), D3D_OK);
}

TEST_F(D3D8GlTest, RenderTargetTextureIsSampledByASecondPass)
{
    IDirect3DTexture8* target = nullptr;
    ASSERT_EQ(
        m_device->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target),
        D3D_OK);
    IDirect3DSurface8* surface = nullptr;
    ASSERT_EQ(target->GetSurfaceLevel(0, &surface), D3D_OK);
    IDirect3DSurface8* back = nullptr;
    ASSERT_EQ(m_device->GetRenderTarget(&back), D3D_OK);
    IDirect3DSurface8* depth = nullptr;
    ASSERT_EQ(m_device->GetDepthStencilSurface(&depth), D3D_OK);

    // First pass: the top half of the texture green, the bottom half blue.
    ASSERT_EQ(m_device->SetRenderTarget(surface, nullptr), D3D_OK);
    clear(0xFF0000FF);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    quad(0, 0, 4, 2, 0xFF00FF00);
    // Second pass samples it upright onto the back buffer.
    ASSERT_EQ(m_device->SetRenderTarget(back, depth), D3D_OK);
    clear(0xFF000000);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_device->SetTexture(0, target);
    quad(-0.5f, -0.5f, 3.5f, 3.5f, 0xFFFFFFFF);
    std::vector<DWORD> image = pixels();
    EXPECT_TRUE(near_color(at(image, 1, 0), 0xFF00FF00, 0));
    EXPECT_TRUE(near_color(at(image, 1, 1), 0xFF00FF00, 0));
    EXPECT_TRUE(near_color(at(image, 1, 2), 0xFF0000FF, 0));
    EXPECT_TRUE(near_color(at(image, 1, 3), 0xFF0000FF, 0));
    m_device->SetTexture(0, nullptr);
    back->Release();
    depth->Release();
    surface->Release();
    target->Release();
}

TEST_F(D3D8GlTest, SpecularAddsAfterTheStagesAndFogComesFromTheSpecularAlpha)
{
    struct Lit {
        float x, y, z, rhw;
        D3DCOLOR diffuse, specular;
    };
    constexpr DWORD fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR;
    auto strip = [](float left, float right, D3DCOLOR diffuse, D3DCOLOR specular) {
        return std::vector<Lit>{{left, 0, 0.5f, 1, diffuse, specular},
                                {right, 0, 0.5f, 1, diffuse, specular},
                                {left, 8, 0.5f, 1, diffuse, specular},
                                {right, 8, 0.5f, 1, diffuse, specular}};
    };
    std::vector<Lit> vertices = strip(0, 8, 0xFF400000, 0xFF004000);
    std::vector<Lit> fogged = strip(8, 16, 0xFFFF0000, 0x40000000); // fog factor 0x40: mostly fog
    vertices.insert(vertices.end(), fogged.begin(), fogged.end());
    IDirect3DVertexBuffer8* buffer =
        gl_test_vertex_buffer(*m_device, vertices.data(), UINT(vertices.size() * sizeof(Lit)), fvf);
    ASSERT_NE(buffer, nullptr);
    m_device->SetStreamSource(0, buffer, sizeof(Lit));
    m_device->SetVertexShader(fvf);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    clear(0xFF000000);
    ASSERT_EQ(m_device->BeginScene(), D3D_OK);
    m_device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    ASSERT_EQ(m_device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    m_device->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    m_device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    m_device->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FF);
    ASSERT_EQ(m_device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4, 2), D3D_OK);
    ASSERT_EQ(m_device->EndScene(), D3D_OK);
    std::vector<DWORD> image = pixels();
    EXPECT_TRUE(near_color(at(image, 4, 4), 0xFF404000, 1));
    EXPECT_TRUE(near_color(at(image, 12, 4), 0xFF4000BF, 2));
    m_device->SetStreamSource(0, m_vertices, sizeof(Vertex));
    m_device->SetVertexShader(k_fvf);
    buffer->Release();
}

TEST_F(D3D8GlTest, TheWindowShowsTheFrameThroughTheGammaRampOnlyInFullScreen)
{
    D3DGAMMARAMP ramp{};
    for (int i = 0; i < 256; ++i) {
        ramp.red[i] = WORD(i * 0x101);
        ramp.green[i] = WORD((255 - i) * 0x101); // green inverted
        ramp.blue[i] = WORD((i / 2) * 0x101);    // blue halved
    }
    m_device->SetGammaRamp(D3DSGR_NO_CALIBRATION, &ramp);
    clear(0xFF20C080);
    ASSERT_EQ(m_device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    std::optional<DWORD> shown = d3d8_gl_seam_window_pixel(*m_device, 5, 5);
    ASSERT_TRUE(shown.has_value());
    EXPECT_TRUE(near_color(*shown, 0xFF20C080, 0)) << "a window shows the frame as it is";

    D3DPRESENT_PARAMETERS full = windowed_present_params(640, 480);
    full.Windowed = FALSE;
    full.hDeviceWindow = m_window;
    full.AutoDepthStencilFormat = D3DFMT_D24S8;
    full.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    full.FullScreen_RefreshRateInHz = 60;
    full.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    m_device->SetStreamSource(0, nullptr, 0);
    m_vertices->Release();
    m_vertices = nullptr;
    ASSERT_EQ(m_device->Reset(&full), D3D_OK);
    m_device->SetGammaRamp(D3DSGR_NO_CALIBRATION, &ramp);
    ASSERT_EQ(m_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF20C080, 1.0f, 0), D3D_OK);
    ASSERT_EQ(m_device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    shown = d3d8_gl_seam_window_pixel(*m_device, 5, 5);
    ASSERT_TRUE(shown.has_value());
    EXPECT_TRUE(near_color(*shown, 0xFF203F40, 1));
    std::vector<DWORD> image = pixels();
    EXPECT_TRUE(near_color(at(image, 5, 5), 0xFF20C080, 0)) << "read-back comes before the ramp";
}

TEST_F(D3D8GlTest, BumpEnvironmentMapOffsetsTheNextStagesCoordinates)
{
    // du = 0.5 (64 of 127), dv = 0: through the identity matrix the next stage reads half a
    // texture further right, where the second texel is green.
    IDirect3DTexture8* bump = texture(D3DFMT_V8U8, 1, 1, {64, 0, 0, 0});
    IDirect3DTexture8* image = texture(D3DFMT_A8R8G8B8, 2, 1, {0, 0, 0xFF, 0xFF, 0, 0xFF, 0, 0xFF});
    const float one = 1.0f;
    DWORD one_bits = 0;
    std::memcpy(&one_bits, &one, sizeof one);
    m_device->SetTexture(0, bump);
    m_device->SetTexture(1, image);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP);
    m_device->SetTextureStageState(0, D3DTSS_BUMPENVMAT00, one_bits);
    m_device->SetTextureStageState(0, D3DTSS_BUMPENVMAT11, one_bits);
    m_device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    m_device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    m_device->SetTextureStageState(1, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    clear(0xFF000000);
    quad(0, 0, 8, 8, 0xFFFFFFFF);
    EXPECT_TRUE(near_color(at(pixels(), 1, 4), 0xFF00FF00, 0));
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    quad(0, 0, 8, 8, 0xFFFFFFFF);
    EXPECT_TRUE(near_color(at(pixels(), 1, 4), 0xFFFF0000, 0))
        << "without the bump stage the first texel shows";
    m_device->SetTexture(1, nullptr);
    m_device->SetTexture(0, nullptr);
    image->Release();
    bump->Release();
}

TEST_F(D3D8GlTest, MultisampledBackBufferSmoothsEdgesWhileTheStateAsks)
{
    D3DPRESENT_PARAMETERS params = windowed_present_params(k_size, k_size);
    params.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    params.hDeviceWindow = m_window;
    params.EnableAutoDepthStencil = FALSE; // the triangle is drawn without a depth test
    m_device->SetStreamSource(0, nullptr, 0);
    m_vertices->Release();
    m_vertices = nullptr;
    ASSERT_EQ(m_device->Reset(&params), D3D_OK);
    ASSERT_EQ(m_device->CreateVertexBuffer(64 * sizeof(Vertex), D3DUSAGE_WRITEONLY, k_fvf, D3DPOOL_MANAGED,
                                           &m_vertices),
              D3D_OK);
    m_device->SetStreamSource(0, m_vertices, sizeof(Vertex));
    m_device->SetVertexShader(k_fvf);
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    m_device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);

    // A white triangle whose long edge crosses pixels at a slant; the front buffer holds the
    // resolved frame.
    auto edge_shades = [&](BOOL antialias) {
        m_device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, antialias);
        clear(0xFF000000);
        draw(D3DPT_TRIANGLELIST,
             {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
              {40, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
              {0, 13, 0.5f, 1, 0xFFFFFFFF, 0, 0}},
             1);
        EXPECT_EQ(m_device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        int partial = 0, white = 0;
        for (DWORD pixel : front_buffer_client_pixels(*m_device, m_window, 48, 16)) {
            const DWORD green = (pixel >> 8) & 0xFF;
            if (green == 0xFF) ++white;
            if (green != 0 && green != 0xFF) ++partial;
        }
        EXPECT_GT(white, 200) << "the triangle is drawn";
        return partial;
    };
    EXPECT_GT(edge_shades(TRUE), 10);
    EXPECT_EQ(edge_shades(FALSE), 0);
}

TEST_F(D3D8GlTest, StagesChainThroughTheTempRegisterAndComputeAlphaApart)
{
    // A lockable A8R8G8B8 target keeps the alpha the stages make.
    IDirect3DSurface8* target = nullptr;
    ASSERT_EQ(m_device->CreateRenderTarget(16, 16, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, TRUE, &target),
              D3D_OK);
    IDirect3DSurface8* back = nullptr;
    ASSERT_EQ(m_device->GetRenderTarget(&back), D3D_OK);
    ASSERT_EQ(m_device->SetRenderTarget(target, nullptr), D3D_OK);
    IDirect3DTexture8* grey = texture(D3DFMT_A8R8G8B8, 1, 1, {0x80, 0x80, 0x80, 0x80});
    m_device->SetTexture(1, grey);
    m_device->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80204060);
    // Stage 0 puts the diffuse colour in temp; stage 1 adds the factor to it and multiplies the
    // alphas of its texture and the factor.
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    m_device->SetTextureStageState(0, D3DTSS_RESULTARG, D3DTA_TEMP);
    m_device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    m_device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEMP);
    m_device->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_TFACTOR);
    m_device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    m_device->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    m_device->SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
    m_device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    clear(0x00000000);
    quad(0, 0, 8, 8, 0xFFFF8000);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(target->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    DWORD pixel = 0;
    std::memcpy(&pixel, static_cast<BYTE*>(locked.pBits) + 4 * locked.Pitch + 4 * 4, 4);
    target->UnlockRect();
    EXPECT_TRUE(near_color(pixel, 0x40FFC060, 2));
    ASSERT_EQ(m_device->SetRenderTarget(back, nullptr), D3D_OK);
    m_device->SetTexture(1, nullptr);
    grey->Release();
    back->Release();
    target->Release();
}

TEST_F(D3D8GlTest, AddressModesRepeatMirrorClampOrShowTheBorder)
{
    IDirect3DTexture8* image =
        texture(D3DFMT_A8R8G8B8, 2, 1, {0, 0, 0xFF, 0xFF, 0, 0xFF, 0, 0xFF}); // red, green
    m_device->SetTexture(0, image);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_device->SetTextureStageState(0, D3DTSS_BORDERCOLOR, 0xFF0000FF);
    struct Case {
        DWORD mode;
        DWORD left, right; // pixels 4 and 7, where u runs past 1
    };
    const Case cases[] = {
        {D3DTADDRESS_WRAP, 0xFFFF0000, 0xFF00FF00},
        {D3DTADDRESS_CLAMP, 0xFF00FF00, 0xFF00FF00},
        {D3DTADDRESS_MIRROR, 0xFF00FF00, 0xFFFF0000},
        {D3DTADDRESS_BORDER, 0xFF0000FF, 0xFF0000FF},
    };
    for (const Case& c : cases) {
        m_device->SetTextureStageState(0, D3DTSS_ADDRESSU, c.mode);
        clear(0xFF000000);
        // u from 0 to 2 over eight pixels: pixel i samples u = (i + 0.5) / 4.
        draw(D3DPT_TRIANGLESTRIP,
             {{-0.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0},
              {7.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF, 2, 0},
              {-0.5f, 3.5f, 0.5f, 1, 0xFFFFFFFF, 0, 1},
              {7.5f, 3.5f, 0.5f, 1, 0xFFFFFFFF, 2, 1}},
             2);
        std::vector<DWORD> image_pixels = pixels();
        EXPECT_TRUE(near_color(at(image_pixels, 1, 1), 0xFFFF0000, 0)) << "mode " << c.mode;
        EXPECT_TRUE(near_color(at(image_pixels, 4, 1), c.left, 0)) << "mode " << c.mode;
        EXPECT_TRUE(near_color(at(image_pixels, 7, 1), c.right, 0)) << "mode " << c.mode;
    }
    m_device->SetTexture(0, nullptr);
    image->Release();
}

// Presentation, a read of the window and a texture's deletion change the context behind the
// device's states; a draw after each with the same device state must still blend, sample and
// land as the first did. The frame is read back once, at the end, since a read-back resets what
// the backend knows of the context.
TEST_F(D3D8GlTest, ADrawKeepsItsStateAcrossPresentReadBackAndDeletion)
{
    IDirect3DTexture8* image = texture(D3DFMT_A8R8G8B8, 1, 1, {0xFF, 0, 0, 0xFF}); // blue
    m_device->SetTexture(0, image);
    m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    m_device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    m_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    m_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    clear(0xFFFF0000);
    quad(0, 0, 8, 8, 0xFFFFFFFF);
    ASSERT_EQ(m_device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    quad(8, 0, 16, 8, 0xFFFFFFFF);
    EXPECT_TRUE(d3d8_gl_seam_window_pixel(*m_device, 1, 1).has_value());
    quad(16, 0, 24, 8, 0xFFFFFFFF);
    IDirect3DTexture8* other = texture(D3DFMT_A8R8G8B8, 1, 1, {0, 0xFF, 0, 0xFF}); // green, then gone
    other->Release();
    quad(24, 0, 32, 8, 0xFFFFFFFF);
    const std::vector<DWORD> image_pixels = pixels();
    for (UINT x : {4u, 12u, 20u, 28u})
        EXPECT_TRUE(near_color(at(image_pixels, x, 4), 0xFFFF00FF, 0)) << "blue added over red at " << x;
    EXPECT_TRUE(near_color(at(image_pixels, 36, 4), 0xFFFF0000, 0));
    m_device->SetTexture(0, nullptr);
    image->Release();
}
