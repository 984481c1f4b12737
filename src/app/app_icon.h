// The program's own resources: what a resource compiler would have bound into the executable.
#pragma once

// Declares the game's icon (resource 101) in its two sizes.
void app_register_resources();
