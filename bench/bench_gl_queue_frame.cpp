// The render queue's full frame (4,441 draws, or 1,432 with row 11 holding quads) drawn through
// the OpenGL backend, each iteration paired with a floor on the same context: as many minimal
// indexed draws of two triangles, one program, one vertex array, no state changes. Times are
// the main thread's processor time: the rasteriser's own threads (a software driver's) do the
// pixel work, which is the scene's, not the backend's. Both end in glFinish, so no work spills
// into the next measurement. The counter x_floor is the frame's time as a multiple of the
// floor's.
#include "common/bench_engine.h"
#include "common/bench_queue_frame.h"
#include "lowlv/d3d/d3d_core.h"
#include "platform/impl/d3d8_state.h"
#include "scenegraph/renderer.h"

#include <SDL.h>
#include <SDL_opengl.h>
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdint>
#include <filesystem>
#include <vector>

namespace {

constexpr UINT k_width = 640, k_height = 480;
constexpr GLsizei k_floor_quads = 512;

// The few entry points the floor calls, loaded for the current context.
struct FloorGl {
    PFNGLCREATESHADERPROC CreateShader;
    PFNGLSHADERSOURCEPROC ShaderSource;
    PFNGLCOMPILESHADERPROC CompileShader;
    PFNGLCREATEPROGRAMPROC CreateProgram;
    PFNGLATTACHSHADERPROC AttachShader;
    PFNGLLINKPROGRAMPROC LinkProgram;
    PFNGLDELETESHADERPROC DeleteShader;
    PFNGLDELETEPROGRAMPROC DeleteProgram;
    PFNGLUSEPROGRAMPROC UseProgram;
    PFNGLGENVERTEXARRAYSPROC GenVertexArrays;
    PFNGLDELETEVERTEXARRAYSPROC DeleteVertexArrays;
    PFNGLBINDVERTEXARRAYPROC BindVertexArray;
    PFNGLGENBUFFERSPROC GenBuffers;
    PFNGLDELETEBUFFERSPROC DeleteBuffers;
    PFNGLBINDBUFFERPROC BindBuffer;
    PFNGLBUFFERDATAPROC BufferData;
    PFNGLENABLEVERTEXATTRIBARRAYPROC EnableVertexAttribArray;
    PFNGLVERTEXATTRIBPOINTERPROC VertexAttribPointer;
    PFNGLDRAWELEMENTSBASEVERTEXPROC DrawElementsBaseVertex;
    void(APIENTRY* GetIntegerv)(GLenum, GLint*);
    void(APIENTRY* Finish)();

    bool load()
    {
        const auto get = [](auto& entry, const char* name) {
            entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(SDL_GL_GetProcAddress(name));
            return entry != nullptr;
        };
        return get(CreateShader, "glCreateShader") && get(ShaderSource, "glShaderSource") &&
               get(CompileShader, "glCompileShader") && get(CreateProgram, "glCreateProgram") &&
               get(AttachShader, "glAttachShader") && get(LinkProgram, "glLinkProgram") &&
               get(DeleteShader, "glDeleteShader") && get(DeleteProgram, "glDeleteProgram") &&
               get(UseProgram, "glUseProgram") && get(GenVertexArrays, "glGenVertexArrays") &&
               get(DeleteVertexArrays, "glDeleteVertexArrays") && get(BindVertexArray, "glBindVertexArray") &&
               get(GenBuffers, "glGenBuffers") && get(DeleteBuffers, "glDeleteBuffers") &&
               get(BindBuffer, "glBindBuffer") && get(BufferData, "glBufferData") &&
               get(EnableVertexAttribArray, "glEnableVertexAttribArray") &&
               get(VertexAttribPointer, "glVertexAttribPointer") &&
               get(DrawElementsBaseVertex, "glDrawElementsBaseVertex") && get(GetIntegerv, "glGetIntegerv") &&
               get(Finish, "glFinish");
    }
};

// The floor's program, vertex array and buffers; the backend's bindings are put back after each
// run, so its own record of them stays true.
class Floor {
public:
    bool make()
    {
        if (!m_gl.load()) return false;
        m_program = m_gl.CreateProgram();
        attach(GL_VERTEX_SHADER, "#version 330\nlayout(location = 0) in vec2 p;\n"
                                 "void main() { gl_Position = vec4(p * 0.01, 0.0, 1.0); }\n");
        attach(GL_FRAGMENT_SHADER, "#version 330\nout vec4 colour;\nvoid main() { colour = vec4(1.0); }\n");
        m_gl.LinkProgram(m_program);
        std::vector<float> corners;
        std::vector<std::uint16_t> indices;
        for (int quad = 0; quad < k_floor_quads; ++quad) {
            const auto x = static_cast<float>(quad % 32), y = static_cast<float>(quad / 32);
            corners.insert(corners.end(), {x, y, x + 1, y, x, y + 1, x + 1, y + 1});
        }
        indices.assign({0, 1, 2, 2, 1, 3});
        GLint vao = 0, array = 0;
        m_gl.GetIntegerv(GL_VERTEX_ARRAY_BINDING, &vao);
        m_gl.GetIntegerv(GL_ARRAY_BUFFER_BINDING, &array);
        m_gl.GenVertexArrays(1, &m_vao);
        m_gl.BindVertexArray(m_vao);
        m_gl.GenBuffers(2, m_buffers);
        m_gl.BindBuffer(GL_ARRAY_BUFFER, m_buffers[0]);
        m_gl.BufferData(GL_ARRAY_BUFFER, GLsizeiptr(corners.size() * sizeof(float)), corners.data(),
                        GL_STATIC_DRAW);
        m_gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_buffers[1]);
        m_gl.BufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indices.size() * 2), indices.data(),
                        GL_STATIC_DRAW);
        m_gl.EnableVertexAttribArray(0);
        m_gl.VertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 8, nullptr);
        m_gl.BindVertexArray(GLuint(vao));
        m_gl.BindBuffer(GL_ARRAY_BUFFER, GLuint(array));
        return true;
    }
    void free()
    {
        if (!m_program) return;
        m_gl.DeleteProgram(m_program);
        m_gl.DeleteVertexArrays(1, &m_vao);
        m_gl.DeleteBuffers(2, m_buffers);
    }

    void draw(std::uint64_t draws)
    {
        GLint vao = 0, program = 0;
        m_gl.GetIntegerv(GL_VERTEX_ARRAY_BINDING, &vao);
        m_gl.GetIntegerv(GL_CURRENT_PROGRAM, &program);
        m_gl.UseProgram(m_program);
        m_gl.BindVertexArray(m_vao);
        for (std::uint64_t i = 0; i < draws; ++i)
            m_gl.DrawElementsBaseVertex(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, nullptr,
                                        GLint(4 * (i % k_floor_quads)));
        m_gl.Finish();
        m_gl.BindVertexArray(GLuint(vao));
        m_gl.UseProgram(GLuint(program));
    }
    void finish() { m_gl.Finish(); }

