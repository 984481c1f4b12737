#include "object/actor/go_actor.h"

GoActor* g_player = nullptr;
GoActor* g_camera_focus = nullptr;

GoActor::GoActor() : GoBase(go_next_object_id(GO_CLASS_ACTOR), GO_CLASS_ACTOR) {}

// A world clear deletes the player with everything else; nothing may point at it afterwards.
GoActor::~GoActor()
{
    if (g_player == this) g_player = nullptr;
    if (g_camera_focus == this) g_camera_focus = nullptr;
}
