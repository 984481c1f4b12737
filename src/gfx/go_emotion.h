// A small animated icon (surprise, talk and similar marks) hanging over an actor's head.
#pragma once

#include "object/go_base.h"
#include "scenegraph/renderer_queue.h"

#include <cstdint>

class GoActor;

class GoEmotion : public GoBase {
public:
    GoEmotion() : GoBase(go_next_object_id(GO_CLASS_EMOTION), GO_CLASS_EMOTION) {}

    ObjHandle<GoActor> owner;
    std::uint32_t kind = 0;     // 0-3
    float height_offset = 0.0f; // above the owner
    std::uint32_t tick_counter = 0;
    float fade = 0.0f;
    QuadVertex quad[4] = {};
};
