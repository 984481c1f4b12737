#include "lowlv/audio/audio_sound.h"

#include "audio_fixture.h"
#include "core/errors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const WavFormat k_mono{1, 22050, 16};

void patch_u32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::vector<std::uint8_t> samples(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 13 + 5);
    return bytes;
}

std::vector<std::uint8_t> riff(std::vector<WavChunk> chunks)
{
    return wav_build(chunks);
}

struct WavCase {
    const char* name;
    std::vector<std::uint8_t> file;
    bool ok;
    std::uint32_t data_size = 0;
    std::uint16_t bits = 0;
    std::uint16_t extra = 0;
};

std::vector<WavCase> wav_cases()
{
    WavChunk fmt{"fmt ", wav_format_bytes(k_mono)};
    WavChunk data{"data", samples(100)};
    std::vector<WavCase> cases;
    cases.push_back({"plain", wav_build_pcm(k_mono, samples(100)), true, 100, 16});
    cases.push_back({"fmt after data", riff({data, fmt}), true, 100, 16});
    cases.push_back({"odd chunk before fmt", riff({{"LIST", samples(5)}, fmt, data}), true, 100, 16});
    cases.push_back({"14-byte fmt", riff({{"fmt ", wav_format_bytes(k_mono, 14)}, data}), true, 100, 0});
    std::vector<std::uint8_t> extended = wav_format_bytes(k_mono, 40);
    extended[16] = 0x34;
    extended[17] = 0x12;
    cases.push_back({"40-byte fmt", riff({{"fmt ", extended}, data}), true, 100, 16, 0x1234});
    cases.push_back({"12-byte fmt", riff({{"fmt ", wav_format_bytes(k_mono, 12)}, data}), false});
    cases.push_back(
        {"second fmt ignored", riff({{"fmt ", wav_format_bytes({1, 22050, 8})}, fmt, data}), true, 100, 8});
    cases.push_back({"second data ignored", riff({fmt, {"data", samples(10)}, data}), true, 10, 16});
    cases.push_back({"no data", riff({fmt}), false});
    cases.push_back({"no fmt", riff({data}), false});
    cases.push_back({"empty data", riff({fmt, {"data", {}}}), true, 0, 16});

    std::vector<std::uint8_t> cut = wav_build_pcm(k_mono, samples(100));
    cut.resize(cut.size() - 10);
    cases.push_back({"data cut short", cut, false});
    cut = riff({data, fmt});
    cut.resize(cut.size() - 4);
    cases.push_back({"fmt cut short", cut, false});
    std::vector<std::uint8_t> odd = wav_build_pcm(k_mono, samples(101));
    odd.pop_back();
    cases.push_back({"odd data without its pad byte", odd, true, 101, 16});
    std::vector<std::uint8_t> small_riff = wav_build_pcm(k_mono, samples(100));
    patch_u32(small_riff, 4, 4 + 24 + 8 + 50);
    cases.push_back({"RIFF size cuts the data", small_riff, false});
    std::vector<std::uint8_t> big_riff = wav_build_pcm(k_mono, samples(100));
    patch_u32(big_riff, 4, 0xFFFFFFF0);
    cases.push_back({"RIFF size beyond the file", big_riff, true, 100, 16});
    std::vector<std::uint8_t> huge = riff({{"JUNK", samples(4)}, fmt, data});
    patch_u32(huge, 16, 0xFFFFFFF0);
    cases.push_back({"huge chunk before fmt", huge, false});
    std::vector<std::uint8_t> wrong = wav_build_pcm(k_mono, samples(100));
    wrong[0] = 'X';
    cases.push_back({"not RIFF", wrong, false});
    wrong = wav_build_pcm(k_mono, samples(100));
    wrong[8] = 'X';
    cases.push_back({"not WAVE", wrong, false});
    cases.push_back({"header only", std::vector<std::uint8_t>{'R', 'I', 'F', 'F', 4, 0, 0, 0}, false});
    return cases;
}

