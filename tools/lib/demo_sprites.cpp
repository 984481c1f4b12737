#include "lib/demo_sprites.h"

#include "lib/aia_writer.h"
#include "lib/demo_scenes.h"
#include "lib/packed_writer.h"
#include "lib/script_assembler.h"
#include "lib/sound_table_writer.h"
#include "lib/wav_writer.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

constexpr std::uint16_t k_canvas_width = 32;
constexpr std::uint16_t k_canvas_height = 48;
constexpr std::uint32_t k_directions = 8;

// Animation keys of the figure: 0 stand (the default), 1 walk, 2 run, 3 jump and fall.
struct Animation {
    std::uint32_t key;
    std::uint32_t frames;
    float stride; // how far the legs swing
};
constexpr Animation k_animations[] = {{0, 2, 0.0f}, {1, 4, 3.0f}, {2, 4, 5.0f}, {3, 2, 2.0f}};

// Walk, run, stand, jump (its follow-up stands again) and the defeat, which stays down.
constexpr const char* k_hero_script = R"(images 13
action 0 1
loop: call FUNCID_SET_ANIM 1 0
call FUNCID_WAIT 6
call FUNCID_SET_ANIM 1 1
call FUNCID_FOOTSTEP 0
call FUNCID_WAIT 6
call FUNCID_SET_ANIM 1 2
call FUNCID_WAIT 6
call FUNCID_SET_ANIM 1 3
call FUNCID_FOOTSTEP 0
call FUNCID_WAIT 6
SCRIPT_OP_JUMP @loop
action 1 1
loop: call FUNCID_SET_ANIM 2 0
call FUNCID_WAIT 4
call FUNCID_SET_ANIM 2 1
call FUNCID_WAIT 4
call FUNCID_SET_ANIM 2 2
call FUNCID_WAIT 4
call FUNCID_SET_ANIM 2 3
call FUNCID_WAIT 4
SCRIPT_OP_JUMP @loop
action 2 0
loop: call FUNCID_SET_ANIM 0 0
call FUNCID_WAIT 30
call FUNCID_SET_ANIM 0 1
call FUNCID_WAIT 30
SCRIPT_OP_JUMP @loop
action 3 2
call FUNCID_SET_ANIM 3 0
call FUNCID_JUMP 0
call FUNCID_WAIT 20
call FUNCID_SET_ANIM 3 1
call FUNCID_WAIT 10
action 5 9
call FUNCID_SET_ANIM 3 1
call FUNCID_NO_HIT 1
call FUNCID_MARK 1
down: call FUNCID_WAIT 60
SCRIPT_OP_JUMP @down
)";

std::uint32_t body_colour(int archive)
{
    const std::uint32_t shade = static_cast<std::uint32_t>(archive * 37 % 128 + 64);
    return 0xFF000000 | shade << 16 | (255 - shade) << 8 | 0x60;
}

// A head, a body and two legs; a dark nose shows where the figure looks. Direction 0 looks right
// and the directions turn counter-clockwise.
AiaFrame figure(int archive, std::uint32_t direction, const Animation& animation, std::uint32_t frame)
{
    AiaFrame layer;
    layer.pixels.assign(std::size_t{k_canvas_width} * k_canvas_height, 0);
    const float swing =
        animation.stride * std::sin(static_cast<float>(frame) * std::numbers::pi_v<float> / 2.0f);
    const float lift = animation.key == 3 ? 4.0f : 0.0f;
    const float angle = static_cast<float>(direction) * std::numbers::pi_v<float> / 4.0f;
    const float nose_x = 16.0f + 5.0f * std::cos(angle);
    const float nose_y = 10.0f - 3.0f * std::sin(angle);
    const std::uint32_t body = body_colour(archive);
    for (int y = 0; y < k_canvas_height; ++y) {
        for (int x = 0; x < k_canvas_width; ++x) {
            const float fx = static_cast<float>(x) + 0.5f, fy = static_cast<float>(y) + 0.5f + lift;
            std::uint32_t colour = 0;
            if (std::hypot(fx - 16.0f, fy - 10.0f) < 6.0f) colour = 0xFFF0C8A0;
            if (std::hypot(fx - nose_x, fy - nose_y) < 1.6f) colour = 0xFF402010;
            if (fy >= 17.0f && fy < 33.0f && std::fabs(fx - 16.0f) < 6.0f) colour = body;
            if (fy >= 33.0f && fy < 46.0f &&
                (std::fabs(fx - 13.0f - swing) < 2.0f || std::fabs(fx - 19.0f + swing) < 2.0f))
                colour = 0xFF303060;
            layer.pixels[std::size_t(y) * k_canvas_width + std::size_t(x)] = colour;
        }
    }
    aia_set_hot_spot(layer, 16.0f, 46.0f);
    // The frame's height pulls the figure toward the camera by that many world units, so that it
    // does not sink into the wall behind it; half a unit clears the demo's walls.
    layer.height = 0.5f;
    return layer;
}

