#include "lowlv/audio/audioss_ogg.h"

#include "audio_fixture.h"
#include "core/errors.h"

#include <gtest/gtest.h>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

// The streams describe the decoder library's records themselves; they must match its layout.
static_assert(sizeof(OggCallbacks) == sizeof(ov_callbacks));
static_assert(offsetof(OggInfo, channels) == offsetof(vorbis_info, channels));
static_assert(offsetof(OggInfo, rate) == offsetof(vorbis_info, rate));
static_assert(sizeof(OggInfo) == sizeof(vorbis_info));
static_assert(offsetof(OggComment, user_comments) == offsetof(vorbis_comment, user_comments));
static_assert(offsetof(OggComment, comment_lengths) == offsetof(vorbis_comment, comment_lengths));
static_assert(offsetof(OggComment, comments) == offsetof(vorbis_comment, comments));
static_assert(sizeof(OggVorbis_File) <= OGG_FILE_STATE_SIZE);

namespace {

constexpr std::uint64_t k_max = STREAM_LOOP_LENGTH_MAX;

struct LoopTagCase {
    const char* comment;
    std::uint64_t start;
    std::uint64_t length;
};

TEST(OggLoopTag, ReadsEitherTagInAnyCaseAndClampsItsValue)
{
    const LoopTagCase cases[] = {
        {"LOOPSTART=44100", 44100, 7},
        {"looplength=88200", 3, 88200},
        {"LoopStart=5 LOOPLENGTH=9", 5, 7}, // both in one comment: only the start
        {"LOOPSTART= 12", 12, 7},
        {"LOOPSTART=-5", 0, 7},
        {"LOOPSTART=99999999999999999999999", k_max, 7},
        {"LOOPLENGTH=562949953421312", 3, k_max}, // 2^49
        {"TITLE=LOOP", 3, 7},
        {"LOOPSTART=abc", 0, 7},
    };
    for (const LoopTagCase& c : cases) {
        std::uint64_t start = 3, length = 7;
        ogg_parse_loop_tag(c.comment, start, length);
        EXPECT_EQ(start, c.start) << c.comment;
        EXPECT_EQ(length, c.length) << c.comment;
    }
}

// What a piece delivers to the ring, frame by frame, as the loop rules play it.
std::vector<std::uint8_t> expected_output(std::uint64_t frames, std::uint64_t loop_start,
                                          std::uint64_t loop_end, bool loops, std::size_t bytes)
{
    std::vector<std::uint8_t> out;
    std::uint64_t frame = 0;
    while (out.size() < bytes) {
        if (frame == loop_end || (loops && frame == frames)) frame = loop_start;
        if (frame >= frames) {
            out.resize(bytes, 0);
            break;
        }
        fake_ogg::append_frames(out, frame++, 1, 2);
    }
    out.resize(bytes);
    return out;
}

class MusicStreamTest : public AudioTest {
protected:
    void SetUp() override
    {
        AudioTest::SetUp();
        fake_ogg::register_vorbisfile();
        ogg_bind_decoder(false);
        ASSERT_EQ(DSound::Initialize(Params()), S_OK);
        m_stream = std::make_unique<SoundStream_OggVorbis>(g_ds);
    }
    void TearDown() override
    {
        m_stream.reset();
        ogg_unbind_decoder();
        AudioTest::TearDown();
    }

    bool Open(const std::string& name)
    {
        return m_stream->Open(m_folder.windows("release\\music\\" + name + ".ogg").c_str(),
                              AUDIO_MUSIC_BUFFER_FLAGS);
    }

