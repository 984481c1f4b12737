#include "lib/demo_scenes.h"

#include "lib/demo_room.h"

namespace {

// The ring and show scripts run beside the tour. The camera tours the box over the ramp and
// comes back; then the map waits for its flag, which stands for the hero walking on, and clears
// it as it goes on, so that coming back through the doorway does not send one on again.
constexpr const char* k_first_map_tail = R"(call FUNCID_SCRIPT_START "ring"
call FUNCID_SCRIPT_START "show"
call FUNCID_CAMERA_FORCE_REGION 1 30
call FUNCID_WAIT_TICKS 60
call FUNCID_CAMERA_FREE_REGION 30
call FUNCID_WAIT_FLAG flag:202 1
call FUNCID_FLAG_SETINT flag:202 0
call FUNCID_SCENE_CHANGE "s_10\s_1010\"
)";

// The room's show, once the camera's tour is over: a warm light from above the doorway, the
// pillar turning, the platform rising with a bell at its top and sinking back, a chord and a
// swell of zoom blur; once the ring has been found the show leads on to the second map. A
// light's direction points toward the light.
constexpr const char* k_show_script = R"(action 0
call FUNCID_WAIT_TICKS 150
call FUNCID_LIGHT_MAIN 0xFFFF8040 0.3 1.0 0.5
call FUNCID_LIGHT_EXTRA 0xFF304060 0xFF404040 0.0 1.0 0.0
call FUNCID_MESH_SPIN "pillar" 0.0 3.0 0.0
call FUNCID_MESH_MOVE "platform" 6.0 1.5 5.0 0.0 0.05
call FUNCID_WAIT_MESH_STOPPED "platform"
call FUNCID_SOUND_PLAY_AT 8 6.0 1.5 5.0
call FUNCID_MESH_MOVE "platform" 6.0 0.0 5.0 0.0 0.05
call FUNCID_WAIT_MESH_STOPPED "platform"
call FUNCID_SOUND_PLAY 9 1024
call FUNCID_SCREEN_ZOOMBLUR 0.05 0.02
call FUNCID_WAIT_TICKS 30
call FUNCID_SCREEN_ZOOMBLUR 0.65 -0.02
call FUNCID_WAIT_TICKS 40
call FUNCID_WAIT_SCRIPT_END "ring"
call FUNCID_SCENE_CHANGE "s_10\s_1010\"
)";

// The second map sends the hero back to the first after a few seconds.
constexpr const char* k_second_map_tail = R"(call FUNCID_WAIT_TICKS 300
call FUNCID_SCENE_CHANGE "s_11\s_1112\"
)";

// A few seconds after arriving, the hero finds the jade ring and learns of the first person of
// the people's topics.
constexpr const char* k_ring_script = R"(action 0
call FUNCID_WAIT_TICKS 180
call FUNCID_EVENT "JadeRing"
call FUNCID_TOPIC_KNOWN 86
)";

constexpr const char* k_nowhere_script = R"(action 0
SCRIPT_OP_YIELD
)";

} // namespace

// Scene 0 stands for "no scene": a request for id 0 means none. Only a scene step with nothing
// requested enters it, and its script then ends at once.
SceneSet demo_scene_set()
{
    SceneSet set;
    set.scenes = {
        {.path = "s_00\\s_0000\\", .start_script = k_nowhere_script, .title = "Nowhere"},
        {.path = "title\\", .music = DEMO_TITLE_MUSIC, .title = "Title"},
        {.path = "demo1\\", .title = "Demo 1"},
        {.path = "demo2\\", .title = "Demo 2"},
        {.path = "demo3\\", .title = "Demo 3"},
        {.path = "demo4\\", .title = "Demo 4"},
        {.path = "demo5\\", .title = "Demo 5"},
        {.path = "demo6\\", .title = "Logo"},
        {.path = "s_10\\s_1010\\",
         .music = DEMO_ROOM_MUSIC,
         .reverb = 1,
         .start_script = demo_room_start_script(demo_room_second_style(), 2, k_second_map_tail),
         .title = "Starting Room",
         .info_text = "The room where the journey begins.",
         .map_x = 120,
         .map_y = 96},
        {.path = "s_11\\s_1112\\",
         .music = DEMO_MAP_MUSIC,
         .start_script = demo_room_start_script(demo_room_first_style(), 1, k_first_map_tail),
         .title = "Forest Road",
         .scripts = {{"ring", k_ring_script}, {"show", k_show_script}}},
    };
    set.music = {
        {DEMO_MAP_MUSIC, "demo", 220.0},
        {DEMO_TITLE_MUSIC, "title", 330.0},
        {DEMO_ROOM_MUSIC, "room", 262.0},
        {DEMO_GAMEOVER_MUSIC, "gameover", 147.0},
    };
    return set;
}
