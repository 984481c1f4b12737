#include "platform/dsound.h"
#include "platform/impl/dsound_seams.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int k_inverse_distance_clamped = 0xD002; // OpenAL's enum value
HWND const k_window = reinterpret_cast<HWND>(std::uintptr_t{0x10});

// Releases the interface it holds.
template <class T> class Ref {
public:
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { reset(); }
    void reset()
    {
        if (m_object) m_object->Release();
        m_object = nullptr;
    }
    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    T** out()
    {
        reset();
        return &m_object;
    }
    void** out_void() { return reinterpret_cast<void**>(out()); }

private:
    T* m_object = nullptr;
};

class DirectSoundTest : public testing::Test {
protected:
    void SetUp() override
    {
        dsound_seam_reset();
        dsound_seam_use_loopback(true);
    }
    void TearDown() override { dsound_seam_reset(); }

    // A device mixing at `rate` in `channels` x 16 bits.
    void open(WORD channels = 1, DWORD rate = 44100)
    {
        ASSERT_EQ(DirectSoundCreate8(nullptr, sound.out(), nullptr), DS_OK);
        ASSERT_EQ(sound->SetCooperativeLevel(k_window, DSSCL_PRIORITY), DS_OK);
        DSBUFFERDESC desc{sizeof(DSBUFFERDESC), DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D, 0, 0, nullptr, {}};
        ASSERT_EQ(sound->CreateSoundBuffer(&desc, primary.out(), nullptr), DS_OK);
        WAVEFORMATEX format = dsound_pcm_format(channels, rate, 16);
        ASSERT_EQ(primary->SetFormat(&format), DS_OK);
        ASSERT_EQ(primary->QueryInterface(IID_IDirectSound3DListener, listener.out_void()), DS_OK);
    }

    HRESULT make(IDirectSoundBuffer** buffer, DWORD flags, DWORD bytes, WORD channels = 1, DWORD rate = 44100)
    {
        WAVEFORMATEX format = dsound_pcm_format(channels, rate, 16);
        DSBUFFERDESC desc{sizeof(DSBUFFERDESC), flags, bytes, 0, &format, {}};
        return sound->CreateSoundBuffer(&desc, buffer, nullptr);
    }

    static DWORD play_cursor(IDirectSoundBuffer* buffer)
    {
        DWORD play = 0, write = 0;
        EXPECT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
        return play;
    }

    static DWORD status(IDirectSoundBuffer* buffer)
    {
        DWORD value = 0;
        EXPECT_EQ(buffer->GetStatus(&value), DS_OK);
        return value;
    }

    // Writes `bytes` of 16-bit samples of one value from `offset` on, through Lock and Unlock.
    static void fill(IDirectSoundBuffer* buffer, DWORD offset, DWORD bytes, std::int16_t value)
    {
        void* parts[2] = {};
        DWORD sizes[2] = {};
        ASSERT_EQ(buffer->Lock(offset, bytes, &parts[0], &sizes[0], &parts[1], &sizes[1], 0), DS_OK);
        for (int i = 0; i < 2; ++i)
            for (DWORD at = 0; at < sizes[i]; at += 2)
                std::memcpy(static_cast<std::uint8_t*>(parts[i]) + at, &value, 2);
        ASSERT_EQ(buffer->Unlock(parts[0], sizes[0], parts[1], sizes[1]), DS_OK);
    }

    Ref<IDirectSound8> sound;
    Ref<IDirectSoundBuffer> primary;
    Ref<IDirectSound3DListener> listener;
};

// ---- Devices -----------------------------------------------------------------------------------

struct Entry {
    bool has_guid;
    GUID guid;
    std::string description;
};

BOOL collect(GUID* guid, const char* description, const char*, void* context)
{
    auto& entries = *static_cast<std::vector<Entry>*>(context);
    entries.push_back({guid != nullptr, guid ? *guid : GUID{}, description});
    return TRUE;
}

TEST_F(DirectSoundTest, EnumeratesTheDefaultDeviceFirstThenOpenAlDevices)
{
    std::vector<Entry> entries;
    ASSERT_EQ(DirectSoundEnumerateA(collect, &entries), DS_OK);
    ASSERT_GE(entries.size(), 2u);
    EXPECT_FALSE(entries[0].has_guid);
    EXPECT_EQ(entries[0].description, "Primary Sound Driver");
    EXPECT_TRUE(entries[1].has_guid);

    Ref<IDirectSound8> named;
    EXPECT_EQ(DirectSoundCreate8(&entries[1].guid, named.out(), nullptr), DS_OK);
    GUID unknown = entries[1].guid;
    unknown.Data1 ^= 0xFFFFu;
    Ref<IDirectSound8> none;
    EXPECT_EQ(DirectSoundCreate8(&unknown, none.out(), nullptr), DSERR_NODRIVER);
    EXPECT_EQ(none.get(), nullptr);

    int calls = 0;
    auto first_only = [](GUID*, const char*, const char*, void* context) -> BOOL {
        ++*static_cast<int*>(context);
        return FALSE;
    };
    EXPECT_EQ(DirectSoundEnumerateA(first_only, &calls), DS_OK);
    EXPECT_EQ(calls, 1);
}

TEST_F(DirectSoundTest, ScriptedCreationFailureReturnsItsCode)
{
    dsound_seam_fail("DirectSoundCreate8", DSERR_NODRIVER);
    EXPECT_EQ(DirectSoundCreate8(nullptr, sound.out(), nullptr), DSERR_NODRIVER);
    EXPECT_EQ(DirectSoundCreate8(nullptr, sound.out(), nullptr), DS_OK);
}

