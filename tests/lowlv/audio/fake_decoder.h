// A stand-in for the Vorbis decoder libraries, registered under their names so that the music
// streams bind it through the same run-time lookup as the real one. Its "Ogg" files are text:
//   FAKEOGG <frames> <channels> <rate> <bytes per read>
//   <one comment per line>
// and its PCM is a counter, so every frame of a piece is unique and any seam shows: frame i
// holds (i & 0xFFFF) on channel 0 and (0x4000 | (i >> 16) & 0x3FFF) on the others, never silence.
#pragma once

#include "lowlv/audio/audioss_ogg.h"
#include "platform/impl/test_seams.h"
#include "platform/win_shell.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

namespace fake_ogg {

constexpr int k_not_vorbis = -132; // the decoders' "not Vorbis data"
constexpr int k_invalid = -131;

struct File {
    void* source;
    OggCallbacks callbacks;
    OggInfo info;
    OggComment comment;
    char* comment_texts[4];
    int comment_lengths[4];
    char texts[4][64];
    std::uint64_t frames;
    std::uint64_t position;
    int bytes_per_read;
};
static_assert(sizeof(File) <= OGG_ALT_STATE_SIZE);

inline int g_cpu_type_set = -1;
inline int g_alt_state_size = 900;
inline std::string g_directory_at_bind;

inline std::uint16_t sample(std::uint64_t frame, int channel)
{
    return channel == 0 ? static_cast<std::uint16_t>(frame & 0xFFFF)
                        : static_cast<std::uint16_t>(0x4000 | ((frame >> 16) & 0x3FFF));
}

// The PCM bytes of frames [first, first + count) of a piece.
inline void append_frames(std::vector<std::uint8_t>& out, std::uint64_t first, std::uint64_t count,
                          int channels)
{
    for (std::uint64_t i = first; i < first + count; ++i)
        for (int c = 0; c < channels; ++c) {
            std::uint16_t value = sample(i, c);
            out.push_back(static_cast<std::uint8_t>(value));
            out.push_back(static_cast<std::uint8_t>(value >> 8));
        }
}

inline int open_callbacks(void* source, void* state, const char*, long, OggCallbacks callbacks)
{
    char text[1024] = {};
    callbacks.read(text, 1, sizeof text - 1, source);
    unsigned long long frames = 0;
    int channels = 0, consumed = 0, bytes_per_read = 0;
    long rate = 0;
    if (std::sscanf(text, "FAKEOGG %llu %d %ld %d%n", &frames, &channels, &rate, &bytes_per_read,
                    &consumed) != 4)
        return k_not_vorbis;
    File* file = new (state) File{};
    file->source = source;
    file->callbacks = callbacks;
    file->info.channels = channels;
    file->info.rate = rate;
    file->frames = frames;
    file->bytes_per_read = bytes_per_read;
    file->comment.user_comments = file->comment_texts;
    file->comment.comment_lengths = file->comment_lengths;
    const char* line = std::strchr(text + consumed, '\n');
    while (line && line[1] && file->comment.comments < 4) {
        const char* end = std::strchr(line + 1, '\n');
        std::size_t length = end ? static_cast<std::size_t>(end - line - 1) : std::strlen(line + 1);
        length = std::min<std::size_t>(length, 63);
        int n = file->comment.comments++;
        std::memcpy(file->texts[n], line + 1, length);
        file->comment_texts[n] = file->texts[n];
        file->comment_lengths[n] = static_cast<int>(length);
        line = end;
    }
    return 0;
}

inline int clear(void* state)
{
    File* file = static_cast<File*>(state);
    if (file->source) file->callbacks.close(file->source);
    std::memset(state, 0, sizeof(File));
    return 0;
}

inline std::int64_t pcm_total(void* state, int)
{
    return static_cast<std::int64_t>(static_cast<File*>(state)->frames);
}

inline int pcm_seek(void* state, std::int64_t frame)
{
    File* file = static_cast<File*>(state);
    if (frame < 0 || static_cast<std::uint64_t>(frame) > file->frames) return k_invalid;
    file->position = static_cast<std::uint64_t>(frame);
    return 0;
}

inline OggInfo* info(void* state, int)
{
    File* file = static_cast<File*>(state);
    return file->source ? &file->info : nullptr;
}

inline OggComment* comment(void* state, int)
{
    return &static_cast<File*>(state)->comment;
}

inline long read(void* state, char* buffer, int length, int big_endian, int word, int is_signed,
                 int* bitstream)
{
    File* file = static_cast<File*>(state);
    if (big_endian != 0 || word != 2 || is_signed != 1 || !bitstream) return k_invalid;
    std::size_t frame_size = std::size_t(file->info.channels) * 2;
    std::uint64_t frames = std::min<std::uint64_t>(
        std::min<std::uint64_t>(length, file->bytes_per_read) / frame_size, file->frames - file->position);
    std::vector<std::uint8_t> pcm;
    append_frames(pcm, file->position, frames, file->info.channels);
    if (!pcm.empty()) std::memcpy(buffer, pcm.data(), pcm.size());
    file->position += frames;
    *bitstream = 0;
    return static_cast<long>(pcm.size());
}

inline int query_state_size()
{
    return g_alt_state_size;
}
inline int detect_cpu()
{
    char directory[4096] = {};
    if (getcwd(directory, sizeof directory)) g_directory_at_bind = directory;
    return 7;
}
inline void set_cpu_type(int type)
{
    g_cpu_type_set = type;
}
inline void unused_export() {}

template <class F> FARPROC as_export(F* function)
{
    return reinterpret_cast<FARPROC>(function);
}

inline void register_vorbisfile()
{
    library_register_builtin(OGG_DECODER_DLL, {{"ov_clear", as_export(&clear)},
                                               {"ov_pcm_total", as_export(&pcm_total)},
                                               {"ov_pcm_seek", as_export(&pcm_seek)},
                                               {"ov_info", as_export(&info)},
                                               {"ov_comment", as_export(&comment)},
                                               {"ov_open_callbacks", as_export(&open_callbacks)},
                                               {"ov_read", as_export(&read)}});
}

// A library by the decoder's name that lacks its read function.
inline void register_broken_vorbisfile()
{
    library_register_builtin(OGG_DECODER_DLL, {{"ov_clear", as_export(&clear)},
                                               {"ov_pcm_total", as_export(&pcm_total)},
                                               {"ov_pcm_seek", as_export(&pcm_seek)},
                                               {"ov_info", as_export(&info)},
                                               {"ov_comment", as_export(&comment)},
                                               {"ov_open_callbacks", as_export(&open_callbacks)}});
}

// The alternative decoder with every export, or without "wu_ScaleOutput".
inline void register_wuvorbis(bool complete)
{
    FARPROC last = complete ? as_export(&unused_export) : nullptr;
    const char* last_name = complete ? "wu_ScaleOutput" : "not_wu_ScaleOutput";
    library_register_builtin(OGG_ALT_DECODER_DLL,
                             {{"Query_sizeof_OggVorbis_File", as_export(&query_state_size)},
                              {"wu_ov_clear", as_export(&clear)},
                              {"wu_ov_open_callbacks", as_export(&open_callbacks)},
                              {"wu_ov_test_callbacks", as_export(&unused_export)},
                              {"wu_ov_test_open", as_export(&unused_export)},
                              {"wu_ov_bitrate", as_export(&unused_export)},
                              {"wu_ov_bitrate_instant", as_export(&unused_export)},
                              {"wu_ov_streams", as_export(&unused_export)},
                              {"wu_ov_seekable", as_export(&unused_export)},
                              {"wu_ov_serialnumber", as_export(&unused_export)},
                              {"wu_ov_raw_total", as_export(&unused_export)},
                              {"wu_ov_pcm_total", as_export(&pcm_total)},
                              {"wu_ov_time_total", as_export(&unused_export)},
                              {"wu_ov_raw_seek", as_export(&unused_export)},
                              {"wu_ov_pcm_seek", as_export(&pcm_seek)},
                              {"wu_ov_pcm_seek_page", as_export(&unused_export)},
                              {"wu_ov_time_seek", as_export(&unused_export)},
                              {"wu_ov_time_seek_page", as_export(&unused_export)},
                              {"wu_ov_raw_seek_lap", as_export(&unused_export)},
                              {"wu_ov_pcm_seek_lap", as_export(&unused_export)},
                              {"wu_ov_pcm_seek_page_lap", as_export(&unused_export)},
                              {"wu_ov_time_seek_lap", as_export(&unused_export)},
                              {"wu_ov_time_seek_page_lap", as_export(&unused_export)},
                              {"wu_ov_raw_tell", as_export(&unused_export)},
                              {"wu_ov_pcm_tell", as_export(&unused_export)},
                              {"wu_ov_time_tell", as_export(&unused_export)},
                              {"wu_ov_info", as_export(&info)},
                              {"wu_ov_comment", as_export(&comment)},
                              {"wu_ov_read_float", as_export(&unused_export)},
                              {"wu_ov_read", as_export(&read)},
                              {"wu_ov_crosslap", as_export(&unused_export)},
                              {"wu_SetCPUType", as_export(&set_cpu_type)},
                              {"wu_DetectCPU", as_export(&detect_cpu)},
                              {last_name, last}});
}

inline void unregister_all()
{
    library_unregister_builtin(OGG_DECODER_DLL);
    library_unregister_builtin(OGG_ALT_DECODER_DLL);
}

// The text of a fake piece.
inline std::string piece(std::uint64_t frames, const std::vector<std::string>& comments = {},
                         int channels = 2, long rate = 44100, int bytes_per_read = 4000)
{
    std::string text = "FAKEOGG " + std::to_string(frames) + " " + std::to_string(channels) + " " +
                       std::to_string(rate) + " " + std::to_string(bytes_per_read) + "\n";
    for (const std::string& line : comments)
        text += line + "\n";
    return text;
}

} // namespace fake_ogg
