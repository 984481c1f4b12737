// The OpenGL backend of the Direct3D 8 stand-in. Every target is stored with Direct3D's first
// row as OpenGL's row 0, so read-back, render-to-texture and uploads need no flipping; the
// programs mirror y instead, and presenting flips the picture once onto the window.
#include "platform/impl/d3d8_gl.h"
#include "platform/impl/d3d8_gl_api.h"
#include "platform/impl/d3d8_gl_pipeline.h"
#include "platform/impl/d3d8_gl_shadow.h"
#include "platform/impl/d3d8_gl_vs.h"
#include "platform/impl/d3d8_internal.h"
#include "platform/impl/win_window_sdl.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace {

struct GlFormat {
    GLenum internal;
    GLenum format; // 0 for block-compressed formats
    GLenum type;
};

GlFormat gl_format(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_X8R8G8B8:
        return {GL_RGB8, GL_BGRA, GL_UNSIGNED_BYTE};
    case D3DFMT_R8G8B8:
        return {GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE};
    case D3DFMT_R5G6B5:
        return {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5};
    case D3DFMT_X1R5G5B5:
        return {GL_RGB5, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV};
    case D3DFMT_A1R5G5B5:
        return {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV};
    case D3DFMT_A4R4G4B4:
        return {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV};
    case D3DFMT_V8U8:
        return {GL_RG8_SNORM, GL_RG, GL_BYTE};
    case D3DFMT_DXT1:
        return {GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0};
    // Premultiplied colour is the blending's business: DXT2 and DXT4 blocks are DXT3 and DXT5 blocks.
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
        return {GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0};
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
        return {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0};
    default:
        return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE};
    }
}

// The GL names behind one resource (its backend object).
struct GlObject {
    GLuint texture = 0;
    GLuint renderbuffer = 0;
    GLuint buffer = 0;
    bool nested_lock = false; // a buffer was unlocked while still locked: upload it whole
};

GlObject* gl_object(const IDirect3DResource8& resource)
{
    return static_cast<GlObject*>(d3d8_backend_object(resource));
}

GLenum gl_compare(DWORD func)
{
    switch (func) {
    case D3DCMP_NEVER:
        return GL_NEVER;
    case D3DCMP_LESS:
        return GL_LESS;
    case D3DCMP_EQUAL:
        return GL_EQUAL;
    case D3DCMP_LESSEQUAL:
        return GL_LEQUAL;
    case D3DCMP_GREATER:
        return GL_GREATER;
    case D3DCMP_NOTEQUAL:
        return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL:
        return GL_GEQUAL;
    default:
        return GL_ALWAYS;
    }
}

GLenum gl_blend(DWORD blend)
{
    switch (blend) {
    case D3DBLEND_ZERO:
        return GL_ZERO;
    case D3DBLEND_SRCCOLOR:
        return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR:
        return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA:
    case D3DBLEND_BOTHSRCALPHA:
        return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA:
    case D3DBLEND_BOTHINVSRCALPHA:
        return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA:
        return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA:
        return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR:
        return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR:
        return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT:
        return GL_SRC_ALPHA_SATURATE;
    default:
        return GL_ONE;
    }
}

GLenum gl_blend_op(DWORD op)
{
    switch (op) {
    case D3DBLENDOP_SUBTRACT:
        return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT:
        return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN:
        return GL_MIN;
    case D3DBLENDOP_MAX:
        return GL_MAX;
    default:
        return GL_FUNC_ADD;
    }
}

GLenum gl_stencil_op(DWORD op)
{
    switch (op) {
    case D3DSTENCILOP_ZERO:
        return GL_ZERO;
    case D3DSTENCILOP_REPLACE:
        return GL_REPLACE;
    case D3DSTENCILOP_INCRSAT:
        return GL_INCR;
    case D3DSTENCILOP_DECRSAT:
        return GL_DECR;
    case D3DSTENCILOP_INVERT:
        return GL_INVERT;
    case D3DSTENCILOP_INCR:
        return GL_INCR_WRAP;
    case D3DSTENCILOP_DECR:
        return GL_DECR_WRAP;
    default:
        return GL_KEEP;
    }
}

GLenum gl_address(DWORD mode)
{
    switch (mode) {
    case D3DTADDRESS_MIRROR:
        return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP:
        return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER:
        return GL_CLAMP_TO_BORDER;
    case D3DTADDRESS_MIRRORONCE:
        return GL_MIRROR_CLAMP_TO_EDGE;
    default:
        return GL_REPEAT;
    }
}

GLenum gl_min_filter(DWORD min, DWORD mip)
{
    bool linear = min != D3DTEXF_POINT && min != D3DTEXF_NONE;
    if (mip == D3DTEXF_NONE) return linear ? GL_LINEAR : GL_NEAREST;
    if (mip == D3DTEXF_POINT) return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
}

GLenum gl_primitive(D3DPRIMITIVETYPE type)
{
    switch (type) {
    case D3DPT_POINTLIST:
        return GL_POINTS;
    case D3DPT_LINELIST:
        return GL_LINES;
    case D3DPT_LINESTRIP:
        return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP:
        return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN:
        return GL_TRIANGLE_FAN;
    default:
        return GL_TRIANGLES;
    }
}

// Direct3D presents windowed frames at once unless the copy is synchronised; full screen it
// waits for the intervals asked (SDL offers one at most).
int swap_interval(const D3DPRESENT_PARAMETERS& params)
{
    if (params.Windowed) return params.SwapEffect == D3DSWAPEFFECT_COPY_VSYNC ? 1 : 0;
    return params.FullScreen_PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1;
}

GLuint compile(GLenum kind, const std::string& source)
{
    GLuint shader = g_gl.glCreateShader(kind);
    const char* text = source.c_str();
    g_gl.glShaderSource(shader, 1, &text, nullptr);
    g_gl.glCompileShader(shader);
    GLint ok = GL_FALSE;
    g_gl.glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        g_gl.glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "Direct3D backend: shader does not compile: %s\n%s\n", log, source.c_str());
    }
    return shader;
}

struct GlProgram {
    GLuint program = 0; // 0 when it failed to build: its draws are dropped
    GLint viewport = -1;
    GLint half_pixel = -1;
    GLint tfactor = -1;
    GLint alpha_ref = -1;
    GLint bump = -1;
    GLint constants = -1;
    GLint fog_color = -1;
    // What this program's uniforms last received, so unchanged values are not sent again.
    std::optional<std::array<float, 4>> sent_viewport, sent_half_pixel;
    std::optional<D3DCOLOR> sent_tfactor, sent_fog_color;
    std::optional<float> sent_alpha_ref;
    std::optional<std::array<float, 4 * D3D8_GL_STAGES>> sent_bump;
    bool constants_sent = false;
    std::array<float, 4 * D3D_VS_CONSTANT_REGISTERS> sent_constants{};
};