TEST_F(DirectSoundTest, CapsCountTheHardwareVoices)
{
    dsound_seam_set_hardware(2, true);
    open();
    DSCAPS caps{};
    caps.dwSize = sizeof caps;
    ASSERT_EQ(sound->GetCaps(&caps), DS_OK);
    EXPECT_EQ(caps.dwMaxHw3DStaticBuffers, 2u);
    EXPECT_EQ(caps.dwMaxHwMixingStreamingBuffers, 2u);
    EXPECT_EQ(caps.dwFreeHw3DAllBuffers, 2u);
    EXPECT_TRUE(caps.dwFlags & DSCAPS_PRIMARY16BIT);

    Ref<IDirectSoundBuffer> a, b, c, d;
    ASSERT_EQ(make(a.out(), DSBCAPS_LOCHARDWARE | DSBCAPS_CTRL3D, 4096), DS_OK);
    ASSERT_EQ(make(b.out(), 0, 4096), DS_OK); // placed in hardware while a voice is free
    EXPECT_EQ(make(c.out(), DSBCAPS_LOCHARDWARE, 4096), DSERR_ALLOCATED);
    ASSERT_EQ(make(d.out(), 0, 4096), DS_OK); // and in software after
    DSBCAPS buffer_caps{};
    buffer_caps.dwSize = sizeof buffer_caps;
    ASSERT_EQ(b->GetCaps(&buffer_caps), DS_OK);
    EXPECT_TRUE(buffer_caps.dwFlags & DSBCAPS_LOCHARDWARE);
    ASSERT_EQ(d->GetCaps(&buffer_caps), DS_OK);
    EXPECT_TRUE(buffer_caps.dwFlags & DSBCAPS_LOCSOFTWARE);
    EXPECT_EQ(buffer_caps.dwBufferBytes, 4096u);
    ASSERT_EQ(sound->GetCaps(&caps), DS_OK);
    EXPECT_EQ(caps.dwFreeHw3DAllBuffers, 0u);
    a.reset();
    ASSERT_EQ(sound->GetCaps(&caps), DS_OK);
    EXPECT_EQ(caps.dwFreeHw3DAllBuffers, 1u);
}

TEST_F(DirectSoundTest, StaticOnlyHardwareTakesOnlyStaticBuffers)
{
    dsound_seam_set_hardware(4, false);
    open();
    DSCAPS caps{};
    caps.dwSize = sizeof caps;
    ASSERT_EQ(sound->GetCaps(&caps), DS_OK);
    EXPECT_EQ(caps.dwMaxHw3DStaticBuffers, 4u);
    EXPECT_EQ(caps.dwMaxHwMixingStreamingBuffers, 0u);
    Ref<IDirectSoundBuffer> streaming, fixed;
    EXPECT_EQ(make(streaming.out(), DSBCAPS_LOCHARDWARE, 4096), DSERR_ALLOCATED);
    EXPECT_EQ(make(fixed.out(), DSBCAPS_LOCHARDWARE | DSBCAPS_STATIC, 4096), DS_OK);
}

