// Compressed test videos on Linux, made with FFmpeg's encoders (see test_videos.h).
#include "test_videos.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

namespace vt_test {

namespace {

struct OutputOwner {
    AVFormatContext *context = nullptr;
    ~OutputOwner() {
        if (!context) return;
        if (context->pb) avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
struct EncoderOwner {
    AVCodecContext *context = nullptr;
    ~EncoderOwner() { avcodec_free_context(&context); }
};
struct FrameOwner {
    AVFrame *frame = av_frame_alloc();
    ~FrameOwner() { av_frame_free(&frame); }
};

// Sends frame (null: flush) and writes every packet the encoder gives.
bool encode(AVFormatContext *output, AVCodecContext *encoder, AVStream *stream, AVFrame *frame) {
    if (avcodec_send_frame(encoder, frame) < 0) return false;
    AVPacket *packet = av_packet_alloc();
    bool ok = true;
    for (;;) {
        const int got = avcodec_receive_packet(encoder, packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) break;
        if (got < 0) {
            ok = false;
            break;
        }
        av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (av_interleaved_write_frame(output, packet) < 0) ok = false;
    }
    av_packet_free(&packet);
    return ok;
}

AVStream *add_stream(AVFormatContext *output, EncoderOwner &encoder) {
    AVStream *stream = avformat_new_stream(output, nullptr);
    if (!stream || avcodec_open2(encoder.context, encoder.context->codec, nullptr) < 0 ||
        avcodec_parameters_from_context(stream->codecpar, encoder.context) < 0)
        return nullptr;
    stream->time_base = encoder.context->time_base;
    return stream;
}

}  // namespace

bool can_encode_videos() { return true; }

bool write_encoded_video(const std::string &path, VideoCodec codec, int width, int height,
                         int frame_count, int rate, SoundCodec sound, double seconds_of_sound,
                         const std::function<Picture(int)> &picture) {
    av_log_set_level(AV_LOG_ERROR);
    OutputOwner output;
    if (avformat_alloc_output_context2(&output.context, nullptr, nullptr, path.c_str()) < 0)
        return false;

    const AVCodecID id = codec == VideoCodec::Mjpeg   ? AV_CODEC_ID_MJPEG
                         : codec == VideoCodec::Mpeg4 ? AV_CODEC_ID_MPEG4
                                                      : AV_CODEC_ID_H264;
    const AVCodec *encoder = avcodec_find_encoder(id);
    if (!encoder) return false;
    // Motion JPEG is full-range; the others are made as cameras and editors make them.
    const AVPixelFormat yuv_format =
        codec == VideoCodec::Mjpeg ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
    EncoderOwner video;
    video.context = avcodec_alloc_context3(encoder);
    if (!video.context) return false;
    video.context->width = width;
    video.context->height = height;
    video.context->time_base = AVRational{1, rate};
    video.context->framerate = AVRational{rate, 1};
    video.context->pix_fmt = yuv_format;
    if (codec != VideoCodec::H264) {  // H.264 keeps its encoder's default quality
        video.context->flags |= AV_CODEC_FLAG_QSCALE;
        video.context->global_quality = FF_QP2LAMBDA * 2;
    }
    if (output.context->oformat->flags & AVFMT_GLOBALHEADER)
        video.context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVStream *video_stream = add_stream(output.context, video);
    if (!video_stream) return false;

    EncoderOwner audio;
    AVStream *audio_stream = nullptr;
    if (sound != SoundCodec::None) {
        audio.context = avcodec_alloc_context3(avcodec_find_encoder(
            sound == SoundCodec::Pcm ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_MP2));
        if (!audio.context) return false;
        audio.context->sample_fmt = AV_SAMPLE_FMT_S16;
        audio.context->sample_rate = 44100;
        av_channel_layout_default(&audio.context->ch_layout, 2);
        audio.context->bit_rate = 192000;
        audio.context->time_base = AVRational{1, 44100};
        audio_stream = add_stream(output.context, audio);
        if (!audio_stream) return false;
    }
    if (avio_open(&output.context->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(output.context, nullptr) < 0)
        return false;

    FrameOwner yuv, samples;
    yuv.frame->format = yuv_format;
    yuv.frame->width = width;
    yuv.frame->height = height;
    if (av_frame_get_buffer(yuv.frame, 0) < 0) return false;
    SwsContext *scaler = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height,
                                        yuv_format, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!scaler) return false;
    const int chunk =
        audio.context && audio.context->frame_size > 0 ? audio.context->frame_size : 1024;
    const int64_t total_samples = int64_t(seconds_of_sound * 44100);
    int64_t samples_done = 0;
    int frames_done = 0;
    bool ok = true;
    // libswscale's vector code reads whole blocks, past the last pixel of the picture.
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3 + AV_INPUT_BUFFER_PADDING_SIZE);
    while (ok && (frames_done < frame_count || (audio_stream && samples_done < total_samples))) {
        const bool video_next = frames_done < frame_count &&
                                (!audio_stream || samples_done >= total_samples ||
                                 double(frames_done) / rate <= double(samples_done) / 44100);
        if (video_next) {
            const Picture p = picture(frames_done);
            for (size_t i = 0; i < p.rgb.size(); ++i) {
                rgb[3 * i] = uint8_t(p.rgb[i] >> 16);
                rgb[3 * i + 1] = uint8_t(p.rgb[i] >> 8);
                rgb[3 * i + 2] = uint8_t(p.rgb[i]);
            }
            const uint8_t *source[1] = {rgb.data()};
            const int source_stride[1] = {width * 3};
            ok = av_frame_make_writable(yuv.frame) >= 0 &&
                 sws_scale(scaler, source, source_stride, 0, height, yuv.frame->data,
                           yuv.frame->linesize) == height;
            yuv.frame->pts = frames_done++;
            ok = ok && encode(output.context, video.context, video_stream, yuv.frame);
        } else {
            const int n = int(std::min<int64_t>(chunk, total_samples - samples_done));
            av_frame_unref(samples.frame);
            samples.frame->format = AV_SAMPLE_FMT_S16;
            samples.frame->sample_rate = 44100;
            av_channel_layout_default(&samples.frame->ch_layout, 2);
            samples.frame->nb_samples = audio.context->frame_size > 0 ? chunk : n;
            if (av_frame_get_buffer(samples.frame, 0) < 0) return false;
            auto *pcm = reinterpret_cast<int16_t *>(samples.frame->data[0]);
            for (int i = 0; i < samples.frame->nb_samples; ++i) {
                const int64_t s = samples_done + i;
                const int16_t v = s < total_samples ? int16_t(8000 * std::sin(s * 0.05)) : 0;
                pcm[2 * i] = pcm[2 * i + 1] = v;
            }
            samples.frame->pts = samples_done;
            samples_done += n;
            ok = encode(output.context, audio.context, audio_stream, samples.frame);
        }
    }
    sws_freeContext(scaler);
    ok = ok && encode(output.context, video.context, video_stream, nullptr);
    if (audio_stream) ok = ok && encode(output.context, audio.context, audio_stream, nullptr);
    return av_write_trailer(output.context) == 0 && ok;
}

}  // namespace vt_test