const char k_gamma_vertex[] = R"(#version 330
out vec2 v_uv;
void main()
{
    vec2 p = vec2((gl_VertexID << 1) & 2, gl_VertexID & 2);
    v_uv = vec2(p.x, 1.0 - p.y);
    gl_Position = vec4(p * 2.0 - 1.0, 0.0, 1.0);
}
)";

// Each channel's 8-bit value indexes its ramp.
const char k_gamma_fragment[] = R"(#version 330
uniform sampler2D u_image;
uniform sampler2D u_ramp;
in vec2 v_uv;
out vec4 o_color;
void main()
{
    vec3 index = (floor(texture(u_image, v_uv).rgb * 255.0 + 0.5) + 0.5) / 256.0;
    o_color = vec4(texture(u_ramp, vec2(index.r, 0.5)).r, texture(u_ramp, vec2(index.g, 0.5)).g,
                   texture(u_ramp, vec2(index.b, 0.5)).b, 1.0);
}
)";

GLuint link_sources(const std::string& vertex_source, const std::string& fragment_source)
{
    GLuint vertex = compile(GL_VERTEX_SHADER, vertex_source);
    GLuint fragment = compile(GL_FRAGMENT_SHADER, fragment_source);
    GLuint program = g_gl.glCreateProgram();
    g_gl.glAttachShader(program, vertex);
    g_gl.glAttachShader(program, fragment);
    g_gl.glLinkProgram(program);
    g_gl.glDeleteShader(vertex);
    g_gl.glDeleteShader(fragment);
    GLint ok = GL_FALSE;
    g_gl.glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok) return program;
    char log[2048] = {};
    g_gl.glGetProgramInfoLog(program, sizeof log, nullptr, log);
    std::fprintf(stderr, "Direct3D backend: program does not link: %s\n", log);
    g_gl.glDeleteProgram(program);
    return 0;
}

D3DGAMMARAMP identity_ramp()
{
    D3DGAMMARAMP ramp;
    for (int i = 0; i < 256; ++i)
        ramp.red[i] = ramp.green[i] = ramp.blue[i] = WORD(i * 0x101);
    return ramp;
}

// A ramp as a 256x1 texture, made on first use.
void upload_ramp(GLuint& texture, const D3DGAMMARAMP& ramp)
{
    WORD texels[256][3];
    for (int i = 0; i < 256; ++i)
        texels[i][0] = ramp.red[i], texels[i][1] = ramp.green[i], texels[i][2] = ramp.blue[i];
    if (!texture) g_gl.glGenTextures(1, &texture);
    g_gl.glActiveTexture(GL_TEXTURE0);
    g_gl.glBindTexture(GL_TEXTURE_2D, texture);
    g_gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    g_gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB16, 256, 1, 0, GL_RGB, GL_UNSIGNED_SHORT, texels);
    g_gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    g_gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    g_gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    g_gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    g_gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
}

GlProgram link_program(const D3D8GlProgramKey& key, const std::string& vertex_source)
{
    GLuint program = link_sources(vertex_source, d3d8_gl_fragment_source(key));
    if (!program) return {};
    GlProgram made;
    made.program = program;
    made.viewport = g_gl.glGetUniformLocation(program, "u_viewport");
    made.half_pixel = g_gl.glGetUniformLocation(program, "u_half_pixel");
    made.tfactor = g_gl.glGetUniformLocation(program, "u_tfactor");
    made.alpha_ref = g_gl.glGetUniformLocation(program, "u_alpha_ref");
    made.bump = g_gl.glGetUniformLocation(program, "u_bump");
    made.constants = g_gl.glGetUniformLocation(program, "c");
    made.fog_color = g_gl.glGetUniformLocation(program, "u_fog_color");
    g_gl.glUseProgram(program);
    for (DWORD stage = 0; stage < D3D8_GL_STAGES; ++stage) {
        GLint sampler = g_gl.glGetUniformLocation(program, ("u_tex" + std::to_string(stage)).c_str());
        if (sampler >= 0) g_gl.glUniform1i(sampler, GLint(stage));
    }
    return made;
}

void set_color_uniform(GLint location, D3DCOLOR color)
{
    g_gl.glUniform4f(location, float((color >> 16) & 0xFF) / 255.0f, float((color >> 8) & 0xFF) / 255.0f,
                     float(color & 0xFF) / 255.0f, float(color >> 24) / 255.0f);
}

// Sends a uniform only when it differs from what the program last received.
template <class T> bool send(std::optional<T>& sent, const T& value)
{
    if (sent == value) return false;
    sent = value;
    return true;
}

void send_color(GLint location, std::optional<D3DCOLOR>& sent, D3DCOLOR color)
{
    if (send(sent, color)) set_color_uniform(location, color);
}

// A sampler object's settings: magnification, minification and mip filters, anisotropy, the
// two address modes and the border colour.
using GlSamplerKey = std::array<DWORD, 6>;

// What the vertex attributes were last pointed at: the format or declaration and each stream's
// buffer and stride. An equal layout needs no attribute call at all.
struct GlVertexLayout {
    bool programmable = false;
    DWORD shader_or_fvf = 0;
    std::array<std::pair<GLuint, UINT>, D3D_MAX_STREAMS> streams{};
    bool operator==(const GlVertexLayout&) const = default;
};

class GlBackend final : public D3D8Backend {
public:
    GlBackend(IDirect3DDevice8& device, SDL_Window* window, SDL_GLContext context);
    ~GlBackend() override;

