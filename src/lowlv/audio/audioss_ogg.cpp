#include "lowlv/audio/audioss_ogg.h"

#include "core/errors.h"
#include "lowlv/audio/audio_params.h"
#include "platform/win_crt.h"
#include "platform/win_file.h"
#include "platform/win_kernel.h"
#include "platform/win_shell.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

HMODULE g_ogg_library = nullptr;
bool g_ogg_alternative = false;
OggDecoder g_ogg{};

// Every export the alternative decoder must have, in the order they are looked up.
constexpr const char* k_wuvorbis_exports[] = {"Query_sizeof_OggVorbis_File",
                                              "wu_ov_clear",
                                              "wu_ov_open_callbacks",
                                              "wu_ov_test_callbacks",
                                              "wu_ov_test_open",
                                              "wu_ov_bitrate",
                                              "wu_ov_bitrate_instant",
                                              "wu_ov_streams",
                                              "wu_ov_seekable",
                                              "wu_ov_serialnumber",
                                              "wu_ov_raw_total",
                                              "wu_ov_pcm_total",
                                              "wu_ov_time_total",
                                              "wu_ov_raw_seek",
                                              "wu_ov_pcm_seek",
                                              "wu_ov_pcm_seek_page",
                                              "wu_ov_time_seek",
                                              "wu_ov_time_seek_page",
                                              "wu_ov_raw_seek_lap",
                                              "wu_ov_pcm_seek_lap",
                                              "wu_ov_pcm_seek_page_lap",
                                              "wu_ov_time_seek_lap",
                                              "wu_ov_time_seek_page_lap",
                                              "wu_ov_raw_tell",
                                              "wu_ov_pcm_tell",
                                              "wu_ov_time_tell",
                                              "wu_ov_info",
                                              "wu_ov_comment",
                                              "wu_ov_read_float",
                                              "wu_ov_read",
                                              "wu_ov_crosslap",
                                              "wu_SetCPUType",
                                              "wu_DetectCPU",
                                              "wu_ScaleOutput"};

template <class F> bool lookup(HMODULE library, const char* name, F& entry)
{
    FARPROC found = GetProcAddress(library, name);
    entry = reinterpret_cast<F>(found);
    return found != nullptr;
}

// The seven entry points under the decoder's prefix ("ov_" or "wu_ov_").
bool lookup_decoder(HMODULE library, const std::string& prefix, OggDecoder& decoder)
{
    return lookup(library, (prefix + "clear").c_str(), decoder.clear) &&
           lookup(library, (prefix + "pcm_total").c_str(), decoder.pcm_total) &&
           lookup(library, (prefix + "pcm_seek").c_str(), decoder.pcm_seek) &&
           lookup(library, (prefix + "info").c_str(), decoder.info) &&
           lookup(library, (prefix + "comment").c_str(), decoder.comment) &&
           lookup(library, (prefix + "open_callbacks").c_str(), decoder.open_callbacks) &&
           lookup(library, (prefix + "read").c_str(), decoder.read);
}

void unbind(HMODULE library)
{
    FreeLibrary(library);
    g_ogg_library = nullptr;
    g_ogg_alternative = false;
    g_ogg = OggDecoder{};
}

// The libraries are looked for in "<current directory>\release\programs\"; the directory is
// put back however the binding ends. A missing folder only means the libraries are found elsewhere.
class ProgramsDirectory {
public:
    ProgramsDirectory()
    {
        DWORD length = GetCurrentDirectoryA(MAX_PATH, m_saved);
        if (length == 0 || length >= MAX_PATH) {
            m_saved[0] = '\0';
            return;
        }
        const char* separator = m_saved[length - 1] == '\\' ? "" : "\\";
        char programs[MAX_PATH * 2];
        std::snprintf(programs, sizeof programs, "%s%s%s", m_saved, separator, OGG_PROGRAMS_DIR);
        SetCurrentDirectoryA(programs);
    }
    ~ProgramsDirectory()
    {
        if (m_saved[0]) SetCurrentDirectoryA(m_saved);
    }
    ProgramsDirectory(const ProgramsDirectory&) = delete;
    ProgramsDirectory& operator=(const ProgramsDirectory&) = delete;

private:
    char m_saved[MAX_PATH];
};

std::size_t callback_read(void* buffer, std::size_t size, std::size_t count, void* source)
{
    return std::fread(buffer, size, count, static_cast<std::FILE*>(source));
}