    // What the ring holds in playing order: the first 32 KiB, then each half as it is refilled.
    std::vector<std::uint8_t> Record(bool loop, int refills)
    {
        std::vector<std::uint8_t> out = ReadBuffer(m_stream->Buffer(), 0, STREAM_BUFFER_SIZE);
        m_stream->Play(loop);
        for (int done = 0, steps = 0; done < refills && m_stream->IsPlaying() && steps < 100000; ++steps) {
            std::uint32_t half = m_stream->LastHalf();
            dsound_seam_advance_ms(10);
            m_stream->Update();
            if (m_stream->LastHalf() == half && m_stream->IsPlaying()) continue;
            std::vector<std::uint8_t> bytes =
                ReadBuffer(m_stream->Buffer(), half * STREAM_HALF_SIZE, STREAM_HALF_SIZE);
            out.insert(out.end(), bytes.begin(), bytes.end());
            ++done;
        }
        return out;
    }

    std::unique_ptr<SoundStream_OggVorbis> m_stream;
};

struct SeamCase {
    const char* name;
    std::uint64_t frames;
    std::vector<std::string> tags;
    bool loop_flag;
    int bytes_per_read;
    std::uint64_t loop_start, loop_end; // frames, as played
    bool loops;                         // at the end of the data
};

TEST_F(MusicStreamTest, LoopSeamsAreByteExact)
{
    const SeamCase cases[] = {
        {"tagged", 200000, {"LOOPSTART=44100", "LOOPLENGTH=88200"}, true, 4000, 44100, 132300, false},
        {"tags in lower case, no loop flag",
         200000,
         {"loopstart=44100", "looplength=88200"},
         false,
         4096,
         44100,
         132300,
         false},
        {"no tags, loop flag", 50000, {}, true, 1000, 0, k_max, true},
        {"no tags, ends on a half", 20480, {}, true, 4000, 0, k_max, true},
        {"loop shorter than the ring",
         30000,
         {"LOOPSTART=100", "LOOPLENGTH=1000"},
         true,
         4000,
         100,
         1100,
         false},
        {"loop start only", 30000, {"LOOPSTART=1000"}, true, 4000, 1000, k_max, true},
    };
    for (const SeamCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteMusic("piece", fake_ogg::piece(c.frames, c.tags, 2, 44100, c.bytes_per_read));
        ASSERT_TRUE(Open("piece"));
        EXPECT_EQ(m_stream->LastHalf(), 0u);
        std::vector<std::uint8_t> played = Record(c.loop_flag, 40);
        std::size_t size = 32768 + 40 * 16384;
        ASSERT_EQ(played.size(), size);
        std::vector<std::uint8_t> expected =
            expected_output(c.frames, c.loop_start, c.loop_end, c.loops, size);
        std::size_t first_difference =
            std::mismatch(played.begin(), played.end(), expected.begin()).first - played.begin();
        EXPECT_EQ(first_difference, size);
        EXPECT_TRUE(m_stream->IsPlaying());
        m_stream->Close();
    }
}

TEST_F(MusicStreamTest, PieceWithoutLoopEndsInSilenceAndStops)
{
    WriteMusic("piece", fake_ogg::piece(50000));
    ASSERT_TRUE(Open("piece"));
    std::vector<std::uint8_t> played = Record(false, 40);
    // 200000 bytes of music, the rest of that half zero, then the silenced half that stopped it.
    std::size_t halves = (200000 + 16383) / 16384 + 1;
    ASSERT_EQ(played.size(), 16384 * halves);
    EXPECT_EQ(played, expected_output(50000, 0, k_max, false, played.size()));
    EXPECT_FALSE(m_stream->IsPlaying());
    EXPECT_FALSE(Playing(m_stream->Buffer()));
    EXPECT_EQ(Volume(m_stream->Buffer()), DSBVOLUME_MIN);
}

TEST_F(MusicStreamTest, HugeLoopTagsAreClamped)
{
    WriteMusic("piece", fake_ogg::piece(1000, {"LOOPSTART=562949953421300", "LOOPLENGTH=562949953421312"}));
    ASSERT_TRUE(Open("piece"));
    EXPECT_EQ(m_stream->LoopStart(), 562949953421300ull * 4);
    EXPECT_EQ(m_stream->LoopEnd(), k_max * 4);
}

TEST_F(MusicStreamTest, OpenFailsForMissingOrUndecodableFiles)
{
    EXPECT_FALSE(Open("missing"));
    EXPECT_FALSE(m_stream->IsOpen());
    WriteMusic("text", std::string("not a piece of music"));
    EXPECT_FALSE(Open("text"));
    EXPECT_FALSE(m_stream->IsOpen());
    WriteMusic("piece", fake_ogg::piece(1000));
    SoundStream_OggVorbis without_sound(nullptr);
    EXPECT_FALSE(
        without_sound.Open(m_folder.windows("release\\music\\piece.ogg").c_str(), AUDIO_MUSIC_BUFFER_FLAGS));
}

TEST_F(MusicStreamTest, MusicFolderIsFoundWhateverItsCase)
{
    std::filesystem::rename(m_folder.path() / "release" / "music", m_folder.path() / "release" / "Music");
    write_host_file(m_folder.path() / "release" / "Music" / "Piece.OGG", fake_ogg::piece(1000));
    EXPECT_TRUE(Open("piece"));
}

TEST_F(MusicStreamTest, LostBufferIsRestoredOnceThenTheStreamGivesUp)
{
    WriteMusic("piece", fake_ogg::piece(200000));
    ASSERT_TRUE(Open("piece"));
    m_stream->Play(true);
    dsound_seam_fail("Lock", DSERR_BUFFERLOST, 1);
    while (m_stream->LastHalf() == 0) {
        dsound_seam_advance_ms(10);
        m_stream->Update();
    }
    EXPECT_TRUE(m_stream->IsPlaying());
    EXPECT_EQ(m_stream->DecodePosition(), 32768u + 16384u);

    dsound_seam_fail("Lock", DSERR_BUFFERLOST, 2);
    for (int i = 0; i < 20 && m_stream->IsPlaying(); ++i) {
        dsound_seam_advance_ms(10);
        m_stream->Update();
    }
    EXPECT_FALSE(m_stream->IsPlaying());
    EXPECT_EQ(Volume(m_stream->Buffer()), DSBVOLUME_MIN);
    EXPECT_FALSE(m_stream->IsBusy());
}

class OggBindTest : public AudioTest {
protected:
    void SetUp() override
    {
        AudioTest::SetUp();
        std::filesystem::current_path(m_folder.path());
        fake_ogg::g_cpu_type_set = -1;
        fake_ogg::g_alt_state_size = 900;
        fake_ogg::g_directory_at_bind.clear();
    }
    void TearDown() override
    {
        ogg_unbind_decoder();
        AudioTest::TearDown();
    }