    HRESULT reset(IDirect3DDevice8& device, const D3DPRESENT_PARAMETERS& params) override;
    void resource_created(IDirect3DResource8& resource) override;
    void resource_destroyed(IDirect3DResource8& resource) override;
    void resource_unlocked(IDirect3DResource8& resource, const D3DLockRecord& lock) override;
    void read_back(IDirect3DSurface8& surface) override;
    void shader_created(const D3DVertexShader& shader) override;
    void shader_deleted(const D3DVertexShader& shader) override;
    void clear(const D3DDeviceState& state, DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color,
               float z, DWORD stencil) override;
    void draw(const D3DDeviceState& state, const D3DDrawCall& call) override;
    HRESULT present(const D3DDeviceState& state) override;
    void gamma_changed(const D3DGAMMARAMP& ramp, DWORD flags) override;
    // The test seam's read of what the window shows.
    std::optional<DWORD> window_pixel(int x, int y);

private:
    bool make_current();
    void release_swap_chain();
    void resolve_back();
    // Fills the window's back buffer with the front buffer, turned upright.
    void show_front();
    void show_through_ramp(int width, int height, GLuint ramp);
    // The colour texture and level behind a surface, 0 when it has none.
    GLuint color_texture(const IDirect3DSurface8& surface, GLint& level) const;
    GLuint depth_renderbuffer(const IDirect3DSurface8* surface) const;
    void bind_targets(const D3DDeviceState& state);
    void upload_level(IDirect3DSurface8& surface, const RECT& area);
    void upload_buffer(IDirect3DResource8& resource, const std::uint8_t* data, UINT total,
                       const D3DLockRecord& lock);
    void apply_states(const D3DDeviceState& state);
    void bind_textures(const D3DDeviceState& state, const D3D8GlProgramKey& key);
    bool bind_vertices(const D3DDeviceState& state);
    bool bind_declared_vertices(const D3DDeviceState& state, const D3DVertexShader& shader);
    void upload_constants(const D3DDeviceState& state, GlProgram& made);
    void upload_uniforms(const D3DDeviceState& state, GlProgram& made);
    GlProgram& program(const D3D8GlProgramKey& key);
    GLuint sampler_for(const DWORD* stage_states);

    IDirect3DDevice8& m_device;
    SDL_Window* m_window;
    SDL_GLContext m_context;
    GLuint m_vao = 0;
    GLuint m_fbo = 0;         // the device's render target and depth buffer
    GLuint m_read_fbo = 0;    // read-back and presentation sources
    GLuint m_present_fbo = 0; // the front buffer as a blit destination
    GlStateShadow m_shadow;
    std::map<GlSamplerKey, GLuint> m_samplers; // one sampler object per filter, address and border
    std::optional<GlVertexLayout> m_layout;    // what the vertex attributes point at now
    GLuint m_back = 0;                         // the back buffer's texture
    GLuint m_front = 0;                        // what the last present showed
    GLuint m_depth = 0;                        // the automatic depth buffer
    GLuint m_ramp = 0;                         // the device's gamma ramp as a 256x1 texture
    GLuint m_identity = 0;                     // the ramp that changes nothing, for windows
    GLuint m_gamma_program = 0;
    UINT m_width = 0;
    UINT m_height = 0;
    GLuint m_back_samples = 0;     // with multisampling, the back buffer draws go to; resolved into m_back
    GLuint m_attached_color = ~0u; // what m_fbo holds, to skip redundant attachments
    GLint m_attached_level = -1;
    bool m_attached_samples = false;
    GLuint m_attached_depth = ~0u;
    std::map<D3D8GlProgramKey, GlProgram> m_programs;
    std::map<DWORD, std::string> m_vertex_shaders; // translated GLSL by handle
};

GlBackend::GlBackend(IDirect3DDevice8& device, SDL_Window* window, SDL_GLContext context)
    : m_device(device), m_window(window), m_context(context)
{
    g_gl.glGenVertexArrays(1, &m_vao);
    g_gl.glBindVertexArray(m_vao);
    g_gl.glGenFramebuffers(1, &m_fbo);
    g_gl.glGenFramebuffers(1, &m_read_fbo);
    g_gl.glGenFramebuffers(1, &m_present_fbo);
    // Clip-space depth runs from 0 to 1 as in Direct3D.
    g_gl.glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
    g_gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    g_gl.glPixelStorei(GL_PACK_ALIGNMENT, 4);
    upload_ramp(m_identity, identity_ramp());
    upload_ramp(m_ramp, d3d8_device_state(device).gamma_ramp);
    g_gl.glCullFace(GL_BACK);
}

GlBackend::~GlBackend()
{
    if (make_current()) {
        release_swap_chain();
        for (auto& [key, made] : m_programs)
            if (made.program) g_gl.glDeleteProgram(made.program);
        for (const auto& [key, sampler] : m_samplers)
            g_gl.glDeleteSamplers(1, &sampler);
        GLuint ramps[] = {m_ramp, m_identity};
        g_gl.glDeleteTextures(2, ramps);
        g_gl.glDeleteProgram(m_gamma_program);
        GLuint fbos[] = {m_fbo, m_read_fbo, m_present_fbo};
        g_gl.glDeleteFramebuffers(3, fbos);
        g_gl.glDeleteVertexArrays(1, &m_vao);
        SDL_GL_MakeCurrent(m_window, nullptr);
    }
    SDL_GL_DeleteContext(m_context);
}

// False when the window is gone: the GL objects then went with it.
bool GlBackend::make_current()
{
    if (window_sdl(d3d8_device_window(m_device)) != m_window) return false;
    if (SDL_GL_GetCurrentContext() != m_context && SDL_GL_MakeCurrent(m_window, m_context) != 0) return false;
    return true;
}

void GlBackend::release_swap_chain()
{
    GLuint textures[] = {m_back, m_front};
    g_gl.glDeleteTextures(2, textures);
    GLuint renderbuffers[] = {m_depth, m_back_samples};
    g_gl.glDeleteRenderbuffers(2, renderbuffers);
    m_back = m_front = m_depth = m_back_samples = 0;
    m_attached_color = m_attached_depth = ~0u;
}

HRESULT GlBackend::reset(IDirect3DDevice8& device, const D3DPRESENT_PARAMETERS& params)
{
    if (!make_current()) return D3DERR_NOTAVAILABLE;
    release_swap_chain();
    m_width = params.BackBufferWidth;
    m_height = params.BackBufferHeight;
    GlFormat format = gl_format(params.BackBufferFormat);
    for (GLuint* texture : {&m_back, &m_front}) {
        g_gl.glGenTextures(1, texture);
        m_shadow.work_texture(*texture);
        g_gl.glTexImage2D(GL_TEXTURE_2D, 0, GLint(format.internal), GLsizei(m_width), GLsizei(m_height), 0,
                          format.format, format.type, nullptr);
        g_gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    }
    GLsizei samples =
        params.MultiSampleType >= D3DMULTISAMPLE_2_SAMPLES ? GLsizei(params.MultiSampleType) : 0;
    auto storage = [&](GLuint& renderbuffer, GLenum internal) {
        g_gl.glGenRenderbuffers(1, &renderbuffer);
        g_gl.glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
        g_gl.glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, internal, GLsizei(m_width),
                                              GLsizei(m_height));
    };
    if (samples) storage(m_back_samples, format.internal);
    if (d3d8_auto_depth_stencil(device)) storage(m_depth, GL_DEPTH24_STENCIL8);
    SDL_GL_SetSwapInterval(swap_interval(params));
    m_shadow.forget(); // the old buffers' deletion unbound them
    return g_gl.glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
}