int callback_seek(void* source, std::int64_t offset, int origin)
{
    return std::fseek(static_cast<std::FILE*>(source), static_cast<long>(offset), origin);
}

int callback_close(void* source)
{
    return std::fclose(static_cast<std::FILE*>(source));
}

long callback_tell(void* source)
{
    return std::ftell(static_cast<std::FILE*>(source));
}

constexpr OggCallbacks k_file_callbacks = {callback_read, callback_seek, callback_close, callback_tell};

// A decimal value as the runtime's 64-bit conversion reads it (blanks, a sign, digits), held
// within 0 .. STREAM_LOOP_LENGTH_MAX so no later product can overflow.
std::uint64_t parse_sample_count(const std::string& text, std::size_t at)
{
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    std::uint64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = std::min<std::uint64_t>(value * 10 + (text[at] - '0'), STREAM_LOOP_LENGTH_MAX);
    return negative ? 0 : value;
}

// The integer linear fade and the volume it reaches, once per Update.
void audio_stream_fade_step(StreamFade& fade)
{
    if (fade.duration == 0) return;
    DWORD elapsed = timeGetTime() - fade.start_time;
    std::int32_t volume = fade.target;
    if (elapsed < static_cast<DWORD>(fade.duration))
        volume = fade.start_volume + static_cast<std::int32_t>(std::int64_t{fade.target - fade.start_volume} *
                                                               elapsed / fade.duration);
    else
        fade.duration = 0;
    if (volume == fade.volume.load()) return;
    fade.volume.store(volume);
    if (fade.buffer) fade.buffer->SetVolume(audio_volume_to_db(volume, audio_bgm_volume()));
}

} // namespace

void ogg_bind_decoder(bool try_alternative)
{
    if (g_ogg_library) return;
    ProgramsDirectory programs;
    if (try_alternative && ogg_bind_wuvorbis() == OGG_BIND_OK) {
        int (*detect_cpu)() = nullptr;
        void (*set_cpu_type)(int) = nullptr;
        lookup(g_ogg_library, "wu_DetectCPU", detect_cpu);
        lookup(g_ogg_library, "wu_SetCPUType", set_cpu_type);
        set_cpu_type(detect_cpu());
        g_ogg_alternative = true;
        return;
    }
    HMODULE library = LoadLibraryA(OGG_DECODER_DLL);
    OggDecoder decoder{};
    // A library without the decoder's entry points cannot decode either. The directory is put
    // back by `programs` as the error leaves.
    if (library && !lookup_decoder(library, "ov_", decoder)) {
        FreeLibrary(library);
        library = nullptr;
    }
    if (!library) err_raise(OGG_TEXT_NO_DECODER, ERR_HERE);
    g_ogg_library = library;
    g_ogg = decoder;
}

int ogg_bind_wuvorbis()
{
    if (g_ogg_library && g_ogg_alternative) return OGG_BIND_OK;
    HMODULE library = LoadLibraryA(OGG_ALT_DECODER_DLL);
    if (!library) return OGG_BIND_NO_DLL;
    for (const char* name : k_wuvorbis_exports)
        if (!GetProcAddress(library, name)) {
            unbind(library);
            return OGG_BIND_NO_EXPORT;
        }
    int (*state_size)() = nullptr;
    lookup(library, "Query_sizeof_OggVorbis_File", state_size);
    if (state_size() > static_cast<int>(OGG_ALT_STATE_SIZE)) {
        unbind(library);
        return OGG_BIND_STATE_TOO_LARGE;
    }
    lookup_decoder(library, "wu_ov_", g_ogg);
    g_ogg_library = library;
    return OGG_BIND_OK;
}

void ogg_unbind_decoder()
{
    if (g_ogg_library) unbind(g_ogg_library);
}

bool ogg_decoder_bound()
{
    return g_ogg_library != nullptr;
}

bool ogg_alternative_in_use()
{
    return g_ogg_alternative;
}

long ogg_decode_into(void* file, std::uint8_t* dest, std::uint32_t& count, std::uint32_t size)
{
    long result = 1;
    int bitstream = 0;
    while (count < size) {
        result = g_ogg.read(file, reinterpret_cast<char*>(dest + count), static_cast<int>(size - count), 0, 2,
                            1, &bitstream);
        if (result <= 0) break;
        count += static_cast<std::uint32_t>(std::min<long>(result, size - count));
    }
    return result;
}

