// The game over: the player fell, and the world waits for the retry or the way to the title.
#pragma once

#include <cstdint>

extern std::uint8_t g_game_over;    // a game over has started; cleared at scene entry
extern std::uint8_t g_world_frozen; // the world classes pause until the scene changes

// Once a game over: the screen darkens to a third, the picture and the "Retry" / "Return to
// Title" dialog appear, and the game-over music plays (the last two outside time attack).
void gameover_open();
// The dialog's choices: re-enter the scene from the retry snapshot, or go to the title.
class GoWndDialog;
void gameover_cb_retry(GoWndDialog& dialog);
void gameover_cb_title(GoWndDialog& dialog);