void GlBackend::resource_created(IDirect3DResource8& resource)
{
    if (!make_current()) return;
    auto object = std::make_unique<GlObject>();
    switch (resource.GetType()) {
    case D3DRTYPE_TEXTURE: {
        auto& texture = static_cast<IDirect3DTexture8&>(resource);
        GlFormat format = gl_format(d3d8_texture_format(texture));
        g_gl.glGenTextures(1, &object->texture);
        m_shadow.work_texture(object->texture);
        g_gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(texture.GetLevelCount()) - 1);
        for (UINT level = 0; level < texture.GetLevelCount(); ++level) {
            const IDirect3DSurface8& surface = d3d8_texture_level(texture, level);
            const D3DSURFACE_DESC& desc = d3d8_surface_desc(surface);
            if (format.format == 0)
                g_gl.glCompressedTexImage2D(GL_TEXTURE_2D, GLint(level), format.internal, GLsizei(desc.Width),
                                            GLsizei(desc.Height), 0, GLsizei(desc.Size),
                                            d3d8_surface_bits(surface));
            else
                g_gl.glTexImage2D(GL_TEXTURE_2D, GLint(level), GLint(format.internal), GLsizei(desc.Width),
                                  GLsizei(desc.Height), 0, format.format, format.type,
                                  d3d8_surface_bits(surface));
        }
        break;
    }
    case D3DRTYPE_SURFACE: {
        const D3DSURFACE_DESC& desc = d3d8_surface_desc(static_cast<IDirect3DSurface8&>(resource));
        if (desc.Usage & D3DUSAGE_RENDERTARGET) {
            GlFormat format = gl_format(desc.Format);
            g_gl.glGenTextures(1, &object->texture);
            m_shadow.work_texture(object->texture);
            g_gl.glTexImage2D(GL_TEXTURE_2D, 0, GLint(format.internal), GLsizei(desc.Width),
                              GLsizei(desc.Height), 0, format.format, format.type, nullptr);
            g_gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        } else if (desc.Usage & D3DUSAGE_DEPTHSTENCIL) {
            // A depth buffer matches the multisampling of the targets it serves.
            GLsizei samples =
                desc.MultiSampleType >= D3DMULTISAMPLE_2_SAMPLES ? GLsizei(desc.MultiSampleType) : 0;
            g_gl.glGenRenderbuffers(1, &object->renderbuffer);
            g_gl.glBindRenderbuffer(GL_RENDERBUFFER, object->renderbuffer);
            g_gl.glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH24_STENCIL8,
                                                  GLsizei(desc.Width), GLsizei(desc.Height));
        } else {
            return; // system-memory surfaces live in memory only
        }
        break;
    }
    case D3DRTYPE_VERTEXBUFFER:
    case D3DRTYPE_INDEXBUFFER: {
        bool vertices = resource.GetType() == D3DRTYPE_VERTEXBUFFER;
        UINT size = 0;
        DWORD usage = 0;
        const std::uint8_t* data = nullptr;
        if (vertices) {
            const auto& buffer = static_cast<IDirect3DVertexBuffer8&>(resource);
            size = d3d8_buffer_desc(buffer).Size, usage = d3d8_buffer_desc(buffer).Usage,
            data = d3d8_buffer_data(buffer);
        } else {
            const auto& buffer = static_cast<IDirect3DIndexBuffer8&>(resource);
            size = d3d8_buffer_desc(buffer).Size, usage = d3d8_buffer_desc(buffer).Usage,
            data = d3d8_buffer_data(buffer);
        }
        g_gl.glGenBuffers(1, &object->buffer);
        g_gl.glBindBuffer(GL_ARRAY_BUFFER, object->buffer);
        g_gl.glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(size), data,
                          (usage & D3DUSAGE_DYNAMIC) ? GL_STREAM_DRAW : GL_STATIC_DRAW);
        break;
    }
    default:
        return;
    }
    d3d8_set_backend_object(resource, object.release());
}

void GlBackend::resource_destroyed(IDirect3DResource8& resource)
{
    GlObject* object = gl_object(resource);
    if (!object) return;
    d3d8_set_backend_object(resource, nullptr);
    if (make_current()) {
        if (object->texture == m_attached_color) m_attached_color = ~0u;
        if (object->renderbuffer == m_attached_depth) m_attached_depth = ~0u;
        g_gl.glDeleteTextures(1, &object->texture);
        g_gl.glDeleteRenderbuffers(1, &object->renderbuffer);
        g_gl.glDeleteBuffers(1, &object->buffer);
        m_shadow.forget_bindings();
        m_layout.reset();
    }
    delete object;
}

void GlBackend::upload_buffer(IDirect3DResource8& resource, const std::uint8_t* data, UINT total,
                              const D3DLockRecord& lock)
{
    GlObject* object = gl_object(resource);
    if (!object) return;
    if (lock.locked()) {
        object->nested_lock = true;
        return;
    }
    g_gl.glBindBuffer(GL_ARRAY_BUFFER, object->buffer);
    if (object->nested_lock) {
        object->nested_lock = false;
        g_gl.glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(total), data, GL_STREAM_DRAW);
        return;
    }
    // A discarding lock gives the buffer fresh storage, so the GPU never waits for draws that
    // still read the old contents; a no-overwrite lock writes where no queued draw reads.
    if (lock.flags & D3DLOCK_DISCARD)
        g_gl.glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(total), nullptr, GL_STREAM_DRAW);
    g_gl.glBufferSubData(GL_ARRAY_BUFFER, GLintptr(lock.offset), GLsizeiptr(lock.size), data + lock.offset);
}