    WorkingDirectoryGuard m_cwd;
};

TEST_F(OggBindTest, AlternativeDecoderIsTriedFirstInTheProgramsFolder)
{
    std::filesystem::create_directories(m_folder.path() / "release" / "programs");
    fake_ogg::register_wuvorbis(true);
    fake_ogg::register_vorbisfile();
    ogg_bind_decoder(true);
    EXPECT_TRUE(ogg_alternative_in_use());
    EXPECT_EQ(fake_ogg::g_cpu_type_set, 7);
    EXPECT_EQ(std::filesystem::path(fake_ogg::g_directory_at_bind),
              std::filesystem::canonical(m_folder.path() / "release" / "programs"));
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::canonical(m_folder.path()));

    // The streams decode through it, in its own state area.
    ASSERT_EQ(DSound::Initialize(Params()), S_OK);
    WriteMusic("piece", fake_ogg::piece(1000, {"LOOPSTART=10"}));
    SoundStream_OggVorbis stream(g_ds);
    ASSERT_TRUE(stream.Open("release\\music\\piece.ogg", AUDIO_MUSIC_BUFFER_FLAGS));
    EXPECT_EQ(stream.LoopStart(), 40u);
}

struct AltCase {
    const char* name;
    bool registered, complete;
    int state_size;
    int result;
};

