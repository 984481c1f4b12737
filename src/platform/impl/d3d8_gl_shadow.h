// What the OpenGL backend last set on its context, so a draw sends only what differs. Every
// value starts unknown: the first set of each is sent. Code that changes the context behind the
// shadow (presentation, read-back, resource creation) forgets what it touched.
#pragma once

#include "platform/impl/d3d8_gl_api.h"

#include <array>
#include <cstdint>
#include <optional>

constexpr GLuint D3D8_GL_SHADOW_UNITS = 8;

class GlStateShadow {
public:
    enum Capability { DEPTH_TEST, BLEND, CULL_FACE, STENCIL_TEST, MULTISAMPLE, SCISSOR_TEST, CAPABILITIES };

    void forget() { *this = GlStateShadow{}; }
    // After a buffer or texture is deleted: GL unbinds it wherever it was bound.
    void forget_bindings()
    {
        m_element_buffer.reset();
        m_textures.fill(std::nullopt);
    }

    void enable(Capability capability, bool on)
    {
        static constexpr GLenum k_names[CAPABILITIES] = {GL_DEPTH_TEST,   GL_BLEND,       GL_CULL_FACE,
                                                         GL_STENCIL_TEST, GL_MULTISAMPLE, GL_SCISSOR_TEST};
        if (!changed(m_enabled[capability], on)) return;
        if (on)
            g_gl.glEnable(k_names[capability]);
        else
            g_gl.glDisable(k_names[capability]);
    }
    void depth_func(GLenum func)
    {
        if (changed(m_depth_func, func)) g_gl.glDepthFunc(func);
    }
    void depth_mask(bool on)
    {
        if (changed(m_depth_mask, on)) g_gl.glDepthMask(on ? GL_TRUE : GL_FALSE);
    }
    void blend(GLenum source, GLenum dest, GLenum equation)
    {
        if (changed(m_blend_func, {source, dest})) g_gl.glBlendFunc(source, dest);
        if (changed(m_blend_equation, equation)) g_gl.glBlendEquation(equation);
    }
    void front_face(GLenum winding)
    {
        if (changed(m_front_face, winding)) g_gl.glFrontFace(winding);
    }
    // Bits 0-3: red, green, blue, alpha.
    void color_mask(std::uint32_t bits)
    {
        if (changed(m_color_mask, bits))
            g_gl.glColorMask(bits & 1 ? GL_TRUE : GL_FALSE, bits & 2 ? GL_TRUE : GL_FALSE,
                             bits & 4 ? GL_TRUE : GL_FALSE, bits & 8 ? GL_TRUE : GL_FALSE);
    }
    void stencil(GLenum func, GLint ref, GLuint mask, std::array<GLenum, 3> ops)
    {
        if (changed(m_stencil_func, {func, GLuint(ref), mask})) g_gl.glStencilFunc(func, ref, mask);
        if (changed(m_stencil_ops, ops)) g_gl.glStencilOp(ops[0], ops[1], ops[2]);
    }
    void stencil_mask(GLuint mask)
    {
        if (changed(m_stencil_mask, mask)) g_gl.glStencilMask(mask);
    }
    void polygon_mode(GLenum mode)
    {
        if (changed(m_polygon_mode, mode)) g_gl.glPolygonMode(GL_FRONT_AND_BACK, mode);
    }
    void viewport(GLint x, GLint y, GLsizei width, GLsizei height)
    {
        if (changed(m_viewport, {x, y, width, height})) g_gl.glViewport(x, y, width, height);
    }
    void depth_range(float near_z, float far_z)
    {
        if (changed(m_depth_range, {near_z, far_z})) g_gl.glDepthRange(near_z, far_z);
    }
    void draw_framebuffer(GLuint framebuffer)
    {
        if (changed(m_draw_framebuffer, framebuffer))
            g_gl.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
    }
    void program(GLuint program)
    {
        if (changed(m_program, program)) g_gl.glUseProgram(program);
    }
    void element_buffer(GLuint buffer)
    {
        if (changed(m_element_buffer, buffer)) g_gl.glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
    }
    void texture(GLuint unit, GLuint name)
    {
        if (!changed(m_textures[unit], name)) return;
        active_unit(unit);
        g_gl.glBindTexture(GL_TEXTURE_2D, name);
    }
    // Binds a texture on whichever unit is active, to create or fill it.
    void work_texture(GLuint name) { texture(m_active_unit.value_or(0), name); }
    void sampler(GLuint unit, GLuint sampler)
    {
        if (changed(m_samplers[unit], sampler)) g_gl.glBindSampler(unit, sampler);
    }
    // The vertex attributes enabled, bit n for location n: only the differences are sent.
    void enabled_attributes(std::uint32_t mask)
    {
        const std::uint32_t was = m_attributes.value_or(~mask & 0xFFFF);
        for (GLuint location = 0; location < 16; ++location) {
            const std::uint32_t bit = 1u << location;
            if ((was ^ mask) & bit) {
                if (mask & bit)
                    g_gl.glEnableVertexAttribArray(location);
                else
                    g_gl.glDisableVertexAttribArray(location);
            }
        }
        m_attributes = mask;
    }

private:
    template <class T> static bool changed(std::optional<T>& shadow, const T& value)
    {
        if (shadow == value) return false;
        shadow = value;
        return true;
    }
    void active_unit(GLuint unit)
    {
        if (changed(m_active_unit, unit)) g_gl.glActiveTexture(GL_TEXTURE0 + unit);
    }

    std::array<std::optional<bool>, CAPABILITIES> m_enabled{};
    std::optional<GLenum> m_depth_func, m_blend_equation, m_front_face, m_polygon_mode;
    std::optional<bool> m_depth_mask;
    std::optional<std::array<GLenum, 2>> m_blend_func;
    std::optional<std::uint32_t> m_color_mask;
    std::optional<std::array<GLuint, 3>> m_stencil_func;
    std::optional<std::array<GLenum, 3>> m_stencil_ops;
    std::optional<GLuint> m_stencil_mask;
    std::optional<std::array<GLint, 4>> m_viewport;
    std::optional<std::array<float, 2>> m_depth_range;
    std::optional<GLuint> m_draw_framebuffer, m_program, m_element_buffer, m_active_unit;
    std::array<std::optional<GLuint>, D3D8_GL_SHADOW_UNITS> m_textures{}, m_samplers{};
    std::optional<std::uint32_t> m_attributes;
};
