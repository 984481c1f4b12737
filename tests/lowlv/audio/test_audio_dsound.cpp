#include "lowlv/audio/audio_dsound.h"
#include "platform/impl/dsound_seams.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

namespace {

HWND const k_window = reinterpret_cast<HWND>(std::uintptr_t{0x20});

class DSoundStart : public testing::Test {
protected:
    void SetUp() override
    {
        dsound_seam_reset();
        dsound_seam_use_loopback(true);
        params.window = k_window;
    }
    void TearDown() override
    {
        DSound::Shutdown();
        dsound_seam_reset();
    }

    DsoundSeamListener listener_seen()
    {
        DsoundSeamListener seen{};
        EXPECT_TRUE(dsound_seam_listener(g_ds, &seen));
        return seen;
    }
    DsoundSeamReverb reverb_seen()
    {
        DsoundSeamReverb seen{};
        EXPECT_TRUE(dsound_seam_reverb(g_ds, &seen));
        return seen;
    }

    AudioParams params;
};

TEST_F(DSoundStart, OpensTheDeviceWithThePrimaryFormatAndTheListener)
{
    ASSERT_EQ(DSound::Initialize(params), S_OK);
    ASSERT_NE(g_ds, nullptr);
    ASSERT_NE(g_ds_listener, nullptr);
    WAVEFORMATEX mix{};
    ASSERT_TRUE(dsound_seam_mix_format(g_ds, &mix));
    EXPECT_EQ(mix.nSamplesPerSec, 44100u);
    EXPECT_EQ(mix.nChannels, 2);
    EXPECT_EQ(mix.wBitsPerSample, 16);
    DS3DLISTENER committed{};
    committed.dwSize = sizeof committed;
    ASSERT_EQ(g_ds_listener->GetAllParameters(&committed), DS_OK);
    EXPECT_FLOAT_EQ(committed.vOrientFront.z, 1.0f);
    EXPECT_FLOAT_EQ(committed.flRolloffFactor, 1.0f);
    EXPECT_FALSE(g_ds_static_buffers);
    EXPECT_EQ(g_eax_level, EAX_LEVEL_NONE) << "no reverb asked";
    EXPECT_EQ(g_eax_listener.temp_buffer, nullptr);
}

TEST_F(DSoundStart, TheFormatComesFromTheLowWordsOfTheSettings)
{
    params.channels = 0x10001;
    params.sample_rate = 0x10000 | 22050;
    params.bits_per_sample = 0x70008;
    ASSERT_EQ(DSound::Initialize(params), S_OK);
    WAVEFORMATEX mix{};
    ASSERT_TRUE(dsound_seam_mix_format(g_ds, &mix));
    EXPECT_EQ(mix.nChannels, 1);
    EXPECT_EQ(mix.nSamplesPerSec, 22050u);
    EXPECT_EQ(mix.wBitsPerSample, 8);
}

TEST_F(DSoundStart, DeviceIndexCountsInEnumerationOrder)
{
    params.device = 1; // the first device after the default entry
    ASSERT_EQ(DSound::Initialize(params), S_OK);
    EXPECT_NE(g_ds, nullptr);
    DSound::Shutdown();

    params.device = 1000;
    EXPECT_EQ(DSound::Initialize(params), S_OK);
    EXPECT_EQ(g_ds, nullptr) << "no such device: sound stays off";
    params.device = -1;
    EXPECT_EQ(DSound::Initialize(params), S_OK);
    EXPECT_EQ(g_ds, nullptr);
}

TEST_F(DSoundStart, CreationFailingOnTheChosenDeviceLeavesSoundOff)
{
    dsound_seam_fail("DirectSoundCreate8", DSERR_NODRIVER);
    EXPECT_EQ(DSound::Initialize(params), S_OK);
    EXPECT_EQ(g_ds, nullptr);
}

TEST_F(DSoundStart, StaticBuffersOnlyOnHardwareWithoutStreamingVoices)
{
    dsound_seam_set_hardware(16, false);
    ASSERT_EQ(DSound::Initialize(params), S_OK);
    EXPECT_TRUE(g_ds_static_buffers);
}

TEST_F(DSoundStart, AFailingStepEndsTheStartWithItsCode)
{
    const char* steps[] = {"SetCooperativeLevel", "CreateSoundBuffer",      "SetFormat",       "GetCaps",
                           "QueryInterface",      "CommitDeferredSettings", "SetAllParameters"};
    for (const char* step : steps) {
        dsound_seam_fail(step, DSERR_GENERIC);
        EXPECT_EQ(DSound::Initialize(params), DSERR_GENERIC) << step;
        EXPECT_NE(g_ds, nullptr) << step << ": the object made so far stays for the shutdown";
        DSound::Shutdown();
        EXPECT_EQ(g_ds, nullptr);
        dsound_seam_reset();
        dsound_seam_use_loopback(true);
    }
}

struct HeadingCase {
    float heading;
    float front_x;
    float front_z;
};

TEST_F(DSoundStart, HeadingTurnsTheListenerOnTheTable)
{
    ASSERT_EQ(DSound::Initialize(params), S_OK);
    const float pi = std::numbers::pi_v<float>;
    const HeadingCase cases[] = {
        {0.0f, 1.0f, 0.0f},        {-2.0f * pi, 1.0f, 0.0f}, // single precision lands on step -256
        {pi / 2.0f, 0.0f, 1.0f},   {pi, -1.0f, 0.0f},
        {-pi / 2.0f, 0.0f, -1.0f}, {std::nanf(""), 1.0f, 0.0f}, // never an undefined conversion
    };
    for (const HeadingCase& c : cases) {
        audio_set_listener({1.0f, 2.0f, 3.0f}, c.heading);
        EXPECT_TRUE(g_ds_listener_pending.load());
        EXPECT_NEAR(g_ds_listener_params.vOrientFront.x, c.front_x, 1e-5f) << c.heading;
        EXPECT_NEAR(g_ds_listener_params.vOrientFront.z, c.front_z, 1e-5f) << c.heading;
        EXPECT_EQ(g_ds_listener_params.vOrientFront.y, 0.0f);
        audio_commit_listener();
        EXPECT_FALSE(g_ds_listener_pending.load());
        DsoundSeamListener seen = listener_seen();
        EXPECT_NEAR(seen.orientation[0], c.front_x, 1e-5f) << c.heading;
        EXPECT_NEAR(seen.orientation[2], -c.front_z, 1e-5f) << c.heading;
        EXPECT_FLOAT_EQ(seen.orientation[4], 1.0f);
        EXPECT_FLOAT_EQ(seen.position[2], -3.0f);
    }
}

TEST_F(DSoundStart, ListenerWaitsForTheAudioThreadsCommit)
{
    ASSERT_EQ(DSound::Initialize(params), S_OK);
    audio_set_listener({7.0f, 0.0f, 0.0f}, 0.0f);
    EXPECT_FLOAT_EQ(listener_seen().position[0], 0.0f);
    audio_commit_listener();
    EXPECT_FLOAT_EQ(listener_seen().position[0], 7.0f);
}

TEST_F(DSoundStart, ReverbFindsEaxTwoAndStartsNeutral)
{
    params.reverb = 1;
    ASSERT_EQ(DSound::Initialize(params), S_OK);
    EXPECT_EQ(g_eax_level, EAX_LEVEL_2);
    EXPECT_NE(g_eax_listener.property_set, nullptr);
    EXPECT_NE(g_eax_listener.temp_buffer_3d, nullptr);
    EXPECT_EQ(g_eax_listener.last_preset.environment, 0u);
    EXPECT_FLOAT_EQ(g_eax_listener.last_preset.size, 1.0f);
    DsoundSeamReverb reverb = reverb_seen();
    EXPECT_NEAR(reverb.late_reverb_gain, std::pow(10.0f, 125.0f / 2000.0f), 1e-4f) << "reverb 125";
    EXPECT_FLOAT_EQ(reverb.slot_gain, 1.0f);

    audio_eax_apply_preset({8, 3.0f}, g_eax_listener); // cave
    EAXLISTENERPROPERTIES all{};
    ULONG returned = 0;
    ASSERT_EQ(g_eax_listener.property_set->Get(DSPROPSETID_EAX20_ListenerProperties,
                                               DSPROPERTY_EAXLISTENER_ALLPARAMETERS, nullptr, 0, &all,
                                               sizeof all, &returned),
              DS_OK);
    EXPECT_EQ(all.dwEnvironment, 8u);
    EXPECT_EQ(all.lReverb, 125);
    EXPECT_NE(all.flEnvironmentSize, 3.0f) << "the size is stored, not sent";
    EXPECT_FLOAT_EQ(g_eax_listener.last_preset.size, 3.0f);
}

TEST_F(DSoundStart, EaxOneDeviceGetsEnvironmentAndVolume)
{
    dsound_seam_set_eax(1);
    params.reverb = 1;
    ASSERT_EQ(DSound::Initialize(params), S_OK);
    EXPECT_EQ(g_eax_level, EAX_LEVEL_1);
    EXPECT_EQ(g_eax_listener.temp_buffer_3d, nullptr);
    audio_eax_apply_preset({3, 1.0f}, g_eax_listener);
    EXPECT_FLOAT_EQ(reverb_seen().slot_gain, 0.2f);
    EAX_REVERBPROPERTIES all{};
    ULONG returned = 0;
    ASSERT_EQ(g_eax_listener.property_set->Get(DSPROPSETID_EAX_ReverbProperties, DSPROPERTY_EAX_ALL, nullptr,
                                               0, &all, sizeof all, &returned),
              DS_OK);
    EXPECT_EQ(all.environment, 3u);
}

struct NoEaxCase {
    const char* what;
    int eax_version;
    DWORD hardware_voices;
};

TEST_F(DSoundStart, WithoutEaxPresetsAreIgnored)
{
    const NoEaxCase cases[] = {{"no EFX", 0, 64}, {"no hardware voice", 2, 0}};
    for (const NoEaxCase& c : cases) {
        dsound_seam_set_eax(c.eax_version);
        dsound_seam_set_hardware(c.hardware_voices, true);
        params.reverb = 1;
        ASSERT_EQ(DSound::Initialize(params), S_OK) << c.what;
        EXPECT_EQ(g_eax_level, EAX_LEVEL_NONE) << c.what;
        EXPECT_EQ(g_eax_listener.property_set, nullptr) << c.what;
        audio_eax_apply_preset({4, 1.0f}, g_eax_listener);
        EXPECT_EQ(g_eax_listener.last_preset.environment, 0u) << c.what;
        EAXSource source;
        EXPECT_EQ(audio_eax_source_create(nullptr, g_eax_listener.temp_buffer, source), E_FAIL) << c.what;
        DSound::Shutdown();
        dsound_seam_reset();
        dsound_seam_use_loopback(true);
    }
}

TEST_F(DSoundStart, DetectionWorksWithoutTheStartUp)
{
    IDirectSound8* sound = nullptr;
    ASSERT_EQ(DirectSoundCreate8(nullptr, &sound, nullptr), DS_OK);
    ASSERT_EQ(sound->SetCooperativeLevel(k_window, DSSCL_PRIORITY), DS_OK);
    {
        EAXListener listener;
        EXPECT_EQ(audio_eax_create(sound, 16, 22050, listener), DS_OK);
        EXPECT_EQ(g_eax_level, EAX_LEVEL_2);
        EXPECT_NE(listener.property_set, nullptr);
        DSBCAPS caps{};
        caps.dwSize = sizeof caps;
        ASSERT_EQ(listener.temp_buffer->GetCaps(&caps), DS_OK);
        EXPECT_EQ(caps.dwBufferBytes, 44100u);
        EXPECT_TRUE(caps.dwFlags & DSBCAPS_STATIC);
    } // the listener releases its buffer and property set
    EXPECT_EQ(sound->Release(), 0u);
    g_eax_level = EAX_LEVEL_NONE;
}

TEST_F(DSoundStart, VoiceSourcesComeFromTheThreeDBufferAtEaxTwo)
{
    params.reverb = 1;
    ASSERT_EQ(DSound::Initialize(params), S_OK);
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), DSBCAPS_CTRL3D | DSBCAPS_LOCHARDWARE, 4410, 0, &format, {}};
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(g_ds->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
    IDirectSound3DBuffer* buffer_3d = nullptr;
    ASSERT_EQ(buffer->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void**>(&buffer_3d)), DS_OK);
    {
        EAXSource source;
        EXPECT_EQ(audio_eax_source_create(buffer_3d, buffer, source), S_OK);
        ULONG support = 0;
        EXPECT_EQ(source.property_set->QuerySupport(DSPROPSETID_EAX20_BufferProperties,
                                                    DSPROPERTY_EAXBUFFER_ALLPARAMETERS, &support),
                  DS_OK);
        EXPECT_EQ(audio_eax_source_create(nullptr, nullptr, source), E_FAIL);
    }
    buffer_3d->Release();
    EXPECT_EQ(buffer->Release(), 0u) << "the source gave its reference back";
}

TEST_F(DSoundStart, ReleasingTheListenerRestoresTheNeutralEnvironment)
{
    params.reverb = 1;
    ASSERT_EQ(DSound::Initialize(params), S_OK);
    audio_eax_apply_preset({10, 1.0f}, g_eax_listener);
    float hangar_decay = reverb_seen().decay_time;
    g_eax_listener.Release();
    EXPECT_EQ(g_eax_listener.property_set, nullptr);
    EXPECT_EQ(g_eax_listener.temp_buffer, nullptr);
    EXPECT_NE(reverb_seen().decay_time, hangar_decay);
    EXPECT_NEAR(reverb_seen().decay_time, 1.49f, 1e-3f) << "the generic environment";
}

} // namespace