TEST(WavParse, TakesTheFirstWholeFmtAndDataWithinFileAndRiffSize)
{
    for (const WavCase& c : wav_cases()) {
        WAVEFORMATEX format;
        std::memset(&format, 0xAB, sizeof format);
        std::uint32_t offset = 0, size = 0;
        bool ok = wav_parse(c.file, format, offset, size);
        EXPECT_EQ(ok, c.ok) << c.name;
        if (!ok || !c.ok) continue;
        EXPECT_EQ(size, c.data_size) << c.name;
        EXPECT_LE(std::size_t{offset} + size, c.file.size()) << c.name;
        EXPECT_EQ(format.nChannels, 1) << c.name;
        EXPECT_EQ(format.nSamplesPerSec, 22050u) << c.name;
        EXPECT_EQ(format.wBitsPerSample, c.bits) << c.name;
        EXPECT_EQ(format.cbSize, c.extra) << c.name;
        if (c.data_size == 100) {
            EXPECT_EQ(std::memcmp(c.file.data() + offset, samples(100).data(), 100), 0) << c.name;
        }
    }
}

class SoundGroupTest : public AudioTest {
protected:
    // A 3-D group by default, one second long.
    SoundGroupDef Def(std::uint32_t voices, std::uint32_t flags, const char* path = "data\\se\\hit.wav",
                      DWORD buffer_flags = SOUND_BUFFER_3D)
    {
        SoundGroupDef def{};
        def.buffer_flags = buffer_flags;
        def.voice_count = voices;
        def.flags = flags;
        def.min_play_ms = 100;
        std::strncpy(def.wav_path, path, sizeof def.wav_path - 1);
        def.min_distance = 2.0f;
        def.max_distance = 50.0f;
        return def;
    }

    void MountEffects()
    {
        Mount({{"data\\se\\hit.wav", wav_build_pcm(k_mono, m_samples)},
               {"data\\se\\bad.wav", std::vector<std::uint8_t>(64, 1)},
               {"data\\se\\empty.wav", riff({{"fmt ", wav_format_bytes(k_mono)}, {"data", {}}})}});
    }

    SoundGroup& Load(std::uint32_t index, const SoundGroupDef& def)
    {
        SoundGroup& group = *audio_group(index);
        EXPECT_EQ(audio_group_load(group, g_ds, def), S_OK);
        return group;
    }

    std::vector<std::uint8_t> m_samples = samples(44100);
};

struct PlacementCase {
    const char* name;
    DWORD hardware_voices;
    bool hardware_streaming;
    bool force_software;
    std::uint32_t flags;
    DWORD buffer_flags;
    std::uint32_t flags_after;
    DWORD buffer_flags_after;
    DWORD location; // what the buffer reports once made; 0 while deferred to its play
};

TEST_F(SoundGroupTest, LoadPlacesBuffersAsTheDeviceAndSettingsAsk)
{
    constexpr DWORD pos2 = DSBCAPS_GETCURRENTPOSITION2;
    constexpr DWORD hw = DSBCAPS_LOCHARDWARE;
    constexpr DWORD sw = DSBCAPS_LOCSOFTWARE;
    const PlacementCase cases[] = {
        {"static device", 64, false, false, 0, SOUND_BUFFER_PLAIN, 0,
         SOUND_BUFFER_PLAIN | DSBCAPS_STATIC | pos2, hw},
        {"streaming device", 64, true, false, 0, SOUND_BUFFER_PLAIN | DSBCAPS_STATIC | DSBCAPS_CTRLFX, 0,
         SOUND_BUFFER_PLAIN | DSBCAPS_LOCDEFER | pos2, 0},
        {"software group", 64, true, false, SOUND_GROUP_SOFTWARE | SOUND_GROUP_TRY_HARDWARE | SOUND_GROUP_EAX,
         SOUND_BUFFER_3D, SOUND_GROUP_SOFTWARE, SOUND_BUFFER_3D | sw | pos2, sw},
        {"forced software", 64, true, true, SOUND_GROUP_TRY_HARDWARE | SOUND_GROUP_EAX, SOUND_BUFFER_3D,
         SOUND_GROUP_SOFTWARE, SOUND_BUFFER_3D | sw | pos2, sw},
        {"hardware", 64, true, false, SOUND_GROUP_TRY_HARDWARE, SOUND_BUFFER_3D | DSBCAPS_LOCDEFER,
         SOUND_GROUP_TRY_HARDWARE, SOUND_BUFFER_3D | hw | pos2, hw},
        {"no hardware voice left", 0, true, false, SOUND_GROUP_TRY_HARDWARE, SOUND_BUFFER_3D, 0,
         SOUND_BUFFER_3D | DSBCAPS_LOCDEFER | pos2, 0},
    };
    MountEffects();
    fake_ogg::register_vorbisfile();
    for (const PlacementCase& c : cases) {
        SCOPED_TRACE(c.name);
        dsound_seam_set_hardware(c.hardware_voices, c.hardware_streaming);
        AudioParams params = Params();
        params.force_software_buffer = c.force_software;
        Start(params);
        SoundGroup& group = *audio_group(3);
        ASSERT_EQ(audio_group_load(group, g_ds, Def(2, c.flags, "data\\se\\hit.wav", c.buffer_flags)), S_OK);
        EXPECT_EQ(group.def.flags, c.flags_after);
        EXPECT_EQ(group.def.buffer_flags, c.buffer_flags_after);
        DSBCAPS caps{};
        caps.dwSize = sizeof caps;
        ASSERT_EQ(group.voices[1].buffer->GetCaps(&caps), S_OK);
        EXPECT_EQ(caps.dwFlags & (hw | sw), c.location);
        audio_shutdown();
        DSound::Shutdown();
    }
}