void GlBackend::upload_level(IDirect3DSurface8& surface, const RECT& area)
{
    GLint level = 0;
    GLuint texture = color_texture(surface, level);
    if (!texture) return;
    const D3DSURFACE_DESC& desc = d3d8_surface_desc(surface);
    GlFormat format = gl_format(desc.Format);
    m_shadow.work_texture(texture);
    if (format.format == 0) {
        g_gl.glCompressedTexImage2D(GL_TEXTURE_2D, level, format.internal, GLsizei(desc.Width),
                                    GLsizei(desc.Height), 0, GLsizei(desc.Size), d3d8_surface_bits(surface));
        return;
    }
    UINT bytes = d3d8_format_bytes(desc.Format);
    g_gl.glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(d3d8_surface_pitch(surface) / bytes));
    const std::uint8_t* first = d3d8_surface_bits(surface) +
                                std::size_t(area.top) * d3d8_surface_pitch(surface) +
                                std::size_t(area.left) * bytes;
    g_gl.glTexSubImage2D(GL_TEXTURE_2D, level, area.left, area.top, area.right - area.left,
                         area.bottom - area.top, format.format, format.type, first);
    g_gl.glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

void GlBackend::resource_unlocked(IDirect3DResource8& resource, const D3DLockRecord& lock)
{
    if (!make_current()) return;
    switch (resource.GetType()) {
    case D3DRTYPE_VERTEXBUFFER: {
        auto& buffer = static_cast<IDirect3DVertexBuffer8&>(resource);
        upload_buffer(resource, d3d8_buffer_data(buffer), d3d8_buffer_desc(buffer).Size, lock);
        break;
    }
    case D3DRTYPE_INDEXBUFFER: {
        auto& buffer = static_cast<IDirect3DIndexBuffer8&>(resource);
        upload_buffer(resource, d3d8_buffer_data(buffer), d3d8_buffer_desc(buffer).Size, lock);
        break;
    }
    case D3DRTYPE_SURFACE:
        if (!(lock.flags & D3DLOCK_READONLY))
            upload_level(static_cast<IDirect3DSurface8&>(resource), lock.rect);
        break;
    default:
        break;
    }
}

GLuint GlBackend::color_texture(const IDirect3DSurface8& surface, GLint& level) const
{
    level = 0;
    if (&surface == &d3d8_back_buffer(m_device)) return m_back;
    if (&surface == d3d8_front_buffer(m_device)) return m_front;
    if (const IDirect3DTexture8* texture = d3d8_surface_container(surface)) {
        level = GLint(d3d8_surface_level(surface));
        const GlObject* object = gl_object(*texture);
        return object ? object->texture : 0;
    }
    const GlObject* object = gl_object(surface);
    return object ? object->texture : 0;
}

GLuint GlBackend::depth_renderbuffer(const IDirect3DSurface8* surface) const
{
    if (!surface) return 0;
    if (surface == d3d8_auto_depth_stencil(m_device)) return m_depth;
    const GlObject* object = gl_object(*surface);
    return object ? object->renderbuffer : 0;
}

void GlBackend::read_back(IDirect3DSurface8& surface)
{
    const D3DSURFACE_DESC& desc = d3d8_surface_desc(surface);
    if (d3d8_format_is_depth(desc.Format) || !make_current()) return;
    if (&surface == &d3d8_back_buffer(m_device)) resolve_back();
    GLint level = 0;
    GLuint texture = color_texture(surface, level);
    GlFormat format = gl_format(desc.Format);
    if (!texture || format.format == 0) return;
    g_gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, m_read_fbo);
    g_gl.glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, level);
    g_gl.glReadPixels(0, 0, GLsizei(desc.Width), GLsizei(desc.Height), format.format, format.type,
                      d3d8_surface_bits(surface));
    m_shadow.forget(); // resolving the back buffer changed the draw state
}

void GlBackend::bind_targets(const D3DDeviceState& state)
{
    m_shadow.draw_framebuffer(m_fbo);
    GLint level = 0;
    GLuint color = color_texture(*state.render_target, level);
    bool samples = m_back_samples && state.render_target == &d3d8_back_buffer(m_device);
    if (samples) color = m_back_samples;
    if (color != m_attached_color || level != m_attached_level || samples != m_attached_samples) {
        if (samples)
            g_gl.glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
        else
            g_gl.glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color,
                                        level);
        m_attached_color = color;
        m_attached_level = level;
        m_attached_samples = samples;
    }
    GLuint depth = depth_renderbuffer(state.depth_stencil);
    if (depth != m_attached_depth) {
        g_gl.glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                       depth);
        m_attached_depth = depth;
    }
    const D3DVIEWPORT8& vp = state.viewport;
    m_shadow.viewport(GLint(vp.X), GLint(vp.Y), GLsizei(vp.Width), GLsizei(vp.Height));
    m_shadow.depth_range(vp.MinZ, vp.MaxZ);
}

void GlBackend::clear(const D3DDeviceState& state, DWORD count, const D3DRECT* rects, DWORD flags,
                      D3DCOLOR color, float z, DWORD stencil)
{
    if (!make_current()) return;
    bind_targets(state);
    GLbitfield mask = 0;
    if (flags & D3DCLEAR_TARGET) mask |= GL_COLOR_BUFFER_BIT;
    if (flags & D3DCLEAR_ZBUFFER) mask |= GL_DEPTH_BUFFER_BIT;
    if (flags & D3DCLEAR_STENCIL) mask |= GL_STENCIL_BUFFER_BIT;
    m_shadow.color_mask(0xF);
    m_shadow.depth_mask(true);
    m_shadow.stencil_mask(0xFF);
    g_gl.glClearColor(float((color >> 16) & 0xFF) / 255.0f, float((color >> 8) & 0xFF) / 255.0f,
                      float(color & 0xFF) / 255.0f, float(color >> 24) / 255.0f);
    g_gl.glClearDepth(z);
    g_gl.glClearStencil(GLint(stencil & 0xFF));
    m_shadow.enable(GlStateShadow::SCISSOR_TEST, true);
    const D3DVIEWPORT8& vp = state.viewport;
    RECT viewport{LONG(vp.X), LONG(vp.Y), LONG(vp.X + vp.Width), LONG(vp.Y + vp.Height)};
    for (DWORD i = 0; i < std::max<DWORD>(count, 1); ++i) {
        RECT area = viewport;
        if (count > 0) {
            area.left = std::max(area.left, rects[i].x1);
            area.top = std::max(area.top, rects[i].y1);
            area.right = std::min(area.right, rects[i].x2);
            area.bottom = std::min(area.bottom, rects[i].y2);
        }
        if (area.left >= area.right || area.top >= area.bottom) continue;
        g_gl.glScissor(area.left, area.top, area.right - area.left, area.bottom - area.top);
        g_gl.glClear(mask);
    }
    m_shadow.enable(GlStateShadow::SCISSOR_TEST, false);
}

