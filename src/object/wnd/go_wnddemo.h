// The title screen and the title movies.
#pragma once

#include "object/go_base.h"
#include "object/go_mesh.h"

#include <cstdint>

struct IDirect3DTexture8;

enum WndDemoMode : std::int32_t {
    WNDDEMO_TITLE = 0,
    WNDDEMO_MOVIE = 1,
};

extern std::uint8_t g_title_demo_active; // a title or demo window lives

// The title's page, built again by its menus whenever no page is open.
enum TitlePage : std::uint8_t {
    TITLE_PAGE_MAIN = 0,
    TITLE_PAGE_DIFFICULTY = 1,
    TITLE_PAGE_ARENA = 2,       // the arena and leaderboard window
    TITLE_PAGE_ARENA_AGAIN = 3, // back from a time attack: the arena list opens again
};
extern std::uint8_t g_title_page;
extern std::uint8_t g_title_view_only; // the arena window only shows the leaderboards
// The title's two overlays fade toward their shown flags.
extern std::uint8_t g_title_records_shown;
extern std::uint8_t g_title_leaderboard_shown;
extern float g_title_records_alpha;
extern float g_title_leaderboard_alpha;

class GoWndDemo : public GoBase {
public:
    GoWndDemo();

    // The title: its picture, and the first map as the scene a new game goes to.
    void InitTitle();
    // A movie scene leading to the scene of `next_path`; a movie that cannot be opened hands
    // over to that scene at once.
    void InitDemo(const char* next_path, std::int32_t movie_index);
    // Leaves the title for the next scene through the screen fade, once.
    void LeaveTitle();
    // The scene of the path becomes the next one; unchanged when the path is not in the list.
    void SetNextScene(const char* path);
    void Update() override;

    std::uint8_t leaving = 0;            // LeaveTitle has run
    std::uint8_t extra_difficulties = 0; // the marker beside the program offers two more
    std::int32_t next_scene = 0;         // the scene-list entry that follows
    WndDemoMode mode = WNDDEMO_TITLE;
    IDirect3DTexture8* title_picture = nullptr;
    std::int32_t drawn_frames = 0;
    std::int32_t movie = 0;      // the movie's index
    ObjHandle<GoMesh> title_map; // the scenery behind the title; empty when the pool was full

protected:
    ~GoWndDemo() override;
};

// A new game from the title's choices: the play state made new, the title left, its music faded.
void title_start_game();
