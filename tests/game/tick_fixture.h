// The game tick on a device and renderer, with the object pools made and logging objects at hand:
// each step runs as the frame runs it, and every logged update notes what the object saw.
#pragma once

#include "core/timer.h"
#include "game/g_fade.h"
#include "game/g_gameover.h"
#include "game/g_play_state.h"
#include "game/g_pointer.h"
#include "game/g_rules.h"
#include "game/g_scene.h"
#include "game/g_settings.h"
#include "game/g_tick.h"
#include "object/object_fixture.h"
#include "platform/impl/test_seams.h"
#include "scenegraph/model.h"
#include "scenegraph/renderer_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

// What an object saw when it was updated.
struct TickSeen {
    std::uint8_t class_code;
    std::uint32_t object_id;
    std::uint8_t flags; // as the update found them
    std::uint8_t paused;
    std::uint8_t ai_paused;
    std::uint8_t draw_frame;
    std::int32_t play_frames;
    float effect_time;
    float wind_offset;
    float hud_alpha;
    float lamp_phase;
    RenderTargetId target;
    int active_lights;
};

class TickTest : public RendererTest {
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        // The tick begins the frame's scene itself.
        g_d3d_device->EndScene();
        reset_game_state();
        ASSERT_EQ(obj_create_pools(), S_OK);
        g_obj_log.clear();
        g_obj_update_hook = [this](GoBase& object) { note(object); };
    }
    void TearDown() override
    {
        g_obj_update_hook = nullptr;
        obj_destroy_all();
        obj_destroy_pools();
        g_obj_log.clear();
        seam_set_clock(nullptr);
        reset_game_state();
        RendererTest::TearDown();
    }

    static void reset_game_state()
    {
        g_play_state = {};
        play_scene_lighting() = g_scene_lighting_defaults;
        g_menu_open = 0;
        g_world_frozen = 0;
        g_game_over = 0;
        for (std::int32_t& count : g_event_lock_count)
            count = 0;
        g_timeattack_stage_ticks = g_timeattack_total_ticks = g_timeattack_after_ticks = 0;
        g_paused = g_ai_paused = 0;
        g_frame_step = 1.0f;
        g_hud_alpha = 0.0f;
        g_hud_color = 0;
        g_fire_blur = 0;
        g_model_scene = {};
        g_player = g_camera_focus = nullptr;
        g_fade = {};
        hud_pointer_init(); // a pointer left shown would queue itself into every later frame
        g_fade_layer = FADE_LAYER_BEHIND_HUD;
    }

    // One step of a frame as the main loop runs it: its index in the frame, whether a whole tick
    // passed and its length. The frame's scene ends after its first step, as the frame draws then.
    void step(std::uint32_t index = 1, bool whole = true, float length = 1.0f)
    {
        g_tick_index = index;
        g_whole_tick = whole;
        g_frame_step = length;
        game_run_tick();
        if (index == 1) g_d3d_device->EndScene();
    }

    void note(GoBase& object)
    {
        const PlayState& ps = g_play_state;
        m_seen.push_back({object.class_code, object.object_id, object.flags, g_paused, g_ai_paused,
                          g_draw_frame, ps.game_flags[GF_PLAY_FRAMES], ps.effect_time, ps.wind_offset,
                          g_hud_alpha, ps.lamp_phase, g_render_target, g_active_point_lights});
        if (m_on_update) m_on_update(object);
    }

    // What the objects of a class saw, in update order.
    std::vector<TickSeen> seen_by(std::uint8_t class_code) const
    {
        std::vector<TickSeen> seen;
        for (const TickSeen& s : m_seen)
            if (s.class_code == class_code) seen.push_back(s);
        return seen;
    }
    const TickSeen& seen_by_object(const GoBase& object) const
    {
        for (const TickSeen& s : m_seen)
            if (s.object_id == object.object_id) return s;
        ADD_FAILURE() << "object " << std::hex << object.object_id << " was not updated";
        return m_seen.front();
    }
    std::vector<std::uint8_t> updated_classes() const
    {
        std::vector<std::uint8_t> classes;
        for (const TickSeen& s : m_seen)
            classes.push_back(s.class_code);
        return classes;
    }

    std::vector<TickSeen> m_seen;
    std::function<void(GoBase&)> m_on_update; // a test's own doing inside an update
};