void GlBackend::apply_states(const D3DDeviceState& state)
{
    const DWORD* rs = state.render;
    const bool depth = state.depth_stencil && rs[D3DRS_ZENABLE] != D3DZB_FALSE;
    m_shadow.enable(GlStateShadow::DEPTH_TEST, depth);
    if (depth) m_shadow.depth_func(gl_compare(rs[D3DRS_ZFUNC]));
    m_shadow.depth_mask(rs[D3DRS_ZWRITEENABLE] != 0);
    m_shadow.enable(GlStateShadow::BLEND, rs[D3DRS_ALPHABLENDENABLE] != 0);
    if (rs[D3DRS_ALPHABLENDENABLE]) {
        DWORD src = rs[D3DRS_SRCBLEND], dst = rs[D3DRS_DESTBLEND];
        // The "both" factors set the destination factor from the source's.
        if (src == D3DBLEND_BOTHSRCALPHA) dst = D3DBLEND_INVSRCALPHA;
        if (src == D3DBLEND_BOTHINVSRCALPHA) dst = D3DBLEND_SRCALPHA;
        m_shadow.blend(gl_blend(src), gl_blend(dst), gl_blend_op(rs[D3DRS_BLENDOP]));
    }
    // Targets are stored mirrored, which turns windings round: what the window shows
    // counter-clockwise is clockwise to OpenGL. The back faces are culled (set once).
    m_shadow.enable(GlStateShadow::CULL_FACE, rs[D3DRS_CULLMODE] != D3DCULL_NONE);
    if (rs[D3DRS_CULLMODE] != D3DCULL_NONE)
        m_shadow.front_face(rs[D3DRS_CULLMODE] == D3DCULL_CCW ? GL_CCW : GL_CW);
    const DWORD write = rs[D3DRS_COLORWRITEENABLE];
    m_shadow.color_mask(
        (write & D3DCOLORWRITEENABLE_RED ? 1u : 0u) | (write & D3DCOLORWRITEENABLE_GREEN ? 2u : 0u) |
        (write & D3DCOLORWRITEENABLE_BLUE ? 4u : 0u) | (write & D3DCOLORWRITEENABLE_ALPHA ? 8u : 0u));
    const bool stencil = rs[D3DRS_STENCILENABLE] && state.depth_stencil;
    m_shadow.enable(GlStateShadow::STENCIL_TEST, stencil);
    if (stencil) {
        m_shadow.stencil(gl_compare(rs[D3DRS_STENCILFUNC]), GLint(rs[D3DRS_STENCILREF]),
                         rs[D3DRS_STENCILMASK],
                         {gl_stencil_op(rs[D3DRS_STENCILFAIL]), gl_stencil_op(rs[D3DRS_STENCILZFAIL]),
                          gl_stencil_op(rs[D3DRS_STENCILPASS])});
        m_shadow.stencil_mask(rs[D3DRS_STENCILWRITEMASK]);
    }
    m_shadow.enable(GlStateShadow::MULTISAMPLE, rs[D3DRS_MULTISAMPLEANTIALIAS] != 0);
    m_shadow.polygon_mode(rs[D3DRS_FILLMODE] == D3DFILL_POINT       ? GL_POINT
                          : rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                                                                    : GL_FILL);
}

void GlBackend::bind_textures(const D3DDeviceState& state, const D3D8GlProgramKey& key)
{
    for (DWORD stage = 0; stage < key.stage_count; ++stage) {
        if (!key.stages[stage].textured) continue;
        const GlObject* object = gl_object(*state.textures[stage]);
        m_shadow.texture(stage, object ? object->texture : 0);
        m_shadow.sampler(stage, sampler_for(state.stage[stage]));
    }
}

GLuint GlBackend::sampler_for(const DWORD* ts)
{
    const bool anisotropic =
        ts[D3DTSS_MINFILTER] == D3DTEXF_ANISOTROPIC || ts[D3DTSS_MAGFILTER] == D3DTEXF_ANISOTROPIC;
    const GlSamplerKey key = {ts[D3DTSS_MAGFILTER] == D3DTEXF_POINT ? DWORD{GL_NEAREST} : DWORD{GL_LINEAR},
                              gl_min_filter(ts[D3DTSS_MINFILTER], ts[D3DTSS_MIPFILTER]),
                              anisotropic ? std::max<DWORD>(1, ts[D3DTSS_MAXANISOTROPY]) : 1,
                              gl_address(ts[D3DTSS_ADDRESSU]),
                              gl_address(ts[D3DTSS_ADDRESSV]),
                              ts[D3DTSS_BORDERCOLOR]};
    const auto found = m_samplers.find(key);
    if (found != m_samplers.end()) return found->second;
    GLuint sampler = 0;
    g_gl.glGenSamplers(1, &sampler);
    g_gl.glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, GLint(key[0]));
    g_gl.glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, GLint(key[1]));
    g_gl.glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, GLint(key[3]));
    g_gl.glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GLint(key[4]));
    const D3DCOLOR border = key[5];
    const float border_color[4] = {float((border >> 16) & 0xFF) / 255.0f,
                                   float((border >> 8) & 0xFF) / 255.0f, float(border & 0xFF) / 255.0f,
                                   float(border >> 24) / 255.0f};
    g_gl.glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, border_color);
    g_gl.glSamplerParameterf(sampler, GL_TEXTURE_MAX_ANISOTROPY, float(key[2]));
    g_gl.glGetError(); // anisotropy is optional: a context without it keeps plain filtering
    m_samplers.emplace(key, sampler);
    return sampler;
}

