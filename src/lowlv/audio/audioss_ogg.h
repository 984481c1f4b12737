// Music streams: Ogg Vorbis pieces from loose files "<music folder><name>.ogg", decoded through a
// decoder library bound at run time by name into a 32 KiB sound buffer that plays as a ring of
// two 16 KiB halves. Loop points come from the comments "LOOPSTART=" and "LOOPLENGTH=" (samples,
// any case), so a piece can play its introduction once and then cycle with byte accuracy.
//
// Open and Close run on the main thread; Update on the audio thread outside the audio lock.
// Before closing, the main thread stops the stream under the lock and waits for IsBusy to clear.
#pragma once

#include "platform/dsound.h"
#include "platform/win_types.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

// The decoder library's interface, as both decoders export it (the host's C calling convention).
// The three records are the library's own public layouts; only the named fields are read.
struct OggCallbacks {
    std::size_t (*read)(void* buffer, std::size_t size, std::size_t count, void* source);
    int (*seek)(void* source, std::int64_t offset, int origin);
    int (*close)(void* source);
    long (*tell)(void* source);
};
struct OggInfo {
    int version;
    int channels;
    long rate;
    long bitrate_upper, bitrate_nominal, bitrate_lower, bitrate_window;
    void* codec_setup;
};
struct OggComment {
    char** user_comments;
    int* comment_lengths;
    int comments;
    char* vendor;
};

// The seven entry points the streams use; `file` is the decoder's state in the stream.
struct OggDecoder {
    int (*clear)(void* file);
    std::int64_t (*pcm_total)(void* file, int link);
    int (*pcm_seek)(void* file, std::int64_t sample);
    OggInfo* (*info)(void* file, int link);
    OggComment* (*comment)(void* file, int link);
    int (*open_callbacks)(void* source, void* file, const char* initial, long initial_bytes,
                          OggCallbacks callbacks);
    long (*read)(void* file, char* buffer, int length, int big_endian, int word, int is_signed,
                 int* bitstream);
};

constexpr const char* OGG_DECODER_DLL = "vorbisfile.dll";
constexpr const char* OGG_ALT_DECODER_DLL = "wuvorbis.dll";
constexpr const char* OGG_TEXT_NO_DECODER = "failed: load vorvisfile.dll";
constexpr const char* OGG_PROGRAMS_DIR = "release\\programs\\";
constexpr std::size_t OGG_ALT_STATE_SIZE = 960;
// Room for the standard decoder's state record on this host.
constexpr std::size_t OGG_FILE_STATE_SIZE = 1024;

// Results of ogg_bind_wuvorbis.
constexpr int OGG_BIND_OK = 0;
constexpr int OGG_BIND_NO_DLL = 1;
constexpr int OGG_BIND_NO_EXPORT = 2;
constexpr int OGG_BIND_STATE_TOO_LARGE = 3;

constexpr DWORD STREAM_BUFFER_SIZE = 32768;
constexpr DWORD STREAM_HALF_SIZE = 16384;
constexpr std::uint64_t STREAM_LOOP_LENGTH_MAX = (std::uint64_t{1} << 49) - 1; // samples

// Binds a decoder with the current directory moved to "<cwd>\release\programs\" for the load:
// the alternative first when asked (falling back when it fails), else vorbisfile. Throws
// RuntimeError "failed: load vorvisfile.dll" when no decoder can be bound.
void ogg_bind_decoder(bool try_alternative);
// OGG_BIND_*; OGG_BIND_OK also when it is bound already. Unloads the library on any failure.
int ogg_bind_wuvorbis();
// Unloads whichever decoder is bound.
void ogg_unbind_decoder();
bool ogg_decoder_bound();
bool ogg_alternative_in_use();

// Decodes 16-bit little-endian signed PCM at dest + count until count reaches size or a read
// returns 0 (end of data) or less (error). Returns the last read's result, 1 when nothing was asked.
long ogg_decode_into(void* file, std::uint8_t* dest, std::uint32_t& count, std::uint32_t size);