TEST_F(SoundGroupTest, VoicesShareTheSampleAndGet3DAndEaxInterfaces)
{
    MountEffects();
    dsound_seam_set_eax(2);
    AudioParams params = Params();
    params.reverb = 1;
    fake_ogg::register_vorbisfile();
    Start(params);
    ASSERT_NE(g_eax_level, EAX_LEVEL_NONE);

    SoundGroup& group = Load(1, Def(4, SOUND_GROUP_EAX | SOUND_GROUP_TRY_HARDWARE));
    ASSERT_EQ(group.def.voice_count, 4u);
    for (std::uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(ReadBuffer(group.voices[i].buffer, 0, 44100), m_samples) << i;
        EXPECT_NE(group.voices[i].buffer_3d, nullptr) << i;
        EXPECT_NE(group.voices[i].eax.property_set, nullptr) << i;
        EXPECT_EQ(group.voices[i].volume.load(), 1024);
    }
    EXPECT_EQ(Load(2, Def(0, 0, "data\\se\\hit.wav", SOUND_BUFFER_PLAIN)).def.voice_count, 1u);
    SoundGroup& single = Load(4, Def(4, SOUND_GROUP_SINGLE, "data\\se\\hit.wav", SOUND_BUFFER_PLAIN));
    EXPECT_EQ(single.def.voice_count, 1u);
    EXPECT_EQ(single.voices[0].buffer_3d, nullptr);
    EXPECT_EQ(single.voices[0].eax.property_set, nullptr);

    audio_group_free(group);
    EXPECT_EQ(group.voices, nullptr);
    EXPECT_EQ(group.def.flags, 0u);
}

TEST_F(SoundGroupTest, LoadFailuresLeaveTheGroupEmpty)
{
    MountEffects();
    StartWithFakeDecoder();
    SoundGroup& group = *audio_group(0);
    EXPECT_EQ(audio_group_load(group, g_ds, Def(2, 0, "data\\se\\missing.wav")), ERR_OPEN_FILE);
    EXPECT_EQ(audio_group_load(group, g_ds, Def(2, 0, "data\\se\\bad.wav")), E_FAIL);
    EXPECT_EQ(audio_group_load(group, g_ds, Def(2, 0, "data\\se\\empty.wav")), E_FAIL);
    dsound_seam_fail("CreateSoundBuffer", DSERR_OUTOFMEMORY);
    EXPECT_EQ(audio_group_load(group, g_ds, Def(2, 0)), DSERR_OUTOFMEMORY);
    EXPECT_EQ(group.voices, nullptr);
    dsound_seam_fail("DuplicateSoundBuffer", DSERR_ALLOCATED);
    EXPECT_EQ(audio_group_load(group, g_ds, Def(3, 0)), DSERR_ALLOCATED);
    EXPECT_EQ(group.voices, nullptr);
    EXPECT_EQ(audio_group_restore(group), E_FAIL);
}