// Points the attributes at stream 0 as the flexible vertex format lays it out.
bool GlBackend::bind_vertices(const D3DDeviceState& state)
{
    const D3DStreamBinding& stream = state.streams[0];
    const GlObject* object = gl_object(*stream.buffer);
    if (!object) return false;
    DWORD fvf = state.vertex_shader;
    GlVertexLayout layout;
    layout.shader_or_fvf = fvf;
    layout.streams[0] = {object->buffer, stream.stride};
    if (m_layout == layout) return true;
    m_layout = layout;
    g_gl.glBindBuffer(GL_ARRAY_BUFFER, object->buffer);
    std::uint32_t enabled = 0;
    auto attribute = [&](GLuint location, GLint size, GLenum type, GLboolean normalized, std::size_t offset) {
        enabled |= 1u << location;
        g_gl.glVertexAttribPointer(location, size, type, normalized, GLsizei(stream.stride),
                                   reinterpret_cast<const void*>(offset));
    };
    std::size_t offset = 0;
    DWORD position = fvf & D3DFVF_POSITION_MASK;
    if (position == D3DFVF_XYZRHW) {
        attribute(D3D8_GL_ATTRIB_POSITION, 4, GL_FLOAT, GL_FALSE, 0);
        offset = 16;
    } else if (position != 0) {
        attribute(D3D8_GL_ATTRIB_POSITION, 3, GL_FLOAT, GL_FALSE, 0);
        offset = 12 + 4 * ((position - D3DFVF_XYZ) / 2); // blend weights follow the position
    }
    if (fvf & D3DFVF_NORMAL) {
        attribute(D3D8_GL_ATTRIB_NORMAL, 3, GL_FLOAT, GL_FALSE, offset);
        offset += 12;
    }
    if (fvf & D3DFVF_PSIZE) offset += 4;
    // Colours are stored B, G, R, A in memory.
    if (fvf & D3DFVF_DIFFUSE) {
        attribute(D3D8_GL_ATTRIB_DIFFUSE, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, offset);
        offset += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        attribute(D3D8_GL_ATTRIB_SPECULAR, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, offset);
        offset += 4;
    }
    DWORD sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (DWORD set = 0; set < sets; ++set) {
        static constexpr GLint k_floats[4] = {2, 3, 4, 1};
        GLint floats = k_floats[(fvf >> (16 + 2 * set)) & 3];
        if (set < D3D8_GL_TEXCOORD_SETS)
            attribute(D3D8_GL_ATTRIB_TEXCOORD + set, floats, GL_FLOAT, GL_FALSE, offset);
        offset += 4 * std::size_t(floats);
    }
    m_shadow.enabled_attributes(enabled);
    return true;
}

GlProgram& GlBackend::program(const D3D8GlProgramKey& key)
{
    auto found = m_programs.find(key);
    if (found == m_programs.end()) {
        std::string vertex =
            key.programmable ? m_vertex_shaders[key.shader_or_fvf] : d3d8_gl_vertex_source(key);
        found = m_programs.emplace(key, link_program(key, vertex)).first;
    }
    return found->second;
}

void GlBackend::shader_created(const D3DVertexShader& shader)
{
    m_vertex_shaders[shader.handle] = d3d8_gl_translate_vertex_shader(shader);
}

// The handle may be given to another shader: programs built from this one go.
void GlBackend::shader_deleted(const D3DVertexShader& shader)
{
    m_vertex_shaders.erase(shader.handle);
    bool current = make_current();
    std::erase_if(m_programs, [&](const auto& entry) {
        bool built = entry.first.programmable && entry.first.shader_or_fvf == shader.handle;
        if (built && current && entry.second.program) g_gl.glDeleteProgram(entry.second.program);
        return built;
    });
    m_shadow.forget(); // a new program may take a deleted one's name
    m_layout.reset();
}

// Points each declared register at its stream.
bool GlBackend::bind_declared_vertices(const D3DDeviceState& state, const D3DVertexShader& shader)
{
    GlVertexLayout layout;
    layout.programmable = true;
    layout.shader_or_fvf = shader.handle;
    for (const D3DVertexElement& element : shader.elements) {
        const D3DStreamBinding& stream = state.streams[element.stream];
        const GlObject* object = gl_object(*stream.buffer);
        if (!object) return false;
        layout.streams[element.stream] = {object->buffer, stream.stride};
    }
    if (m_layout == layout) return true;
    m_layout = layout;
    struct Layout {
        GLint size;
        GLenum type;
        GLboolean normalized;
    };
    static constexpr Layout k_layouts[] = {
        {1, GL_FLOAT, GL_FALSE},
        {2, GL_FLOAT, GL_FALSE},
        {3, GL_FLOAT, GL_FALSE},
        {4, GL_FLOAT, GL_FALSE},
        {GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE},
        {4, GL_UNSIGNED_BYTE, GL_FALSE},
        {2, GL_SHORT, GL_FALSE},
        {4, GL_SHORT, GL_FALSE},
    };
    std::uint32_t enabled = 0;
    for (const D3DVertexElement& element : shader.elements) {
        const auto& [buffer, stride] = layout.streams[element.stream];
        const Layout& format = k_layouts[element.type];
        g_gl.glBindBuffer(GL_ARRAY_BUFFER, buffer);
        enabled |= 1u << element.vertex_register;
        g_gl.glVertexAttribPointer(element.vertex_register, format.size, format.type, format.normalized,
                                   GLsizei(stride),
                                   reinterpret_cast<const void*>(std::size_t(element.offset)));
    }
    m_shadow.enabled_attributes(enabled);
    return true;
}

// Sends the registers from the first that differs from what the program holds to the last.
void GlBackend::upload_constants(const D3DDeviceState& state, GlProgram& made)
{
    if (made.constants < 0) return;
    constexpr std::size_t registers = D3D_VS_CONSTANT_REGISTERS;
    const float* now = &state.vs_constants[0][0];
    const auto differs = [&](std::size_t r) {
        return !made.constants_sent || std::memcmp(now + 4 * r, &made.sent_constants[4 * r], 16) != 0;
    };
    std::size_t first = 0;
    while (first < registers && !differs(first))
        ++first;
    if (first == registers) return;
    std::size_t last = registers - 1;
    while (!differs(last))
        --last;
    const std::size_t count = last + 1 - first;
    std::memcpy(&made.sent_constants[4 * first], now + 4 * first, 16 * count);
    made.constants_sent = true;
    g_gl.glUniform4fv(made.constants + GLint(first), GLsizei(count), now + 4 * first);
}

void GlBackend::upload_uniforms(const D3DDeviceState& state, GlProgram& made)
{
    const D3DVIEWPORT8& vp = state.viewport;
    const std::array<float, 4> viewport = {float(vp.X), float(vp.Y), 2.0f / float(vp.Width),
                                           2.0f / float(vp.Height)};
    if (send(made.sent_viewport, viewport)) g_gl.glUniform4fv(made.viewport, 1, viewport.data());
    const std::array<float, 4> half_pixel = {1.0f / float(vp.Width), 1.0f / float(vp.Height), 0.0f, 0.0f};
    if (send(made.sent_half_pixel, half_pixel)) g_gl.glUniform4fv(made.half_pixel, 1, half_pixel.data());
    send_color(made.tfactor, made.sent_tfactor, state.render[D3DRS_TEXTUREFACTOR]);
    send_color(made.fog_color, made.sent_fog_color, state.render[D3DRS_FOGCOLOR]);
    const float alpha_ref = float(state.render[D3DRS_ALPHAREF] & 0xFF);
    if (send(made.sent_alpha_ref, alpha_ref)) g_gl.glUniform1f(made.alpha_ref, alpha_ref);
    std::array<float, 4 * D3D8_GL_STAGES> bump;
    for (DWORD stage = 0; stage < D3D8_GL_STAGES; ++stage)
        std::memcpy(&bump[4 * stage], &state.stage[stage][D3DTSS_BUMPENVMAT00], 4 * sizeof(float));
    if (send(made.sent_bump, bump)) g_gl.glUniform4fv(made.bump, GLsizei(D3D8_GL_STAGES), bump.data());
}