// Loop points of one comment, in samples: "LOOPSTART=" (taking priority) or "LOOPLENGTH=", in any
// case; values are clamped to 0 .. STREAM_LOOP_LENGTH_MAX.
void ogg_parse_loop_tag(std::string_view comment, std::uint64_t& loop_start, std::uint64_t& loop_length);

// The stream's volume and fade, advanced on every Update.
struct StreamFade {
    IDirectSoundBuffer* buffer = nullptr; // the stream's buffer again, for the volume
    std::atomic<std::int32_t> volume{1024};
    std::int32_t start_volume = 1024;
    std::int32_t target = 1024;
    std::int32_t duration = 0; // ms; 0 = no fade
    DWORD start_time = 0;
};

class SoundStream {
public:
    virtual ~SoundStream();
    virtual bool Open(const char* path, DWORD buffer_flags) = 0;
    virtual void Close() = 0;
    virtual void Play(bool loop) = 0;
    virtual void Stop() = 0;
    virtual void Resume() = 0;
    virtual void Update() = 0;
    virtual void ApplyVolume() = 0;
    virtual const char* GetExtension() const = 0;
};

class SoundStream_OggVorbis final : public SoundStream {
public:
    explicit SoundStream_OggVorbis(IDirectSound8* sound);
    ~SoundStream_OggVorbis() override;
    SoundStream_OggVorbis(const SoundStream_OggVorbis&) = delete;
    SoundStream_OggVorbis& operator=(const SoundStream_OggVorbis&) = delete;

    // Opens the file, decodes the first 32 KiB and reads the loop points; the stream stays stopped.
    bool Open(const char* path, DWORD buffer_flags) override;
    void Close() override;
    void Play(bool loop) override;
    void Stop() override;
    void Resume() override;
    // Fade step and, once the play cursor has left a half, its refill.
    void Update() override;
    void ApplyVolume() override;
    const char* GetExtension() const override { return ".ogg"; }

    bool IsOpen() const { return m_buffer != nullptr; }
    bool IsPlaying() const { return m_playing.load(); }
    bool IsBusy() const { return m_busy.load(); }
    bool Loops() const { return m_loop; }
    IDirectSoundBuffer* Buffer() const { return m_buffer; }
    StreamFade& Fade() { return m_fade; }
    std::uint64_t LoopStart() const { return m_loop_start; }
    std::uint64_t LoopEnd() const { return m_loop_end; }
    std::uint64_t DecodePosition() const { return m_position; }
    std::uint32_t LastHalf() const { return m_last_half; }

private:
    void* DecoderState();
    // The file opened and the decoder on it; its format, or null.
    const OggInfo* OpenDecoder(const char* path);
    bool CreateRing(const OggInfo& info, DWORD buffer_flags);
    bool FillRing();
    void ReadLoopPoints();
    // Fills `size` bytes from the decode position, looping at the loop end; false when the
    // decoder ran dry or failed so that the stream must stop (the rest is then silence).
    bool Fill(std::uint8_t* dest, std::uint32_t size);
    bool SeekLoopStart();
    void Silence();

    IDirectSound8* m_sound;
    IDirectSoundBuffer* m_buffer = nullptr;
    // Both flags are read across threads outside the lock: Close stops (playing = 0) and then
    // waits for busy = 0 while Update raises busy before it tests playing. That store-then-load
    // pairing on two threads needs sequentially consistent order, not only acquire/release.
    std::atomic<bool> m_playing{false};
    bool m_loop = false;
    std::atomic<bool> m_busy{false};
    std::uint32_t m_frame_size = 4;
    std::uint64_t m_loop_start = 0; // bytes
    std::uint64_t m_loop_end = 0;   // bytes
    std::uint64_t m_position = 0;   // bytes of PCM delivered so far
    StreamFade m_fade;
    alignas(8) std::uint8_t m_alt_state[OGG_ALT_STATE_SIZE] = {};
    alignas(8) std::uint8_t m_file_state[OGG_FILE_STATE_SIZE] = {};
    std::FILE* m_file = nullptr;
    std::uint32_t m_last_half = 1;
};
