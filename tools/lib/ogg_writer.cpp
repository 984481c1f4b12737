#include "lib/ogg_writer.h"

#include "lib/archive_writer.h"

#include <algorithm>
#include <stdexcept>
#include <vorbis/vorbisenc.h>

namespace {

constexpr int k_frames_per_block = 1024;

// The encoder's state, torn down in the reverse order of its set-up.
class VorbisEncoder {
public:
    explicit VorbisEncoder(const OggSource& source)
    {
        vorbis_info_init(&m_info);
        vorbis_comment_init(&m_comment);
        if (vorbis_encode_init_vbr(&m_info, source.channels, source.rate, source.quality) != 0) {
            vorbis_comment_clear(&m_comment);
            vorbis_info_clear(&m_info);
            throw std::runtime_error("the Vorbis encoder refuses this format");
        }
        for (const std::string& comment : source.comments)
            vorbis_comment_add(&m_comment, comment.c_str());
        vorbis_analysis_init(&m_dsp, &m_info);
        vorbis_block_init(&m_dsp, &m_block);
        ogg_stream_init(&m_stream, 0x4B524F31);
    }
    ~VorbisEncoder()
    {
        ogg_stream_clear(&m_stream);
        vorbis_block_clear(&m_block);
        vorbis_dsp_clear(&m_dsp);
        vorbis_comment_clear(&m_comment);
        vorbis_info_clear(&m_info);
    }
    VorbisEncoder(const VorbisEncoder&) = delete;
    VorbisEncoder& operator=(const VorbisEncoder&) = delete;

    // The three header packets, each on pages of their own as the format asks.
    void WriteHeaders(std::vector<std::uint8_t>& out)
    {
        ogg_packet identification, comments, codebooks;
        vorbis_analysis_headerout(&m_dsp, &m_comment, &identification, &comments, &codebooks);
        ogg_stream_packetin(&m_stream, &identification);
        ogg_stream_packetin(&m_stream, &comments);
        ogg_stream_packetin(&m_stream, &codebooks);
        ogg_page page;
        while (ogg_stream_flush(&m_stream, &page) != 0)
            append(out, page);
    }

    // Interleaved 16-bit frames; a count of 0 marks the end of the input.
    void WriteFrames(const std::uint8_t* samples, int channels, int frames, std::vector<std::uint8_t>& out)
    {
        if (frames > 0) {
            float** planes = vorbis_analysis_buffer(&m_dsp, frames);
            for (int i = 0; i < frames; ++i)
                for (int c = 0; c < channels; ++c) {
                    const std::uint8_t* at = samples + (std::size_t(i) * channels + c) * 2;
                    auto value = static_cast<std::int16_t>(at[0] | (at[1] << 8));
                    planes[c][i] = value / 32768.0f;
                }
        }
        vorbis_analysis_wrote(&m_dsp, frames);
        Drain(out);
    }

private:
    static void append(std::vector<std::uint8_t>& out, const ogg_page& page)
    {
        out.insert(out.end(), page.header, page.header + page.header_len);
        out.insert(out.end(), page.body, page.body + page.body_len);
    }

    void Drain(std::vector<std::uint8_t>& out)
    {
        while (vorbis_analysis_blockout(&m_dsp, &m_block) == 1) {
            vorbis_analysis(&m_block, nullptr);
            vorbis_bitrate_addblock(&m_block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&m_dsp, &packet) == 1) {
                ogg_stream_packetin(&m_stream, &packet);
                ogg_page page;
                while (ogg_stream_pageout(&m_stream, &page) != 0)
                    append(out, page);
            }
        }
    }

    vorbis_info m_info;
    vorbis_comment m_comment;
    vorbis_dsp_state m_dsp;
    vorbis_block m_block;
    ogg_stream_state m_stream;
};

} // namespace

std::vector<std::uint8_t> ogg_build(const OggSource& source)
{
    if (source.channels < 1) throw std::runtime_error("an Ogg file needs at least one channel");
    VorbisEncoder encoder(source);
    std::vector<std::uint8_t> out;
    encoder.WriteHeaders(out);
    std::size_t frame_size = std::size_t(source.channels) * 2;
    std::size_t frames = source.samples.size() / frame_size;
    for (std::size_t done = 0; done < frames; done += k_frames_per_block) {
        int count = static_cast<int>(std::min<std::size_t>(k_frames_per_block, frames - done));
        encoder.WriteFrames(source.samples.data() + done * frame_size, source.channels, count, out);
    }
    encoder.WriteFrames(nullptr, source.channels, 0, out);
    return out;
}

bool ogg_write_file(const std::filesystem::path& path, const OggSource& source)
{
    return tools_write_file(path, ogg_build(source));
}
