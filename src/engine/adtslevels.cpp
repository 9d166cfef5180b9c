#include "engine/framelevels.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace engine
{

namespace
{

class AdtsLevels final : public FrameLevels
{
public:
    AdtsLevels()
    {
        const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
        m_context = codec ? avcodec_alloc_context3(codec) : nullptr;
        m_packet = av_packet_alloc();
        m_frame = av_frame_alloc();
        // The ADTS header of each frame tells the decoder the format.
        if (!m_context || !m_packet || !m_frame || avcodec_open2(m_context, codec, nullptr) < 0)
            avcodec_free_context(&m_context);
    }
    ~AdtsLevels() override
    {
        avcodec_free_context(&m_context);
        av_packet_free(&m_packet);
        av_frame_free(&m_frame);
    }
    AdtsLevels(const AdtsLevels &) = delete;
    AdtsLevels &operator=(const AdtsLevels &) = delete;

    bool isValid() const override { return m_context != nullptr; }

    void add(const char *frame, qsizetype length) override
    {
        // One packet, one frame out: whatever the decoder does not give back counts as unplayable.
        float level = -1.f;
        if (m_context && av_new_packet(m_packet, static_cast<int>(length)) == 0) {
            std::memcpy(m_packet->data, frame, static_cast<size_t>(length));
            if (avcodec_send_packet(m_context, m_packet) == 0) {
                while (avcodec_receive_frame(m_context, m_frame) == 0) {
                    level = meanSquare(*m_frame);
                    av_frame_unref(m_frame);
                }
            }
            av_packet_unref(m_packet);
        }
        m_levels.push_back(level);
    }

    std::deque<float> take() override
    {
        std::deque<float> levels;
        levels.swap(m_levels);
        return levels;
    }

private:
    static float meanSquare(const AVFrame &frame)
    {
        const int channels = frame.ch_layout.nb_channels;
        const bool planar = frame.format == AV_SAMPLE_FMT_FLTP;
        if ((!planar && frame.format != AV_SAMPLE_FMT_FLT) || channels <= 0 || frame.nb_samples <= 0)
            return -1.f;
        double sum = 0;
        const int perPlane = planar ? frame.nb_samples : frame.nb_samples * channels;
        for (int plane = 0; plane < (planar ? channels : 1); ++plane) {
            const auto *samples = reinterpret_cast<const float *>(frame.extended_data[plane]);
            for (int i = 0; i < perPlane; ++i)
                sum += static_cast<double>(samples[i]) * samples[i];
        }
        return static_cast<float>(sum / (static_cast<double>(frame.nb_samples) * channels));
    }

    AVCodecContext *m_context = nullptr;
    AVPacket *m_packet = nullptr;
    AVFrame *m_frame = nullptr;
    std::deque<float> m_levels;
};

} // namespace

std::unique_ptr<FrameLevels> makeAdtsLevels()
{
    return std::make_unique<AdtsLevels>();
}

} // namespace engine