private:
    void attach(GLenum kind, const char* source)
    {
        const GLuint shader = m_gl.CreateShader(kind);
        m_gl.ShaderSource(shader, 1, &source, nullptr);
        m_gl.CompileShader(shader);
        m_gl.AttachShader(m_program, shader);
        m_gl.DeleteShader(shader);
    }

    FloorGl m_gl{};
    GLuint m_program = 0;
    GLuint m_vao = 0;
    GLuint m_buffers[2] = {};
};

double thread_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// The main thread's processor time the work takes.
double seconds_of(auto&& work)
{
    const double start = thread_seconds();
    work();
    return thread_seconds() - start;
}

void run_frames(benchmark::State& state, bool quads_in_row_11)
{
    const HWND window = bench_gl_window(k_width, k_height);
    if (!window) return state.SkipWithError("no OpenGL video driver");
    const std::filesystem::path folder = bench_mount_shaders("kro_bench_glq_");
    QuadSource source{};
    BoxSource box;
    Floor floor;
    const bool started = !folder.empty() && bench_start_engine(window, k_width, k_height) &&
                         d3d8_device_backend(*g_d3d_device) && SUCCEEDED(g_d3d_device->BeginScene());
    if (started) {
        D3DXMatrixIdentity(&source.world);
        g_d3d_device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &source.texture);
    }
    if (!started || !box.load() || !floor.make()) {
        state.SkipWithError("the device, the box or the floor could not be made");
    } else {
        double frame_time = 0.0, floor_time = 0.0;
        std::uint64_t draws = 0;
        for (auto _ : state) {
            const std::uint64_t before = d3d8_call_counts(*g_d3d_device).draws;
            const double frame = seconds_of([&] {
                renderer_reset_frame_state();
                bench_queue_frame(source, box, quads_in_row_11);
                renderer_draw_frame();
                floor.finish();
            });
            const std::uint64_t frame_draws = d3d8_call_counts(*g_d3d_device).draws - before;
            state.SetIterationTime(frame);
            frame_time += frame;
            floor_time += seconds_of([&] { floor.draw(frame_draws); });
            draws += frame_draws;
        }
        state.counters["draws/frame"] =
            benchmark::Counter(static_cast<double>(draws), benchmark::Counter::kAvgIterations);
        state.counters["floor_ms"] = 1000.0 * floor_time / static_cast<double>(state.iterations());
        state.counters["x_floor"] = frame_time / floor_time;
        g_d3d_device->EndScene();
    }
    floor.free();
    model_free(box.model);
    if (source.texture) source.texture->Release();
    bench_stop_engine(folder);
    bench_destroy_gl_window(window);
}

void BM_GlQueueFrame(benchmark::State& state)
{
    run_frames(state, false);
}
void BM_GlQueueFrameQuadsInRow11(benchmark::State& state)
{
    run_frames(state, true);
}

} // namespace

BENCHMARK(BM_GlQueueFrame)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GlQueueFrameQuadsInRow11)->UseManualTime()->Unit(benchmark::kMillisecond);
