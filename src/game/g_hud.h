// The HUD over the game view: the four gauges whose shown values glide toward their targets, and
// the builders that turn the player's status, the gauges and the clocks into screen quads and
// texts on the 640x480 virtual screen. The HUD overlay draws them in a fixed order.
#pragma once

#include "platform/d3d8.h"
#include "scenegraph/renderer.h"
#include "scenegraph/renderer_queue.h"

#include <cstddef>
#include <cstdint>
#include <span>

constexpr int HUD_GAUGE_COUNT = 4;
constexpr int HUD_GAUGE_HP = 0;    // the player's hit points
constexpr int HUD_GAUGE_MP = 1;    // the player's magic
constexpr int HUD_GAUGE_ENEMY = 3; // the enemy or boss last hit

constexpr std::uint32_t HUD_GAUGE_SHOW_NUMBERS = 0x4; // "%d/%d" beside the bar
constexpr std::uint32_t HUD_GAUGE_SET_FLAGS = 6;

// The HUD's images in the game image table.
constexpr int IMAGE_TABLE_HUD_STATUS = 45; // "status_new.dds", 256 x 256
constexpr int IMAGE_TABLE_HUD_ENEMY = 46;  // "hp2.dds"

constexpr MaterialFlags HUD_MATERIAL_PULSE = 0xC1;   // the boost, the charge and the icons
constexpr MaterialFlags HUD_MATERIAL_BARS = 0x20041; // the status and the enemy gauge
constexpr MaterialFlags HUD_MATERIAL_FLUSH = 0;      // before the HUD's own states

struct HudGauge {
    std::uint32_t kind;  // 0 player hit points, 1 player magic, 2 unused, 3 enemy
    std::uint32_t owner; // an object id; 0 inactive, and nothing of the gauge is drawn
    std::uint32_t flags; // HUD_GAUGE_SHOW_NUMBERS
    std::uint32_t counter;
    float width; // the bar's pixels
    D3DCOLOR color_empty;
    D3DCOLOR color_full;
    D3DCOLOR color_third;
    float rate; // of the maximum per tick, before the step's 0.2
    float target;
    float shown;
    float max;
    float pixels_per_unit;
    D3DCOLOR color;
};
static_assert(sizeof(HudGauge) == 56);

extern HudGauge g_hud_gauges[HUD_GAUGE_COUNT];

// The gauges as the game starts: no owners, the kinds, flags and colours of each.
void hud_gauges_init();
// A new owner makes the shown value jump to `value`; the same owner with a new value glides from
// its previous target, with an unchanged one keeps gliding as it was. A maximum of 0 or less is an
// empty gauge.
void hud_gauge_set(std::uint32_t owner, int gauge, float value, float max);
// As hud_gauge_set, with the shown value at `value` at once whatever the owner was.
void hud_gauge_bind(std::uint32_t owner, int gauge, float value, float max);
// One whole tick of the gauge: the player's gauge also runs the HUD's pulse counters while the
// world is not frozen; the shown value moves toward the target and the colour follows it.
void hud_gauge_update(int gauge);
// Each channel from the empty colour toward the full one by target / maximum, alpha of the empty.
void hud_gauge_color(int gauge);
// Every gauge loses its owner, so its next binding shows the new value at once.
void hud_gauges_release();
// The HUD gone at once rather than faded.
void hud_hide_now();
// Gauge record `gauge` is in use (`gauge` 0-3).
bool hud_gauge_active(int gauge);

// The most quads the builders make in one frame; the list is made once and reused.
constexpr int HUD_MAX_QUADS = 48;
// The quads built since the list was last emptied.
std::span<const ScreenVertex> hud_vertices();
std::size_t hud_quad_count();
void hud_clear_quads();

// Builders: each appends its quads on "status_new.dds" (the enemy gauge's on "hp2.dds").
void hud_draw_status();
void hud_draw_mp_bar();
void hud_draw_charge();
void hud_draw_boost();
// Draws the icons, levels and texts at once, and hands the play time to its statistic.
void hud_draw_texts();
// Builds and draws the enemy gauge with its numbers.
void hud_draw_gauge();
// The middle font at scale 1.
void hud_draw_text(D3DCOLOR colour, const char* text, float x, float y);
// The time (ticks at 60 a second when `ticks`, else milliseconds) in the large font, white with
// the HUD's alpha; without hours it starts 34 x scale further right. Returns where it starts.
float hud_draw_time(std::uint32_t time, float x, float y, float scale, bool ticks);
// Play ticks in milliseconds, held at the largest 32-bit count.
std::uint32_t hud_ticks_to_ms(std::int64_t ticks);

// The row-13 layers: the HUD, and the frame-rate line.
void hud_draw_cb(RenderQueueItem* item, void* user);
void hud_draw_fps_cb(RenderQueueItem* item, void* user);
// The tick's drawn step queues both layers when they have something to show.
void hud_queue_overlays();
