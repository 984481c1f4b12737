// A small animated icon (surprise, talk and similar marks) hanging over an actor's head: a
// camera-facing quad cut from "emotion.dds" that plays its kind's frames, fades in, holds,
// fades out and dies.
#pragma once

#include "object/go_base.h"
#include "scenegraph/renderer_queue.h"

#include <cstdint>

class GoActor;

constexpr int EMOTION_KINDS = 4;  // a larger kind plays as the last one
constexpr int EMOTION_IMAGE = 13; // "emotion.dds": 8 x 2 cells of 32 x 32 texels in 256 x 64
constexpr int EMOTION_ROW = 13;
constexpr MaterialFlags EMOTION_MATERIAL = 1u | MAT_ALPHA_BLEND;
static_assert(EMOTION_MATERIAL == 65);
constexpr float EMOTION_SIZE = 0.75f;       // the quad's edge in world units
constexpr float EMOTION_OWNER_LIFT = 0.75f; // above the owner's position, under the height offset
constexpr std::uint32_t EMOTION_FADE_IN_TICKS = 15;
constexpr std::uint32_t EMOTION_FADE_OUT_TICKS = 25; // after the hold; it dies at their end

class GoEmotion : public GoBase {
public:
    GoEmotion() : GoBase(go_next_object_id(GO_CLASS_EMOTION), GO_CLASS_EMOTION) {}

    // Unless the world is paused: follows the owner while its handle holds it (dead or not)
    // and, on whole ticks, counts, picks the frame, builds the quad and fades, dying at the hold
    // time + 25 ticks or later. On drawn steps faces the camera and queues its quad in row 13.
    void Update() override;
    // The hold time + 25: a counter set here ends the icon at its next whole tick.
    std::uint32_t FullDuration() const;
    // The cell of the kind's frame list shown at the counter.
    int Cell() const;

    ObjHandle<GoActor> owner; // the creator sets owner, kind and height offset
    std::uint32_t kind = 0;   // 0-3
    float height_offset = 0.0f;
    std::uint32_t tick_counter = 0;
    float fade = 0.0f;
    QuadVertex quad[4] = {}; // in strip order, in the object's camera-facing frame
};
