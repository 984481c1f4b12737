// The OpenGL entry points the Direct3D 8 backend calls, loaded through SDL for the context that
// is current (no link against a GL library). Only src/platform/d3d8_gl*.cpp include this.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <SDL_opengl.h>

#define D3D8_GL_FUNCTIONS(X)                                                                                 \
    X(glGetError)                                                                                            \
    X(glGetString)                                                                                           \
    X(glGetIntegerv)                                                                                         \
    X(glEnable)                                                                                              \
    X(glDisable)                                                                                             \
    X(glViewport)                                                                                            \
    X(glDepthRange)                                                                                          \
    X(glScissor)                                                                                             \
    X(glClearColor)                                                                                          \
    X(glClearDepth)                                                                                          \
    X(glClearStencil)                                                                                        \
    X(glClear)                                                                                               \
    X(glColorMask)                                                                                           \
    X(glDepthMask)                                                                                           \
    X(glDepthFunc)                                                                                           \
    X(glStencilMask)                                                                                         \
    X(glStencilFunc)                                                                                         \
    X(glStencilOp)                                                                                           \
    X(glBlendFunc)                                                                                           \
    X(glBlendEquation)                                                                                       \
    X(glCullFace)                                                                                            \
    X(glFrontFace)                                                                                           \
    X(glPolygonMode)                                                                                         \
    X(glPixelStorei)                                                                                         \
    X(glReadPixels)                                                                                          \
    X(glClipControl)                                                                                         \
    X(glGenTextures)                                                                                         \
    X(glDeleteTextures)                                                                                      \
    X(glBindTexture)                                                                                         \
    X(glActiveTexture)                                                                                       \
    X(glTexImage2D)                                                                                          \
    X(glTexSubImage2D)                                                                                       \
    X(glCompressedTexImage2D)                                                                                \
    X(glTexParameteri)                                                                                       \
    X(glGenSamplers)                                                                                         \
    X(glDeleteSamplers)                                                                                      \
    X(glBindSampler)                                                                                         \
    X(glSamplerParameteri)                                                                                   \
    X(glSamplerParameterf)                                                                                   \
    X(glSamplerParameterfv)                                                                                  \
    X(glGenRenderbuffers)                                                                                    \
    X(glDeleteRenderbuffers)                                                                                 \
    X(glBindRenderbuffer)                                                                                    \
    X(glRenderbufferStorage)                                                                                 \
    X(glRenderbufferStorageMultisample)                                                                      \
    X(glGenFramebuffers)                                                                                     \
    X(glDeleteFramebuffers)                                                                                  \
    X(glBindFramebuffer)                                                                                     \
    X(glFramebufferTexture2D)                                                                                \
    X(glFramebufferRenderbuffer)                                                                             \
    X(glBlitFramebuffer)                                                                                     \
    X(glGenBuffers)                                                                                          \
    X(glDeleteBuffers)                                                                                       \
    X(glBindBuffer)                                                                                          \
    X(glBufferData)                                                                                          \
    X(glBufferSubData)                                                                                       \
    X(glGenVertexArrays)                                                                                     \
    X(glDeleteVertexArrays)                                                                                  \
    X(glBindVertexArray)                                                                                     \
    X(glEnableVertexAttribArray)                                                                             \
    X(glDisableVertexAttribArray)                                                                            \
    X(glVertexAttribPointer)                                                                                 \
    X(glDrawArrays)                                                                                          \
    X(glDrawElementsBaseVertex)                                                                              \
    X(glCreateShader)                                                                                        \
    X(glDeleteShader)                                                                                        \
    X(glShaderSource)                                                                                        \
    X(glCompileShader)                                                                                       \
    X(glGetShaderiv)                                                                                         \
    X(glGetShaderInfoLog)                                                                                    \
    X(glCreateProgram)                                                                                       \
    X(glDeleteProgram)                                                                                       \
    X(glAttachShader)                                                                                        \
    X(glBindAttribLocation)                                                                                  \
    X(glLinkProgram)                                                                                         \
    X(glGetProgramiv)                                                                                        \
    X(glGetProgramInfoLog)                                                                                   \
    X(glUseProgram)                                                                                          \
    X(glGetUniformLocation)                                                                                  \
    X(glUniform1i)                                                                                           \
    X(glUniform1f)                                                                                           \
    X(glUniform4f)                                                                                           \
    X(glUniform4fv)

struct D3D8GlApi {
#define D3D8_GL_MEMBER(name) decltype(&::name) name = nullptr;
    D3D8_GL_FUNCTIONS(D3D8_GL_MEMBER)
#undef D3D8_GL_MEMBER
};

// The entry points of the current context; every backend context shares them.
extern D3D8GlApi g_gl;

// Loads g_gl for the current context. False when the context is older than OpenGL 3.3 or
// lacks clip control (Direct3D's depth range) or a function is missing.
bool d3d8_gl_load();