void ogg_parse_loop_tag(std::string_view comment, std::uint64_t& loop_start, std::uint64_t& loop_length)
{
    std::string upper(comment);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    constexpr std::string_view start_tag = "LOOPSTART=";
    constexpr std::string_view length_tag = "LOOPLENGTH=";
    if (std::size_t at = upper.find(start_tag); at != std::string::npos)
        loop_start = parse_sample_count(upper, at + start_tag.size());
    else if (std::size_t at = upper.find(length_tag); at != std::string::npos)
        loop_length = parse_sample_count(upper, at + length_tag.size());
}

SoundStream::~SoundStream() = default;

SoundStream_OggVorbis::SoundStream_OggVorbis(IDirectSound8* sound) : m_sound(sound)
{
    if (m_sound) m_sound->AddRef();
}

SoundStream_OggVorbis::~SoundStream_OggVorbis()
{
    Close();
    if (m_sound) m_sound->Release();
}

void* SoundStream_OggVorbis::DecoderState()
{
    return g_ogg_alternative ? static_cast<void*>(m_alt_state) : static_cast<void*>(m_file_state);
}

bool SoundStream_OggVorbis::Open(const char* path, DWORD buffer_flags)
{
    if (!m_sound || !ogg_decoder_bound()) return false;
    Close();
    const OggInfo* info = OpenDecoder(path);
    if (!info || !CreateRing(*info, buffer_flags) || !FillRing()) {
        Close();
        return false;
    }
    // The play cursor starts in half 0, which must not be refilled before it is played.
    m_last_half = 0;
    return true;
}

const OggInfo* SoundStream_OggVorbis::OpenDecoder(const char* path)
{
    if (fopen_s(&m_file, path, "rb") != 0) return nullptr;
    std::memset(DecoderState(), 0, g_ogg_alternative ? sizeof m_alt_state : sizeof m_file_state);
    // A file the decoder refuses stays ours to close: the decoder never took it.
    if (g_ogg.open_callbacks(m_file, DecoderState(), nullptr, 0, k_file_callbacks) < 0) {
        std::fclose(m_file);
        m_file = nullptr;
        return nullptr;
    }
    const OggInfo* info = g_ogg.info(DecoderState(), -1);
    if (!info || info->channels < 1 || info->channels > 0xFFFF || info->rate <= 0) return nullptr;
    return info;
}

bool SoundStream_OggVorbis::CreateRing(const OggInfo& info, DWORD buffer_flags)
{
    m_frame_size = static_cast<std::uint32_t>(info.channels) * 2;
    WAVEFORMATEX format =
        dsound_pcm_format(static_cast<WORD>(info.channels), static_cast<DWORD>(info.rate), 16);
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = buffer_flags;
    desc.dwBufferBytes = STREAM_BUFFER_SIZE;
    desc.lpwfxFormat = &format;
    if (FAILED(m_sound->CreateSoundBuffer(&desc, &m_buffer, nullptr))) {
        m_buffer = nullptr;
        return false;
    }
    m_fade.buffer = m_buffer;
    return true;
}

// The whole ring from the start of the piece, cut at the loop end like every later refill.
bool SoundStream_OggVorbis::FillRing()
{
    m_loop = false;
    m_position = 0;
    ReadLoopPoints();
    void* part1 = nullptr;
    void* part2 = nullptr;
    DWORD size1 = 0, size2 = 0;
    if (FAILED(m_buffer->Lock(0, STREAM_BUFFER_SIZE, &part1, &size1, &part2, &size2, 0))) return false;
    Fill(static_cast<std::uint8_t*>(part1), size1);
    m_buffer->Unlock(part1, size1, part2, size2);
    return true;
}

void SoundStream_OggVorbis::ReadLoopPoints()
{
    std::uint64_t start = 0;
    std::uint64_t length = STREAM_LOOP_LENGTH_MAX;
    if (const OggComment* comment = g_ogg.comment(DecoderState(), -1); comment && comment->user_comments)
        for (int i = 0; i < comment->comments; ++i) {
            const char* text = comment->user_comments[i];
            if (!text) continue;
            std::size_t size = comment->comment_lengths
                                   ? static_cast<std::size_t>(std::max(0, comment->comment_lengths[i]))
                                   : std::strlen(text);
            ogg_parse_loop_tag(std::string_view(text, size), start, length);
        }
    std::uint64_t end = std::min(start + length, STREAM_LOOP_LENGTH_MAX);
    // An empty loop could never advance: such tags mean the whole piece.
    if (end <= start) {
        start = 0;
        end = STREAM_LOOP_LENGTH_MAX;
    }
    m_loop_start = start * m_frame_size;
    m_loop_end = end * m_frame_size;
}