TEST_F(DirectSoundTest, PrimaryBufferIsOneObjectAndItsFormatIsTheMix)
{
    ASSERT_EQ(DirectSoundCreate8(nullptr, sound.out(), nullptr), DS_OK);
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D, 0, 0, nullptr, {}};
    EXPECT_EQ(sound->CreateSoundBuffer(&desc, primary.out(), nullptr), DSERR_PRIOLEVELNEEDED);
    ASSERT_EQ(sound->SetCooperativeLevel(k_window, DSSCL_NORMAL), DS_OK);
    ASSERT_EQ(sound->CreateSoundBuffer(&desc, primary.out(), nullptr), DS_OK);
    WAVEFORMATEX format = dsound_pcm_format(2, 48000, 16);
    EXPECT_EQ(primary->SetFormat(&format), DSERR_PRIOLEVELNEEDED);
    ASSERT_EQ(sound->SetCooperativeLevel(k_window, DSSCL_PRIORITY), DS_OK);
    ASSERT_EQ(primary->SetFormat(&format), DS_OK);
    WAVEFORMATEX mix{};
    ASSERT_TRUE(dsound_seam_mix_format(sound.get(), &mix));
    EXPECT_EQ(mix.nSamplesPerSec, 48000u);
    EXPECT_EQ(mix.nChannels, 2);
    EXPECT_EQ(mix.nBlockAlign, 4);

    Ref<IDirectSoundBuffer> again;
    ASSERT_EQ(sound->CreateSoundBuffer(&desc, again.out(), nullptr), DS_OK);
    EXPECT_EQ(again.get(), primary.get());
    void* part = nullptr;
    DWORD bytes = 0;
    EXPECT_EQ(primary->Lock(0, 4, &part, &bytes, nullptr, nullptr, 0), DSERR_PRIOLEVELNEEDED);
    EXPECT_EQ(primary->Play(0, 0, 0), DSERR_INVALIDPARAM); // the primary plays only looped
    EXPECT_EQ(primary->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(status(primary.get()), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    Ref<IDirectSoundBuffer> copy;
    EXPECT_EQ(sound->DuplicateSoundBuffer(primary.get(), copy.out()), DSERR_INVALIDCALL);
}

TEST_F(DirectSoundTest, RefusesBuffersItCannotMake)
{
    open();
    WAVEFORMATEX mono = dsound_pcm_format(1, 44100, 16);
    WAVEFORMATEX stereo = dsound_pcm_format(2, 44100, 16);
    WAVEFORMATEX odd = mono;
    odd.wBitsPerSample = 12;
    struct Case {
        const char* what;
        DWORD flags;
        DWORD bytes;
        WAVEFORMATEX* format;
        HRESULT expected;
    } cases[] = {
        {"no format", 0, 4096, nullptr, DSERR_INVALIDPARAM},
        {"too small", 0, 2, &mono, DSERR_INVALIDPARAM},
        {"stereo 3-D", DSBCAPS_CTRL3D, 4096, &stereo, DSERR_INVALIDPARAM},
        {"3-D with pan", DSBCAPS_CTRL3D | DSBCAPS_CTRLPAN, 4096, &mono, DSERR_INVALIDPARAM},
        {"two placements", DSBCAPS_LOCHARDWARE | DSBCAPS_LOCSOFTWARE, 4096, &mono, DSERR_INVALIDPARAM},
        {"effects", DSBCAPS_CTRLFX, 4096, &mono, DSERR_CONTROLUNAVAIL},
        {"12-bit samples", 0, 4096, &odd, DSERR_BADFORMAT},
    };
    for (const Case& c : cases) {
        DSBUFFERDESC desc{sizeof(DSBUFFERDESC), c.flags, c.bytes, 0, c.format, {}};
        Ref<IDirectSoundBuffer> buffer;
        EXPECT_EQ(sound->CreateSoundBuffer(&desc, buffer.out(), nullptr), c.expected) << c.what;
        EXPECT_EQ(buffer.get(), nullptr) << c.what;
    }
    DSBUFFERDESC short_desc{36, 0, 4096, 0, &mono, {}};
    Ref<IDirectSoundBuffer> buffer;
    EXPECT_EQ(sound->CreateSoundBuffer(&short_desc, buffer.out(), nullptr), DSERR_INVALIDPARAM);
}

// ---- Memory, cursors and playback ----------------------------------------------------------------

TEST_F(DirectSoundTest, LockSplitsARangeThatWrapsIntoTwoRegions)
{
    open();
    Ref<IDirectSoundBuffer> buffer;
    ASSERT_EQ(make(buffer.out(), DSBCAPS_CTRLVOLUME, 1000), DS_OK);
    void* whole = nullptr;
    DWORD whole_bytes = 0;
    ASSERT_EQ(buffer->Lock(0, 0, &whole, &whole_bytes, nullptr, nullptr, DSBLOCK_ENTIREBUFFER), DS_OK);
    EXPECT_EQ(whole_bytes, 1000u);
    EXPECT_EQ(static_cast<std::uint8_t*>(whole)[0], 0) << "a new 16-bit buffer holds silence";
    ASSERT_EQ(buffer->Unlock(whole, whole_bytes, nullptr, 0), DS_OK);

    void* parts[2] = {};
    DWORD sizes[2] = {};
    ASSERT_EQ(buffer->Lock(800, 400, &parts[0], &sizes[0], &parts[1], &sizes[1], 0), DS_OK);
    EXPECT_EQ(parts[0], static_cast<std::uint8_t*>(whole) + 800);
    EXPECT_EQ(sizes[0], 200u);
    EXPECT_EQ(parts[1], whole);
    EXPECT_EQ(sizes[1], 200u);
    EXPECT_EQ(buffer->Unlock(parts[0], sizes[0], static_cast<std::uint8_t*>(whole) + 4, sizes[1]),
              DSERR_INVALIDPARAM);
    ASSERT_EQ(buffer->Unlock(parts[0], sizes[0], parts[1], sizes[1]), DS_OK);
    EXPECT_EQ(buffer->Unlock(parts[0], sizes[0], parts[1], sizes[1]), DSERR_INVALIDCALL);

    EXPECT_EQ(buffer->Lock(1000, 4, &parts[0], &sizes[0], &parts[1], &sizes[1], 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(0, 1001, &parts[0], &sizes[0], &parts[1], &sizes[1], 0), DSERR_INVALIDPARAM);
}

TEST_F(DirectSoundTest, CursorsAdvanceExactlyWithTheRenderedFrames)
{
    open();
    Ref<IDirectSoundBuffer> buffer;
    ASSERT_EQ(make(buffer.out(), DSBCAPS_GETCURRENTPOSITION2, 88200), DS_OK); // one second
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(status(buffer.get()), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    dsound_seam_render(4410);
    DWORD play = 0, write = 0;
    ASSERT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
    EXPECT_EQ(play, 8820u);
    DWORD lead = (write + 88200 - play) % 88200;
    EXPECT_GT(lead, 0u);
    EXPECT_LE(lead, 4u * 882) << "the write cursor leads by at most four 10-ms chunks";

    dsound_seam_render(44100); // a full lap
    EXPECT_EQ(play_cursor(buffer.get()), 8820u);

    ASSERT_EQ(buffer->Stop(), DS_OK);
    EXPECT_EQ(status(buffer.get()), 0u);
    dsound_seam_render(1000);
    EXPECT_EQ(play_cursor(buffer.get()), 8820u) << "a stopped buffer keeps its place";
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    dsound_seam_render(100);
    EXPECT_EQ(play_cursor(buffer.get()), 9020u);

    ASSERT_EQ(buffer->SetCurrentPosition(40001), DS_OK); // aligned down to the frame
    dsound_seam_render(10);
    EXPECT_EQ(play_cursor(buffer.get()), 40020u);
    EXPECT_EQ(buffer->SetCurrentPosition(88200), DSERR_INVALIDPARAM);
}

TEST_F(DirectSoundTest, AOneShotStopsAtItsEnd)
{
    open();
    Ref<IDirectSoundBuffer> buffer;
    ASSERT_EQ(make(buffer.out(), 0, 8820), DS_OK); // 100 ms
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    dsound_seam_render(4000);
    EXPECT_EQ(status(buffer.get()), DSBSTATUS_PLAYING);
    EXPECT_EQ(play_cursor(buffer.get()), 8000u);
    dsound_seam_render(1000);
    EXPECT_EQ(status(buffer.get()), 0u);
    EXPECT_EQ(play_cursor(buffer.get()), 0u);
}

TEST_F(DirectSoundTest, FrequencyScalesHowFastTheCursorRuns)
{
    open();
    Ref<IDirectSoundBuffer> buffer, fixed;
    ASSERT_EQ(make(buffer.out(), DSBCAPS_CTRLFREQUENCY, 88200), DS_OK);
    ASSERT_EQ(buffer->SetFrequency(88200), DS_OK);
    DWORD frequency = 0;
    ASSERT_EQ(buffer->GetFrequency(&frequency), DS_OK);
    EXPECT_EQ(frequency, 88200u);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    dsound_seam_render(4410);
    EXPECT_EQ(play_cursor(buffer.get()), 17640u);
    EXPECT_EQ(buffer->SetFrequency(50), DSERR_INVALIDPARAM);
    ASSERT_EQ(make(fixed.out(), 0, 4096), DS_OK);
    EXPECT_EQ(fixed->SetFrequency(22050), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(fixed->SetVolume(-100), DSERR_CONTROLUNAVAIL);
}

TEST_F(DirectSoundTest, VolumeIsHundredthsOfADecibel)
{
    open();
    Ref<IDirectSoundBuffer> buffer;
    ASSERT_EQ(make(buffer.out(), DSBCAPS_CTRLVOLUME, 8820), DS_OK);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    struct Case {
        LONG volume;
        float gain;
    } cases[] = {{0, 1.0f}, {-600, 0.501187f}, {-2000, 0.1f}, {-10000, 0.0f}};
    for (const Case& c : cases) {
        ASSERT_EQ(buffer->SetVolume(c.volume), DS_OK);
        DsoundSeamSource source{};
        ASSERT_TRUE(dsound_seam_source(buffer.get(), &source));
        EXPECT_NEAR(source.gain, c.gain, 1e-4f) << c.volume;
        LONG read = 1;
        ASSERT_EQ(buffer->GetVolume(&read), DS_OK);
        EXPECT_EQ(read, c.volume);
    }
    EXPECT_EQ(buffer->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->SetVolume(-10001), DSERR_INVALIDPARAM);
}

TEST_F(DirectSoundTest, PanTurnsAFlatMonoBufferToOneSide)
{
    open();
    Ref<IDirectSoundBuffer> buffer;
    ASSERT_EQ(make(buffer.out(), DSBCAPS_CTRLPAN, 8820), DS_OK);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    struct Case {
        LONG pan;
        float x;
    } cases[] = {{DSBPAN_RIGHT, 1.0f}, {DSBPAN_LEFT, -1.0f}, {DSBPAN_CENTER, 0.0f}};
    for (const Case& c : cases) {
        ASSERT_EQ(buffer->SetPan(c.pan), DS_OK);
        DsoundSeamSource source{};
        ASSERT_TRUE(dsound_seam_source(buffer.get(), &source));
        EXPECT_NEAR(source.position[0], c.x, 1e-6f) << c.pan;
        EXPECT_TRUE(source.relative);
    }
    EXPECT_EQ(buffer->SetPan(10001), DSERR_INVALIDPARAM);
}

// The millisecond clock renders the frames due by then, so many short steps add up exactly.
TEST_F(DirectSoundTest, TheAudioClockRendersMillisecondsWithoutDrift)
{
    open();
    Ref<IDirectSoundBuffer> buffer;
    ASSERT_EQ(make(buffer.out(), 0, 88200), DS_OK);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    DWORD start = dsound_seam_clock_ms();
    for (int step = 0; step < 10; ++step)
        dsound_seam_advance_ms(1);
    EXPECT_EQ(dsound_seam_clock_ms(), start + 10);
    EXPECT_EQ(play_cursor(buffer.get()), 441u * 2);
    dsound_seam_advance_ms(90);
    EXPECT_EQ(play_cursor(buffer.get()), 4410u * 2);
}

TEST_F(DirectSoundTest, CompactNeedsPriority)
{
    ASSERT_EQ(DirectSoundCreate8(nullptr, sound.out(), nullptr), DS_OK);
    ASSERT_EQ(sound->SetCooperativeLevel(k_window, DSSCL_NORMAL), DS_OK);
    EXPECT_EQ(sound->Compact(), DSERR_PRIOLEVELNEEDED);
    ASSERT_EQ(sound->SetCooperativeLevel(k_window, DSSCL_PRIORITY), DS_OK);
    EXPECT_EQ(sound->Compact(), DS_OK);
    EXPECT_EQ(sound->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DSERR_INVALIDPARAM);
}

// What the mixer plays is what lies in the ring when the feed reaches it: a half rewritten after
// the play cursor left it is heard on the next lap.
TEST_F(DirectSoundTest, TheRingIsHeardAsItIsRewritten)
{
    open(); // 44.1 kHz mono 16-bit, the same format as the buffer: samples pass unchanged
    Ref<IDirectSoundBuffer> ring;
    ASSERT_EQ(make(ring.out(), DSBCAPS_GETCURRENTPOSITION2, 32768), DS_OK);
    fill(ring.get(), 0, 16384, 1000);
    fill(ring.get(), 16384, 16384, -1000);
    ASSERT_EQ(ring->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::vector<std::uint8_t> mix;
    dsound_seam_render(8192, &mix); // the first lap: half 0, then half 1 has begun
    ASSERT_GE(play_cursor(ring.get()), 16384u);
    fill(ring.get(), 0, 16384, 2000);
    dsound_seam_render(16384, &mix); // the rest of half 1, then half 0 again
    ASSERT_EQ(mix.size(), 24576u * 2);
    auto sample = [&](std::size_t frame) {
        std::int16_t value;
        std::memcpy(&value, mix.data() + frame * 2, 2);
        return value;
    };
    EXPECT_NEAR(sample(4000), 1000, 2);
    EXPECT_NEAR(sample(8192 + 4000), -1000, 2);
    EXPECT_NEAR(sample(16383 - 1000), -1000, 2);
    EXPECT_NEAR(sample(16384 + 4000), 2000, 2);
}

TEST_F(DirectSoundTest, DuplicatesShareTheMemoryAndPlayOnTheirOwn)
{
    dsound_seam_set_hardware(1, true);
    open();
    Ref<IDirectSoundBuffer> original, twin, software, twin_of_software, third;
    ASSERT_EQ(make(original.out(), DSBCAPS_LOCHARDWARE | DSBCAPS_CTRLVOLUME, 8820), DS_OK);
    EXPECT_EQ(sound->DuplicateSoundBuffer(original.get(), twin.out()), DSERR_ALLOCATED) << "no voice left";
    ASSERT_EQ(make(software.out(), DSBCAPS_LOCSOFTWARE | DSBCAPS_CTRLVOLUME, 8820), DS_OK);
    ASSERT_EQ(software->SetVolume(-500), DS_OK);
    ASSERT_EQ(sound->DuplicateSoundBuffer(software.get(), twin_of_software.out()), DS_OK);
    LONG volume = 0;
    ASSERT_EQ(twin_of_software->GetVolume(&volume), DS_OK);
    EXPECT_EQ(volume, -500);

    fill(software.get(), 0, 8820, 1234);
    void* part = nullptr;
    DWORD bytes = 0;
    ASSERT_EQ(twin_of_software->Lock(100, 2, &part, &bytes, nullptr, nullptr, 0), DS_OK);
    std::int16_t value = 0;
    std::memcpy(&value, part, 2);
    EXPECT_EQ(value, 1234);
    ASSERT_EQ(twin_of_software->Unlock(part, bytes, nullptr, 0), DS_OK);

    ASSERT_EQ(software->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    dsound_seam_render(100);
    ASSERT_EQ(twin_of_software->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    dsound_seam_render(100);
    EXPECT_EQ(play_cursor(software.get()), 400u);
    EXPECT_EQ(play_cursor(twin_of_software.get()), 200u);
}

TEST_F(DirectSoundTest, LostBuffersRefuseWorkUntilRestoredAndLoseTheirSamples)
{
    open();
    Ref<IDirectSoundBuffer> buffer;
    ASSERT_EQ(make(buffer.out(), 0, 8820), DS_OK);
    fill(buffer.get(), 0, 8820, 555);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    dsound_seam_lose_buffers();
    EXPECT_EQ(status(buffer.get()), DSBSTATUS_BUFFERLOST);
    void* part = nullptr;
    DWORD bytes = 0;
    EXPECT_EQ(buffer->Lock(0, 2, &part, &bytes, nullptr, nullptr, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(buffer->Play(0, 0, 0), DSERR_BUFFERLOST);

    dsound_seam_fail_restores(2);
    EXPECT_EQ(buffer->Restore(), DSERR_BUFFERLOST);
    EXPECT_EQ(buffer->Restore(), DSERR_BUFFERLOST);
    EXPECT_EQ(buffer->Restore(), DS_OK);
    EXPECT_EQ(status(buffer.get()), 0u);
    ASSERT_EQ(buffer->Lock(0, 2, &part, &bytes, nullptr, nullptr, 0), DS_OK);
    std::int16_t value = 1;
    std::memcpy(&value, part, 2);
    EXPECT_EQ(value, 0) << "the memory was lost with the buffer";
    ASSERT_EQ(buffer->Unlock(part, bytes, nullptr, 0), DS_OK);
    EXPECT_EQ(buffer->Play(0, 0, 0), DS_OK);
}

// ---- 3-D -----------------------------------------------------------------------------------------

TEST_F(DirectSoundTest, ListenerReachesOpenAlWithZNegated)
{
    open();
    DS3DLISTENER l{sizeof(DS3DLISTENER), {1, 2, 3}, {0, 0, 4}, {0.6f, 0, 0.8f}, {0, 1, 0}, 2.0f, 1.5f, 0.5f};
    ASSERT_EQ(listener->SetAllParameters(&l, DS3D_IMMEDIATE), DS_OK);
    DsoundSeamListener seen{};
    ASSERT_TRUE(dsound_seam_listener(sound.get(), &seen));
    EXPECT_FLOAT_EQ(seen.position[0], 1);
    EXPECT_FLOAT_EQ(seen.position[1], 2);
    EXPECT_FLOAT_EQ(seen.position[2], -3);
    EXPECT_FLOAT_EQ(seen.velocity[2], -4);
    const float orientation[6] = {0.6f, 0, -0.8f, 0, 1, 0};
    for (int i = 0; i < 6; ++i)
        EXPECT_FLOAT_EQ(seen.orientation[i], orientation[i]) << i;
    EXPECT_FLOAT_EQ(seen.doppler_factor, 0.5f);
    EXPECT_NEAR(seen.speed_of_sound, 343.3f / 2.0f, 1e-3f);
    EXPECT_EQ(seen.distance_model, k_inverse_distance_clamped);

    l.flRolloffFactor = 11.0f;
    EXPECT_EQ(listener->SetAllParameters(&l, DS3D_IMMEDIATE), DSERR_INVALIDPARAM);
}

TEST_F(DirectSoundTest, DeferredSettingsWaitForTheCommit)
{
    open();
    Ref<IDirectSoundBuffer> buffer;
    ASSERT_EQ(make(buffer.out(), DSBCAPS_CTRL3D | DSBCAPS_CTRLVOLUME, 8820), DS_OK);
    Ref<IDirectSound3DBuffer> buffer_3d;
    ASSERT_EQ(buffer->QueryInterface(IID_IDirectSound3DBuffer, buffer_3d.out_void()), DS_OK);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);

    DS3DBUFFER p{};
    p.dwSize = sizeof p;
    ASSERT_EQ(buffer_3d->GetAllParameters(&p), DS_OK);
    EXPECT_FLOAT_EQ(p.flMinDistance, DS3D_DEFAULTMINDISTANCE);
    EXPECT_FLOAT_EQ(p.flMaxDistance, DS3D_DEFAULTMAXDISTANCE);
    p.vPosition = {5, 0, 7};
    p.flMinDistance = 2;
    p.flMaxDistance = 40;
    ASSERT_EQ(buffer_3d->SetAllParameters(&p, DS3D_DEFERRED), DS_OK);
    DS3DLISTENER l{sizeof(DS3DLISTENER), {0, 0, 1}, {0, 0, 0}, {0, 0, 1}, {0, 1, 0}, 1, 2, 1};
    ASSERT_EQ(listener->SetAllParameters(&l, DS3D_DEFERRED), DS_OK);

    DsoundSeamSource source{};
    ASSERT_TRUE(dsound_seam_source(buffer.get(), &source));
    EXPECT_FLOAT_EQ(source.position[0], 0) << "applied before the commit";
    DS3DBUFFER committed{};
    committed.dwSize = sizeof committed;
    ASSERT_EQ(buffer_3d->GetAllParameters(&committed), DS_OK);
    EXPECT_FLOAT_EQ(committed.vPosition.x, 0);

    ASSERT_EQ(listener->CommitDeferredSettings(), DS_OK);
    ASSERT_TRUE(dsound_seam_source(buffer.get(), &source));
    EXPECT_FALSE(source.relative);
    EXPECT_FLOAT_EQ(source.position[0], 5);
    EXPECT_FLOAT_EQ(source.position[2], -7);
    EXPECT_FLOAT_EQ(source.reference_distance, 2);
    EXPECT_FLOAT_EQ(source.max_distance, 40);
    EXPECT_FLOAT_EQ(source.rolloff_factor, 2) << "the listener's rolloff reaches every 3-D source";
    DsoundSeamListener seen{};
    ASSERT_TRUE(dsound_seam_listener(sound.get(), &seen));
    EXPECT_FLOAT_EQ(seen.position[2], -1);
}

TEST_F(DirectSoundTest, MuteAtMaxDistanceSilencesOnlyWhenAsked)
{
    open();
    struct Case {
        DWORD flags;
        D3DVECTOR position;
        DWORD mode;
        float gain;
    } cases[] = {
        {DSBCAPS_CTRL3D | DSBCAPS_MUTE3DATMAXDISTANCE, {0, 0, 9}, DS3DMODE_NORMAL, 1.0f},
        {DSBCAPS_CTRL3D | DSBCAPS_MUTE3DATMAXDISTANCE, {0, 0, 11}, DS3DMODE_NORMAL, 0.0f},
        {DSBCAPS_CTRL3D | DSBCAPS_MUTE3DATMAXDISTANCE, {0, 0, 11}, DS3DMODE_DISABLE, 1.0f},
        {DSBCAPS_CTRL3D, {0, 0, 11}, DS3DMODE_NORMAL, 1.0f},
    };
    for (const Case& c : cases) {
        Ref<IDirectSoundBuffer> buffer;
        ASSERT_EQ(make(buffer.out(), c.flags, 8820), DS_OK);
        Ref<IDirectSound3DBuffer> buffer_3d;
        ASSERT_EQ(buffer->QueryInterface(IID_IDirectSound3DBuffer, buffer_3d.out_void()), DS_OK);
        DS3DBUFFER p{};
        p.dwSize = sizeof p;
        ASSERT_EQ(buffer_3d->GetAllParameters(&p), DS_OK);
        p.vPosition = c.position;
        p.flMaxDistance = 10;
        p.dwMode = c.mode;
        ASSERT_EQ(buffer_3d->SetAllParameters(&p, DS3D_IMMEDIATE), DS_OK);
        ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
        DsoundSeamSource source{};
        ASSERT_TRUE(dsound_seam_source(buffer.get(), &source));
        EXPECT_FLOAT_EQ(source.gain, c.gain) << c.flags << " at z " << c.position.z << " mode " << c.mode;
    }
    DS3DBUFFER bad{sizeof(DS3DBUFFER), {0, 0, 0}, {0, 0, 0}, 360, 90, {0, 0, 1}, 0, 1, 10, DS3DMODE_NORMAL};
    Ref<IDirectSoundBuffer> buffer;
    ASSERT_EQ(make(buffer.out(), DSBCAPS_CTRL3D, 8820), DS_OK);
    Ref<IDirectSound3DBuffer> buffer_3d;
    ASSERT_EQ(buffer->QueryInterface(IID_IDirectSound3DBuffer, buffer_3d.out_void()), DS_OK);
    EXPECT_EQ(buffer_3d->SetAllParameters(&bad, DS3D_IMMEDIATE), DSERR_INVALIDPARAM) << "inside cone wider";
}

TEST_F(DirectSoundTest, FlatBuffersHaveNoThreeDInterface)
{
    open();
    Ref<IDirectSoundBuffer> buffer;
    ASSERT_EQ(make(buffer.out(), DSBCAPS_CTRLVOLUME, 8820), DS_OK);
    Ref<IDirectSound3DBuffer> buffer_3d;
    EXPECT_EQ(buffer->QueryInterface(IID_IDirectSound3DBuffer, buffer_3d.out_void()), DSERR_NOINTERFACE);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    DsoundSeamSource source{};
    ASSERT_TRUE(dsound_seam_source(buffer.get(), &source));
    EXPECT_TRUE(source.relative);
    EXPECT_FLOAT_EQ(source.rolloff_factor, 0);
    EXPECT_FALSE(source.reverb_send);
}

// ---- EAX -----------------------------------------------------------------------------------------

class EaxTest : public DirectSoundTest {
protected:
    // A 3-D buffer placed as asked, its property set taken through its 3-D interface.
    void make_3d(DWORD placement)
    {
        ASSERT_EQ(make(buffer.out(), DSBCAPS_CTRL3D | DSBCAPS_STATIC | placement, 8820), DS_OK);
        ASSERT_EQ(buffer->QueryInterface(IID_IDirectSound3DBuffer, buffer_3d.out_void()), DS_OK);
        ASSERT_EQ(buffer_3d->QueryInterface(IID_IKsPropertySet, set.out_void()), DS_OK);
    }
    ULONG support(const GUID& property_set, ULONG id)
    {
        ULONG value = 0;
        set->QuerySupport(property_set, id, &value);
        return value;
    }

    Ref<IDirectSoundBuffer> buffer;
    Ref<IDirectSound3DBuffer> buffer_3d;
    Ref<IKsPropertySet> set;
};

constexpr ULONG k_get_set = KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET;

TEST_F(EaxTest, HardwareThreeDBuffersOfferBothVersions)
{
    open();
    make_3d(DSBCAPS_LOCHARDWARE);
    EXPECT_EQ(support(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ALLPARAMETERS), k_get_set);
    EXPECT_EQ(support(DSPROPSETID_EAX20_BufferProperties, DSPROPERTY_EAXBUFFER_ALLPARAMETERS), k_get_set);
    EXPECT_EQ(support(DSPROPSETID_EAX_ReverbProperties, DSPROPERTY_EAX_ALL), k_get_set);
    EXPECT_EQ(support(DSPROPSETID_EAXBUFFER_ReverbProperties, DSPROPERTY_EAXBUFFER_ALL), k_get_set);
    ULONG value = 0;
    EXPECT_EQ(set->QuerySupport(DSPROPSETID_EAX20_ListenerProperties, 16, &value), E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(set->QuerySupport(DSPROPSETID_EAX20_ListenerProperties,
                                0x80000000u | DSPROPERTY_EAXLISTENER_ROOM, &value),
              E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(set->QuerySupport(IID_IUnknown, 0, &value), E_PROP_SET_UNSUPPORTED);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    DsoundSeamSource source{};
    ASSERT_TRUE(dsound_seam_source(buffer.get(), &source));
    EXPECT_TRUE(source.reverb_send);
}

TEST_F(EaxTest, SoftwareBuffersStayDry)
{
    open();
    make_3d(DSBCAPS_LOCSOFTWARE);
    ULONG value = 0;
    EXPECT_EQ(set->QuerySupport(DSPROPSETID_EAX20_ListenerProperties, 1, &value), E_PROP_SET_UNSUPPORTED);
    EXPECT_EQ(value, 0u);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    DsoundSeamSource source{};
    ASSERT_TRUE(dsound_seam_source(buffer.get(), &source));
    EXPECT_FALSE(source.reverb_send);
}

TEST_F(EaxTest, VersionOneDeviceOffersOnlyTheVersionOneSets)
{
    dsound_seam_set_eax(1);
    open();
    make_3d(DSBCAPS_LOCHARDWARE);
    EXPECT_EQ(support(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ALLPARAMETERS), 0u);
    EXPECT_EQ(support(DSPROPSETID_EAX_ReverbProperties, DSPROPERTY_EAX_ALL), k_get_set);
}

TEST_F(EaxTest, WithoutEfxNothingIsOffered)
{
    dsound_seam_set_eax(0);
    open();
    make_3d(DSBCAPS_LOCHARDWARE);
    EXPECT_EQ(support(DSPROPSETID_EAX_ReverbProperties, DSPROPERTY_EAX_ALL), 0u);
    DsoundSeamReverb reverb{};
    ASSERT_TRUE(dsound_seam_reverb(sound.get(), &reverb));
    EXPECT_FALSE(reverb.present);
}

TEST_F(EaxTest, EnvironmentLoadsItsReverbAndFieldsChangeIt)
{
    open();
    make_3d(DSBCAPS_LOCHARDWARE);
    DWORD environment = 5; // stone room
    ASSERT_EQ(set->Set(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ENVIRONMENT, nullptr, 0,
                       &environment, sizeof environment),
              DS_OK);
    EAXLISTENERPROPERTIES all{};
    ULONG returned = 0;
    ASSERT_EQ(set->Get(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ALLPARAMETERS, nullptr, 0,
                       &all, sizeof all, &returned),
              DS_OK);
    EXPECT_EQ(returned, sizeof all);
    EXPECT_EQ(all.dwEnvironment, 5u);
    EXPECT_FLOAT_EQ(all.flEnvironmentSize, 11.6f);
    EXPECT_EQ(all.lRoom, -1000);
    DsoundSeamReverb reverb{};
    ASSERT_TRUE(dsound_seam_reverb(sound.get(), &reverb));
    EXPECT_NEAR(reverb.decay_time, all.flDecayTime, 1e-4f);
    EXPECT_NEAR(reverb.gain, 0.3162f, 1e-3f);

    LONG level = 125;
    ASSERT_EQ(set->Set(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_REVERB, nullptr, 0,
                       &level, sizeof level),
              DS_OK);
    ASSERT_TRUE(dsound_seam_reverb(sound.get(), &reverb));
    EXPECT_NEAR(reverb.late_reverb_gain, std::pow(10.0f, 125.0f / 2000.0f), 1e-4f);
    LONG read = 0;
    ASSERT_EQ(set->Get(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_REVERB, nullptr, 0, &read,
                       sizeof read, &returned),
              DS_OK);
    EXPECT_EQ(read, 125);

    LONG too_loud = 2001;
    EXPECT_EQ(set->Set(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_REVERB, nullptr, 0,
                       &too_loud, sizeof too_loud),
              DSERR_INVALIDPARAM);
    environment = EAX_ENVIRONMENT_COUNT;
    EXPECT_EQ(set->Set(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ENVIRONMENT, nullptr, 0,
                       &environment, sizeof environment),
              DSERR_INVALIDPARAM);
    EXPECT_EQ(
        set->Set(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_REVERB, nullptr, 0, &level, 2),
        DSERR_INVALIDPARAM);
}

// Every environment's size agrees with the density of the EFX preset it loads.
TEST_F(EaxTest, EnvironmentSizesMatchTheirPresets)
{
    open();
    make_3d(DSBCAPS_LOCHARDWARE);
    for (DWORD environment = 0; environment < EAX_ENVIRONMENT_COUNT; ++environment) {
        ASSERT_EQ(set->Set(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ENVIRONMENT, nullptr,
                           0, &environment, sizeof environment),
                  DS_OK);
        EAXLISTENERPROPERTIES all{};
        ULONG returned = 0;
        ASSERT_EQ(set->Get(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ALLPARAMETERS,
                           nullptr, 0, &all, sizeof all, &returned),
                  DS_OK);
        DsoundSeamReverb reverb{};
        ASSERT_TRUE(dsound_seam_reverb(sound.get(), &reverb));
        float size = all.flEnvironmentSize;
        EXPECT_NEAR(reverb.density, std::min(1.0f, size * size * size / 16.0f), 2e-3f) << environment;
    }
}

TEST_F(EaxTest, VersionOneVolumeIsTheReverbLevel)
{
    open();
    ASSERT_EQ(make(buffer.out(), DSBCAPS_CTRL3D | DSBCAPS_STATIC, 8820), DS_OK);
    ASSERT_EQ(buffer->QueryInterface(IID_IKsPropertySet, set.out_void()), DS_OK);
    DWORD environment = 2;
    float volume = 0.2f;
    ASSERT_EQ(
        set->Set(DSPROPSETID_EAX_ReverbProperties, DSPROPERTY_EAX_ENVIRONMENT, nullptr, 0, &environment, 4),
        DS_OK);
    ASSERT_EQ(set->Set(DSPROPSETID_EAX_ReverbProperties, DSPROPERTY_EAX_VOLUME, nullptr, 0, &volume, 4),
              DS_OK);
    DsoundSeamReverb reverb{};
    ASSERT_TRUE(dsound_seam_reverb(sound.get(), &reverb));
    EXPECT_FLOAT_EQ(reverb.slot_gain, 0.2f);
    EAX_REVERBPROPERTIES all{};
    ULONG returned = 0;
    ASSERT_EQ(set->Get(DSPROPSETID_EAX_ReverbProperties, DSPROPERTY_EAX_ALL, nullptr, 0, &all, sizeof all,
                       &returned),
              DS_OK);
    EXPECT_EQ(all.environment, 2u);
    EXPECT_FLOAT_EQ(all.fVolume, 0.2f);
    EXPECT_NEAR(all.fDecayTime_sec, reverb.decay_time, 1e-4f);
}

} // namespace

// ---- A real device ---------------------------------------------------------------------------------

// Without the loopback, the stand-in's own feeder keeps OpenAL's null output playing in real
// time: the cursor moves on by itself and a one-shot ends by itself.
TEST(DirectSoundRealDevice, PlaybackRunsOnByItself)
{
    dsound_seam_reset();
    IDirectSound8* sound = nullptr;
    ASSERT_EQ(DirectSoundCreate8(nullptr, &sound, nullptr), DS_OK);
    ASSERT_EQ(sound->SetCooperativeLevel(k_window, DSSCL_PRIORITY), DS_OK);
    WAVEFORMATEX format = dsound_pcm_format(1, 22050, 16);
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), DSBCAPS_GETCURRENTPOSITION2, 4410, 0, &format, {}};
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(sound->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK); // 100 ms
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    DWORD play = 0, write = 0;
    bool wrapped = false;
    DWORD previous = 0;
    while (!wrapped && std::chrono::steady_clock::now() < deadline) {
        ASSERT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
        wrapped = play < previous;
        previous = play;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(wrapped) << "the looping cursor never came round";

    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK); // the rest of this lap, then the end
    DWORD value = DSBSTATUS_PLAYING;
    while ((value & DSBSTATUS_PLAYING) && std::chrono::steady_clock::now() < deadline) {
        ASSERT_EQ(buffer->GetStatus(&value), DS_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(buffer->Release(), 0u);
    EXPECT_EQ(sound->Release(), 0u);
}