TEST_F(SoundGroupTest, BusyVoicesAreTakenOverOnlyAfterTheirMinimumPlayTime)
{
    MountEffects();
    StartWithFakeDecoder();
    SoundGroup& group = Load(7, Def(4, 0));
    DWORD first = dsound_seam_clock_ms() + 16;
    for (int i = 0; i < 5; ++i) {
        audio_play_effect(7, false, 1024);
        Pass();
    }
    // Four voices started 16 ms apart; the fifth play found none old enough.
    for (std::uint32_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(Playing(group.voices[i].buffer)) << i;
        EXPECT_EQ(group.voices[i].start_time.load(), first + 16 * i) << i;
    }
    EXPECT_FALSE(group.requested.load());
    while (audio_tick_time() + 16 - group.voices[0].start_time.load() < 100)
        Pass();
    audio_play_effect(7, false, 1024);
    Pass();
    EXPECT_EQ(group.voices[0].start_time.load(), audio_tick_time());
    EXPECT_EQ(group.voices[1].start_time.load(), first + 16);

    SoundGroup& single = Load(8, Def(4, SOUND_GROUP_SINGLE));
    audio_play_effect(8, false, 1024);
    Pass();
    DWORD started = single.voices[0].start_time.load();
    Passes(10);
    audio_play_effect(8, false, 1024);
    Pass();
    EXPECT_EQ(audio_group_pick_voice(single, audio_tick_time()), -1);
    EXPECT_EQ(single.voices[0].start_time.load(), started);
}

TEST_F(SoundGroupTest, FadesAlwaysReachTheirTarget)
{
    MountEffects();
    StartWithFakeDecoder();
    SoundGroup& group = Load(5, Def(1, SOUND_GROUP_LOOP));
    SoundVoice& voice = group.voices[0];

    // A quiet voice faded over 1.5 s moves by at least 1 per pass and stops at 0.
    audio_play_effect(5, true, 50);
    Pass();
    ASSERT_EQ(voice.state.load(), VOICE_STARTED);
    audio_stop_groups(true);
    Passes(49);
    EXPECT_EQ(voice.volume.load(), 1);
    EXPECT_TRUE(Playing(voice.buffer));
    Pass();
    EXPECT_EQ(voice.volume.load(), 0);
    EXPECT_EQ(voice.state.load(), VOICE_IDLE);
    EXPECT_FALSE(Playing(voice.buffer));

    // Up by 92 per pass, the last step clamped; no stop.
    audio_play_effect(5, true, 100);
    Pass();
    audio_group_fade_to(5, 1024, 160);
    Passes(10);
    EXPECT_EQ(voice.volume.load(), 1020);
    Pass();
    EXPECT_EQ(voice.volume.load(), 1024);
    EXPECT_EQ(voice.step.load(), 0);
    EXPECT_EQ(voice.state.load(), VOICE_STARTED);

    // Over 0 ms: silent and stopped on the pass that runs the fade.
    audio_fade_group(5, 0);
    Pass();
    EXPECT_EQ(voice.volume.load(), 0);
    EXPECT_EQ(voice.state.load(), VOICE_IDLE);
    EXPECT_FALSE(Playing(voice.buffer));
}

TEST_F(SoundGroupTest, LoneLoopReplayedWhileFadingIsCaughtNotRestarted)
{
    MountEffects();
    StartWithFakeDecoder();
    SoundGroup& group = Load(9, Def(1, SOUND_GROUP_LOOP | SOUND_GROUP_SINGLE));
    SoundVoice& voice = group.voices[0];
    audio_play_effect(9, true, 1024);
    Pass();
    audio_fade_group(9, 1000);
    Passes(5);
    ASSERT_LT(voice.volume.load(), 1024);
    DWORD started = voice.start_time.load();
    DWORD cursor_before = 0, write = 0;
    voice.buffer->GetCurrentPosition(&cursor_before, &write);
    ASSERT_GT(cursor_before, 0u);
    audio_play_effect(9, true, 800);
    Pass();
    EXPECT_EQ(voice.volume.load(), 800);
    EXPECT_EQ(voice.target.load(), 800);
    EXPECT_FALSE(voice.stop_at_fade_end.load());
    EXPECT_EQ(voice.start_time.load(), started);
    DWORD cursor_after = 0;
    voice.buffer->GetCurrentPosition(&cursor_after, &write);
    EXPECT_GT(cursor_after, cursor_before);
    Passes(100);
    EXPECT_TRUE(Playing(voice.buffer));
}