AiaArchive figure_archive(int archive)
{
    AiaArchive result;
    result.canvas_width = k_canvas_width;
    result.canvas_height = k_canvas_height;
    result.scale = 1.0f;
    for (const Animation& animation : k_animations) {
        AiaEntry entry;
        entry.key = animation.key;
        entry.directions = k_directions;
        entry.frames_per_direction = animation.frames;
        for (std::uint32_t direction = 0; direction < k_directions; ++direction)
            for (std::uint32_t frame = 0; frame < animation.frames; ++frame)
                entry.frames.push_back(figure(archive, direction, animation, frame));
        result.entries.push_back(std::move(entry));
    }
    return result;
}

std::vector<std::uint8_t> wav(std::uint32_t frames, double hz)
{
    const WavFormat mono{1, 22050, 16};
    return wav_build_pcm(mono, wav_tone(mono, frames, hz));
}

} // namespace

std::vector<ArchiveSource> demo_sprite_files()
{
    char path[64];
    std::snprintf(path, sizeof path, "data\\ani\\c_%03d.aso.z", DEMO_HERO_SCRIPT_SET);
    std::vector<ArchiveSource> files = {{path, packed_build(sasm_assemble_or_throw(k_hero_script))}};
    for (int archive = DEMO_FIRST_PRELOADED_IMAGES; archive <= DEMO_LAST_PRELOADED_IMAGES; ++archive)
        files.push_back({aia_archive_path(archive), aia_packed(figure_archive(archive))});
    return files;
}

// Effect 0 is the existing demo tone, preloaded; 5 the level-up chime; 6 a 3-D step; 7 a hum
// that loops; 8 a 3-D bell and 9 a chord for the show script.
std::vector<ArchiveSource> demo_sound_files()
{
    SoundTableWriter table;
    table.Comment("id name 3d loop single voices preload keep min_ms min_dist max_dist soft hard");
    table.Effect({.id = 0, .name = "demo", .voices = 1, .preload = true});
    table.Effect({.id = DEMO_LEVEL_UP_SOUND, .name = "levelup", .voices = 2});
    table.Effect({.id = 6,
                  .name = "step",
                  .is_3d = true,
                  .voices = 4,
                  .min_play_ms = 50,
                  .min_distance = 2,
                  .max_distance = 40});
    table.Effect({.id = 7, .name = "hum", .loop = true, .single = true, .voices = 1});
    table.Effect({.id = DEMO_SHOW_POINT_SOUND,
                  .name = "bell",
                  .is_3d = true,
                  .voices = 1,
                  .min_distance = 2,
                  .max_distance = 40});
    table.Effect({.id = DEMO_SHOW_SOUND, .name = "chord", .voices = 1});
    return {
        {SOUND_TABLE_EFFECT_PATH, table.Bytes()},
        {"data\\wave\\effect\\levelup.wav", wav(11025, 880.0)},
        {"data\\wave\\effect\\step.wav", wav(2205, 220.0)},
        {"data\\wave\\effect\\hum.wav", wav(22050, 110.0)},
        {"data\\wave\\effect\\bell.wav", wav(11025, 1320.0)},
        {"data\\wave\\effect\\chord.wav", wav(11025, 523.0)},
    };
}

std::vector<ArchiveSource> demo_event_files()
{
    constexpr const char* fade = R"(action 0
call FUNCID_EVENT_BEGIN 0
call FUNCID_FADE_COLORS 0x203060 0
call FUNCID_FADE_SPEED 20
call FUNCID_FADE_TO 1.0
call FUNCID_WAIT_FADE
call FUNCID_WAIT_FLAG flag:200 1
call FUNCID_FADE_TO 0.0
call FUNCID_WAIT_FADE
call FUNCID_EVENT_END
)";
    constexpr const char* flag = R"(action 0
call FUNCID_WAIT_TICKS 45
call FUNCID_FLAG_SETINT flag:200 1
)";
    return {{"data\\map\\demo\\fade.xso.z", packed_build(sasm_assemble_or_throw(fade))},
            {"data\\map\\demo\\flag.xso.z", packed_build(sasm_assemble_or_throw(flag))}};
}

std::string demo_music_table()
{
    return scene_set_music_table(demo_scene_set());
}
