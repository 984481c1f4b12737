// Deletes objects at the fixed points where no update runs. Both operations walk the pools in
// one order: scripts and windows before the actors they refer to, effects before their
// particles, meshes and effects before the bosses that move them.
#pragma once

// After each drawn frame: deletes every dead object that nobody references any more.
void obj_sweep_dead();
// At a world clear and at shutdown: kills and deletes every object whatever holds it, and gives
// every water ripple back.
void obj_destroy_all();
