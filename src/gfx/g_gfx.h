// The game's graphics glue: the vertex-shader constants that game drawing shares, and the two
// draw hooks the game hands the renderer at start-up.
#pragma once

// The identity-world registers with the camera's own projection. The renderer's hook after the
// triangle batches; effects, windows and 2-D drawing call it before they draw.
void gfx_set_common_vs_constants();
// The same with the biased projection that lets ground decals win the depth test. It is the
// multi-purpose objects' upload, kept here because the renderer's hook before the batches is it.
void shader_set_common_constants();
// Installs both as the renderer's hooks around the triangle batches.
void gfx_install_renderer_hooks();