bool SoundStream_OggVorbis::SeekLoopStart()
{
    if (g_ogg.pcm_seek(DecoderState(), static_cast<std::int64_t>(m_loop_start / m_frame_size)) != 0)
        return false;
    m_position = m_loop_start;
    return true;
}

bool SoundStream_OggVorbis::Fill(std::uint8_t* dest, std::uint32_t size)
{
    std::uint32_t done = 0;
    bool from_loop_start = false; // nothing decoded since the last seek to the loop start
    while (done < size) {
        if (m_position < m_loop_end) {
            auto wanted =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(size - done, m_loop_end - m_position));
            std::uint32_t got = 0;
            long last = ogg_decode_into(DecoderState(), dest + done, got, wanted);
            done += got;
            m_position += got;
            if (got > 0) from_loop_start = false;
            if (got == wanted) continue;
            // The decoder ran dry: the data ended (0) or it failed (< 0).
            bool nothing = done == 0 && (last < 0 || !m_loop);
            if (nothing || from_loop_start) {
                std::memset(dest + done, 0, size - done);
                return false;
            }
            if (!m_loop) {
                std::memset(dest + done, 0, size - done);
                return true;
            }
        }
        // At the loop end, or the data of a looping piece ended: go on from the loop start.
        if (!SeekLoopStart()) {
            std::memset(dest + done, 0, size - done);
            return false;
        }
        from_loop_start = true;
    }
    return true;
}

void SoundStream_OggVorbis::Silence()
{
    m_buffer->SetVolume(DSBVOLUME_MIN);
    Stop();
}

void SoundStream_OggVorbis::Update()
{
    m_busy.store(true);
    // Playing first: a stream being closed is stopped, and its buffer must not be looked at.
    if (!m_playing.load() || !m_buffer) {
        m_busy.store(false);
        return;
    }
    audio_stream_fade_step(m_fade);
    DWORD play = 0, write = 0;
    m_buffer->GetCurrentPosition(&play, &write);
    std::uint32_t half = play < STREAM_HALF_SIZE ? 0 : 1;
    if (half != m_last_half) {
        void* part1 = nullptr;
        void* part2 = nullptr;
        DWORD size1 = 0, size2 = 0;
        DWORD offset = m_last_half * STREAM_HALF_SIZE;
        HRESULT locked = m_buffer->Lock(offset, STREAM_HALF_SIZE, &part1, &size1, &part2, &size2, 0);
        if (locked == DSERR_BUFFERLOST) {
            m_buffer->Restore();
            locked = m_buffer->Lock(offset, STREAM_HALF_SIZE, &part1, &size1, &part2, &size2, 0);
        }
        if (FAILED(locked)) {
            Silence();
        } else {
            bool go_on = Fill(static_cast<std::uint8_t*>(part1), size1);
            m_buffer->Unlock(part1, size1, part2, size2);
            if (!go_on) Silence();
            m_last_half = half;
        }
    }
    m_busy.store(false);
}

void SoundStream_OggVorbis::Close()
{
    m_playing.store(false);
    if (m_buffer) {
        m_buffer->SetVolume(DSBVOLUME_MIN);
        m_buffer->Stop();
        m_buffer->Release();
        m_buffer = nullptr;
        m_fade.buffer = nullptr;
    }
    if (m_file) {
        g_ogg.clear(DecoderState()); // closes the file through the close callback
        m_file = nullptr;
    }
}

void SoundStream_OggVorbis::Play(bool loop)
{
    if (m_buffer) m_buffer->Play(0, 0, DSBPLAY_LOOPING);
    m_loop = loop;
    m_playing.store(true);
}

void SoundStream_OggVorbis::Stop()
{
    if (m_buffer) m_buffer->Stop();
    m_playing.store(false);
}

void SoundStream_OggVorbis::Resume()
{
    if (m_buffer) m_buffer->Play(0, 0, DSBPLAY_LOOPING);
    m_playing.store(true);
}

void SoundStream_OggVorbis::ApplyVolume()
{
    if (m_buffer) m_buffer->SetVolume(audio_volume_to_db(m_fade.volume.load(), audio_bgm_volume()));
}
