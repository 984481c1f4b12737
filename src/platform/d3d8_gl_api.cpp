// Loading the OpenGL entry points of the Direct3D 8 backend.
#include "platform/impl/d3d8_gl_api.h"

#include <SDL.h>

#include <cstdio>

D3D8GlApi g_gl;

namespace {

bool version_at_least(int major, int minor)
{
    const char* text = reinterpret_cast<const char*>(g_gl.glGetString(GL_VERSION));
    int have_major = 0, have_minor = 0;
    if (!text || std::sscanf(text, "%d.%d", &have_major, &have_minor) != 2) return false;
    return have_major > major || (have_major == major && have_minor >= minor);
}

} // namespace

bool d3d8_gl_load()
{
    bool complete = true;
#define D3D8_GL_LOAD(name)                                                                                   \
    g_gl.name = reinterpret_cast<decltype(g_gl.name)>(SDL_GL_GetProcAddress(#name));                         \
    complete = complete && g_gl.name != nullptr;
    D3D8_GL_FUNCTIONS(D3D8_GL_LOAD)
#undef D3D8_GL_LOAD
    if (!complete || !version_at_least(3, 3)) return false;
    return version_at_least(4, 5) || SDL_GL_ExtensionSupported("GL_ARB_clip_control");
}