TEST_F(SoundGroupTest, LostVoicesAreRestoredAndRefilledBeforeAPlay)
{
    MountEffects();
    StartWithFakeDecoder();
    SoundGroup& group = Load(2, Def(2, 0));
    dsound_seam_lose_buffers();
    dsound_seam_fail_restores(5);
    audio_play_effect(2, false, 1024);
    EXPECT_EQ(ReadBuffer(group.voices[1].buffer, 0, 44100), m_samples);
    EXPECT_EQ(audio_free_commands(), AUDIO_COMMAND_COUNT - 1);
    Pass();
    EXPECT_TRUE(Playing(group.voices[0].buffer));

    // A device that never gives the memory back: the play is dropped.
    dsound_seam_lose_buffers();
    dsound_seam_fail_restores(1000);
    audio_play_effect(2, false, 1024);
    EXPECT_EQ(audio_free_commands(), AUDIO_COMMAND_COUNT);
    EXPECT_FALSE(group.requested.load());
}

TEST_F(SoundGroupTest, PositionedPlayIsCommittedBeforeTheVoiceStarts)
{
    MountEffects();
    StartWithFakeDecoder();
    SoundGroup& group = Load(11, Def(1, 0));
    audio_play_effect_at({1.0f, 2.0f, 3.0f}, 11, false);
    Pass();
    DsoundSeamSource source{};
    ASSERT_TRUE(dsound_seam_source(group.voices[0].buffer, &source));
    EXPECT_TRUE(source.playing);
    EXPECT_FLOAT_EQ(source.position[0], 1.0f);
    EXPECT_FLOAT_EQ(source.position[1], 2.0f);
    EXPECT_FLOAT_EQ(source.position[2], -3.0f);
    EXPECT_FLOAT_EQ(source.reference_distance, 2.0f);
    EXPECT_FLOAT_EQ(source.max_distance, 50.0f);
    EXPECT_FALSE(g_ds_listener_pending.load());
    EXPECT_EQ(group.voices[0].volume.load(), 1024);
}

TEST_F(SoundGroupTest, IsPlayingFollowsRequestsAndVoiceAges)
{
    MountEffects();
    StartWithFakeDecoder();
    SoundGroup& group = Load(6, Def(1, 0));
    EXPECT_FALSE(audio_group_is_playing(group, 0));
    audio_play_effect(6, false, 1024);
    EXPECT_TRUE(audio_group_is_playing(group, 0));
    Pass();
    Passes(3);
    EXPECT_TRUE(audio_group_is_playing(group, 0));
    EXPECT_TRUE(audio_group_is_playing(group, 100));
    EXPECT_FALSE(audio_group_is_playing(group, 48));
    Passes(70); // the one-second sample ends
    EXPECT_FALSE(audio_group_is_playing(group, 0));
}

TEST_F(SoundGroupTest, EffectMasterVolumeReachesEveryStartedVoice)
{
    MountEffects();
    StartWithFakeDecoder();
    SoundGroup& group = Load(4, Def(2, 0));
    audio_play_effect(4, false, 0);
    Pass();
    audio_set_effect_volume(1024);
    EXPECT_EQ(Volume(group.voices[0].buffer), -4000);
    audio_set_effect_volume(0);
    EXPECT_EQ(Volume(group.voices[0].buffer), DSBVOLUME_MIN);
    EXPECT_EQ(group.voices[1].state.load(), VOICE_IDLE);
}

TEST_F(SoundGroupTest, GroupIndicesBeyondTheTableAreIgnored)
{
    MountEffects();
    StartWithFakeDecoder();
    std::uint32_t beyond = audio_group_count();
    audio_play_effect(beyond, false, 1024);
    audio_play_effect_at({0, 0, 0}, beyond + 100, false);
    audio_fade_group(beyond, 100);
    audio_group_fade_to(0xFFFFFFFF, 100, 100);
    EXPECT_EQ(audio_free_commands(), AUDIO_COMMAND_COUNT);
    EXPECT_EQ(audio_group(beyond), nullptr);
    // A group never loaded gets no play either.
    audio_play_effect(0, false, 1024);
    EXPECT_EQ(audio_free_commands(), AUDIO_COMMAND_COUNT);
}

} // namespace