void GlBackend::draw(const D3DDeviceState& state, const D3DDrawCall& call)
{
    if (!make_current()) return;
    D3D8GlProgramKey key = d3d8_gl_program_key(state);
    const D3DVertexShader* shader =
        key.programmable ? d3d8_vertex_shader(m_device, state.vertex_shader) : nullptr;
    GlProgram& made = program(key);
    if (!made.program) return;
    if (!(shader ? bind_declared_vertices(state, *shader) : bind_vertices(state))) return;
    bind_targets(state);
    apply_states(state);
    m_shadow.program(made.program);
    upload_uniforms(state, made);
    if (shader) upload_constants(state, made);
    bind_textures(state, key);

    GLenum mode = gl_primitive(call.type);
    GLsizei vertices = GLsizei(d3d8_primitive_vertices(call.type, call.primitive_count));
    if (call.indexed) {
        const GlObject* indices = gl_object(*state.indices);
        if (!indices) return;
        bool wide = d3d8_buffer_desc(*state.indices).Format == D3DFMT_INDEX32;
        m_shadow.element_buffer(indices->buffer);
        g_gl.glDrawElementsBaseVertex(mode, vertices, wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                      reinterpret_cast<const void*>(std::size_t(call.start) * (wide ? 4 : 2)),
                                      GLint(state.base_vertex));
    } else {
        g_gl.glDrawArrays(mode, GLint(call.start), vertices);
    }
}

HRESULT GlBackend::present(const D3DDeviceState&)
{
    if (!make_current()) return D3D_OK;
    GLsizei w = GLsizei(m_width), h = GLsizei(m_height);
    g_gl.glDisable(GL_SCISSOR_TEST);
    g_gl.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    resolve_back();
    // The back buffer becomes the front buffer, kept for GetFrontBuffer, and fills the window.
    g_gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, m_read_fbo);
    g_gl.glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_back, 0);
    g_gl.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_present_fbo);
    g_gl.glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_front, 0);
    g_gl.glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    show_front();
    SDL_GL_SwapWindow(m_window);
    m_shadow.forget(); // presentation sets its own state
    return D3D_OK;
}

// The samples of a multisampled back buffer averaged into its texture.
void GlBackend::resolve_back()
{
    if (!m_back_samples || !make_current()) return;
    g_gl.glDisable(GL_SCISSOR_TEST);
    g_gl.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    g_gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, m_read_fbo);
    g_gl.glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                   m_back_samples);
    g_gl.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_present_fbo);
    g_gl.glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_back, 0);
    GLint w = GLint(m_width), h = GLint(m_height);
    g_gl.glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
}

void GlBackend::show_front()
{
    int window_w = 0, window_h = 0;
    SDL_GL_GetDrawableSize(m_window, &window_w, &window_h);
    g_gl.glDisable(GL_SCISSOR_TEST);
    g_gl.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    g_gl.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    show_through_ramp(window_w, window_h, d3d8_present_parameters(m_device).Windowed ? m_identity : m_ramp);
}

// The gamma ramp is the display's in full screen: it changes what the window shows, never the
// buffers the device reads back.
void GlBackend::gamma_changed(const D3DGAMMARAMP& ramp, DWORD)
{
    if (!make_current()) return;
    upload_ramp(m_ramp, ramp);
    m_shadow.forget();
}

// Draws the front buffer upright over the window through the ramp.
void GlBackend::show_through_ramp(int width, int height, GLuint ramp)
{
    if (!m_gamma_program) {
        m_gamma_program = link_sources(k_gamma_vertex, k_gamma_fragment);
        if (!m_gamma_program) return;
        g_gl.glUseProgram(m_gamma_program);
        g_gl.glUniform1i(g_gl.glGetUniformLocation(m_gamma_program, "u_image"), 0);
        g_gl.glUniform1i(g_gl.glGetUniformLocation(m_gamma_program, "u_ramp"), 1);
    }
    g_gl.glUseProgram(m_gamma_program);
    for (GLenum capability : {GL_DEPTH_TEST, GL_BLEND, GL_CULL_FACE, GL_STENCIL_TEST})
        g_gl.glDisable(capability);
    g_gl.glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    g_gl.glViewport(0, 0, width, height);
    for (GLuint unit : {0u, 1u}) {
        g_gl.glActiveTexture(GL_TEXTURE0 + unit);
        g_gl.glBindSampler(unit, 0);
        g_gl.glBindTexture(GL_TEXTURE_2D, unit == 0 ? m_front : ramp);
    }
    g_gl.glDrawArrays(GL_TRIANGLES, 0, 3);
}

std::optional<DWORD> GlBackend::window_pixel(int x, int y)
{
    if (!make_current()) return std::nullopt;
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(m_window, &width, &height);
    if (x < 0 || y < 0 || x >= width || y >= height) return std::nullopt;
    show_front();
    g_gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    DWORD pixel = 0;
    g_gl.glReadPixels(x, y, 1, 1, GL_BGRA, GL_UNSIGNED_BYTE, &pixel);
    m_shadow.forget();
    return pixel;
}

} // namespace

std::unique_ptr<D3D8Backend> d3d8_gl_backend(IDirect3DDevice8& device)
{
    SDL_Window* window = window_sdl(d3d8_device_window(device));
    if (!window || !(SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL)) return nullptr;
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        std::fprintf(stderr, "Direct3D: no OpenGL context, drawing on state alone: %s\n", SDL_GetError());
        return nullptr;
    }
    if (!d3d8_gl_load()) {
        std::fprintf(stderr,
                     "Direct3D: the OpenGL context lacks what the device needs; drawing on state alone\n");
        SDL_GL_DeleteContext(context);
        return nullptr;
    }
    return std::make_unique<GlBackend>(device, window, context);
}

std::optional<DWORD> d3d8_gl_seam_window_pixel(IDirect3DDevice8& device, int x, int y)
{
    auto* backend = dynamic_cast<GlBackend*>(d3d8_device_backend(device));
    if (!backend) return std::nullopt;
    return backend->window_pixel(x, y);
}
