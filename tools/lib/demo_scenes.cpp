#include "lib/demo_scenes.h"

#include "lib/demo_room.h"

namespace {

// The ring script runs beside the tour. The camera tours the box over the ramp and comes back;
// then the map waits for its flag and clears it as it goes on, so that coming back through the
// doorway does not send one on again.
constexpr const char* k_first_map_tail = R"(call FUNCID_SCRIPT_START "ring"
call FUNCID_CAMERA_FORCE_REGION 1 30
call FUNCID_WAIT_TICKS 60
call FUNCID_CAMERA_FREE_REGION 30
call FUNCID_WAIT_FLAG flag:202 1
call FUNCID_FLAG_SETINT flag:202 0
call FUNCID_SCENE_CHANGE "s_10\s_1010\"
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
         .start_script = demo_room_start_script(demo_room_second_style(), 2, ""),
         .title = "Starting Room",
         .info_text = "The room where the journey begins.",
         .map_x = 120,
         .map_y = 96},
        {.path = "s_11\\s_1112\\",
         .music = DEMO_MAP_MUSIC,
         .start_script = demo_room_start_script(demo_room_first_style(), 1, k_first_map_tail),
         .title = "Forest Road",
         .scripts = {{"ring", k_ring_script}}},
    };
    set.music = {
        {DEMO_MAP_MUSIC, "demo", 220.0},
        {DEMO_TITLE_MUSIC, "title", 330.0},
        {DEMO_ROOM_MUSIC, "room", 262.0},
        {DEMO_GAMEOVER_MUSIC, "gameover", 147.0},
    };
    return set;
}