TEST_F(OggBindTest, AlternativeDecoderFailuresFallBackToVorbisfile)
{
    const AltCase cases[] = {
        {"absent", false, true, 900, OGG_BIND_NO_DLL},
        {"an export missing", true, false, 900, OGG_BIND_NO_EXPORT},
        {"state of 961 bytes", true, true, 961, OGG_BIND_STATE_TOO_LARGE},
        {"state of 960 bytes", true, true, 960, OGG_BIND_OK},
    };
    fake_ogg::register_vorbisfile();
    for (const AltCase& c : cases) {
        SCOPED_TRACE(c.name);
        library_unregister_builtin(OGG_ALT_DECODER_DLL);
        if (c.registered) fake_ogg::register_wuvorbis(c.complete);
        fake_ogg::g_alt_state_size = c.state_size;
        EXPECT_EQ(ogg_bind_wuvorbis(), c.result);
        EXPECT_EQ(ogg_decoder_bound(), c.result == OGG_BIND_OK);
        ogg_unbind_decoder();
        ogg_bind_decoder(true);
        EXPECT_TRUE(ogg_decoder_bound());
        EXPECT_EQ(ogg_alternative_in_use(), c.result == OGG_BIND_OK);
        ogg_unbind_decoder();
    }
}

TEST_F(OggBindTest, NoDecoderIsFatalAndPutsTheDirectoryBack)
{
    std::filesystem::create_directories(m_folder.path() / "release" / "programs");
    fake_ogg::register_broken_vorbisfile();
    std::string text;
    try {
        ogg_bind_decoder(true);
    } catch (const RuntimeError& error) {
        text = error.text;
    }
    EXPECT_EQ(text.rfind("failed: load vorvisfile.dll\n", 0), 0u) << text;
    EXPECT_FALSE(ogg_decoder_bound());
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::canonical(m_folder.path()));
}

TEST_F(OggBindTest, SystemVorbisfileBindsWithoutAProgramsFolder)
{
    ogg_bind_decoder(true);
    EXPECT_TRUE(ogg_decoder_bound());
    EXPECT_FALSE(ogg_alternative_in_use());
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::canonical(m_folder.path()));
}

// Correlation of two runs of 16-bit samples, 1 for the same shape.
double correlation(const std::uint8_t* a, const std::uint8_t* b, std::size_t samples)
{
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < samples; ++i) {
        double x = static_cast<std::int16_t>(a[2 * i] | (a[2 * i + 1] << 8));
        double y = static_cast<std::int16_t>(b[2 * i] | (b[2 * i + 1] << 8));
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

TEST_F(AudioTest, RealOggPieceStreamsThroughTheSystemDecoderAndLoops)
{
    WavFormat format{2, 44100, 16};
    OggSource source;
    source.samples = wav_tone(format, 66150, 441.0);
    source.comments = {"loopstart=22050", "LOOPLENGTH=33075"};
    WriteMusic("tone", source);
    AudioParams params = Params();
    params.use_wu_vorbis = 1; // absent here: the fall-back runs
    Start(params);
    EXPECT_FALSE(ogg_alternative_in_use());

    audio_music_play("tone", 1);
    SoundStream_OggVorbis* stream = audio_stream(1);
    ASSERT_TRUE(stream->IsOpen());
    EXPECT_EQ(stream->LoopStart(), 22050u * 4);
    EXPECT_EQ(stream->LoopEnd(), 55125u * 4);
    EXPECT_EQ(stream->DecodePosition(), 32768u);
    std::vector<std::uint8_t> ring = ReadBuffer(stream->Buffer(), 0, STREAM_BUFFER_SIZE);
    EXPECT_GT(correlation(ring.data(), source.samples.data(), 16384), 0.95);

    Pass();
    ASSERT_TRUE(stream->IsPlaying());
    std::uint64_t highest = 0;
    bool wrapped = false;
    for (int i = 0; i < 400 && !wrapped; ++i) {
        std::uint64_t before = stream->DecodePosition();
        Pass();
        highest = std::max(highest, stream->DecodePosition());
        wrapped = stream->DecodePosition() < before;
    }
    EXPECT_TRUE(wrapped);
    EXPECT_LE(highest, stream->LoopEnd());
    EXPECT_TRUE(stream->IsPlaying());
}

} // namespace
