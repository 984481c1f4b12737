// The world the game rules act on: the tick over a renderer, actors, the sound tables on the audio
// manager's loopback device (its thread stopped, so every sound posted stays in the command table),
// and a player whose status recompute keeps its values: level 60 (no level-ups from the empty game
// data) and its maximum hit points held by the items' share.
#pragma once

#include "doubles/world_fixture.h"
#include "game/g_play_status.h"
#include "game/g_rules.h"
#include "game/sound_fixture.h"
#include "lib/packed_writer.h"
#include "lib/script_assembler.h"
#include "lib/wav_writer.h"
#include "lowlv/audio/audio_fixture.h"
#include "object/actor/go_actor.h"
#include "object/go_script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

// The sounds the rules play; each is given the table's one sound file.
constexpr std::int32_t RULES_SOUNDS[] = {1, 102, 104, 110};
constexpr const char* RULES_SOUND_FILE = "data\\wave\\effect\\other.wav";
// The script set of the actors the rules act on: it has the actions they request (4 getting up,
// 315 the surprise).
constexpr std::int32_t RULES_SCRIPT_SET = 50;

class RulesTest : public ScriptWorldTest {
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        if (HasFatalFailure()) return;
        const WavFormat mono{1, 22050, 16};
        add_file({RULES_SOUND_FILE, wav_build_pcm(mono, wav_tone(mono, 220, 440.0))});
        add_file({actor_test_set_path(RULES_SCRIPT_SET),
                  packed_build(sasm_assemble_or_throw("images " + std::to_string(ACTOR_TEST_IMAGES) +
                                                      "\naction 0 1\nloop: call FUNCID_WAIT 9\n"
                                                      "SCRIPT_OP_JUMP @loop\naction 4 1\nSCRIPT_OP_YIELD\n"
                                                      "action 315 1\nSCRIPT_OP_YIELD\n"))});
        mount();
        sound_effects_start(m_saved_play_effect);
        for (std::int32_t id : RULES_SOUNDS)
            g_sound_table[id] = g_sound_table[ACTOR_TEST_OTHER_EFFECT];
        g_sound_count = std::max(g_sound_count, RULES_SOUNDS[std::size(RULES_SOUNDS) - 1] + 1);
        script_install_commands(); // for the scripts the rules start
    }
    void TearDown() override
    {
        sound_effects_stop(m_saved_play_effect);
        ScriptWorldTest::TearDown();
    }

    // An actor of the cast with the rules' script set, placed at the point.
    static GoActor& add_acting(std::int32_t key, std::int32_t cast, std::int32_t spawn_type,
                               const D3DXVECTOR3& at)
    {
        GoActor* actor = obj_create<GoActor>(g_pool_actor);
        EXPECT_NE(actor, nullptr);
        actor_setup(*actor, key, 1, spawn_type, RULES_SCRIPT_SET, cast);
        actor_set_position(at, *actor, 0.0f);
        return *actor;
    }
    // The player of the hero's cast with `hp` of `max_hp` hit points.
    static GoActor& add_player(float hp, float max_hp = 100.0f, const D3DXVECTOR3& at = {1.0f, 0.0f, 2.0f})
    {
        GoActor& player = add_acting(ACTOR_KEY_PLAYER, ACTOR_CAST_HERO, ACTOR_SPAWN_FRIEND, at);
        g_player = g_camera_focus = &player;
        set_player_hp(hp, max_hp);
        return player;
    }
    static void set_player_hp(float hp, float max_hp = 100.0f)
    {
        PlayState& ps = g_play_state;
        ps.status.level = PLAY_LEVEL_MAX;
        ps.max_hp_bonus = ps.base_max_hp = ps.status.max_hp = max_hp;
        ps.status.hp = hp;
        if (g_player) g_player->status = ps.status;
    }
    // An enemy standing at the point with the hit points.
    static GoActor& add_enemy(const D3DXVECTOR3& at, float hp, std::int32_t key)
    {
        GoActor& enemy = add_acting(key, 20, ACTOR_SPAWN_ENEMY, at);
        enemy.status.hp = hp;
        return enemy;
    }

    // The effect ids of the sounds posted, in order.
    static std::vector<std::int32_t> sounds_played()
    {
        std::vector<std::int32_t> ids;
        for (const AudioCommand& command : posted_commands())
            if (command.type == AUDIO_CMD_PLAY || command.type == AUDIO_CMD_PLAY_AT)
                ids.push_back(static_cast<std::int32_t>(command.target));
        return ids;
    }
    // Those posted after the first `from`.
    static std::vector<std::int32_t> sounds_since(std::size_t from)
    {
        std::vector<std::int32_t> ids = sounds_played();
        ids.erase(ids.begin(), ids.begin() + static_cast<std::ptrdiff_t>(std::min(from, ids.size())));
        return ids;
    }

private:
    std::uint8_t m_saved_play_effect = 0;
};
