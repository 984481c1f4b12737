// A short text floating in the world (damage numbers, "Level Up", item names) that follows its
// target, rises, fades and dies.
#pragma once

#include "object/go_base.h"
#include "scenegraph/renderer.h"

#include <cstdint>
#include <memory>

constexpr int POPUP_TEXT_SIZE = 32; // 31 bytes and the terminator
constexpr int POPUP_GLYPHS = 31;

class GoPopup : public GoBase {
public:
    GoPopup() : GoBase(go_next_object_id(GO_CLASS_POPUP), GO_CLASS_POPUP) {}

    ObjHandle<GoBase> target;
    std::uint32_t tick_counter = 0; // whole ticks
    std::uint32_t colour = 0;       // RGB
    float fade = 0.0f;
    float age = 0.0f; // in steps
    char text[POPUP_TEXT_SIZE] = {};
    std::uint32_t triangle_count = 0;        // two per glyph
    float glyph_y[POPUP_GLYPHS][2] = {};     // top and bottom of each glyph before the animation
    std::unique_ptr<BatchVertex[]> vertices; // six per glyph
};
