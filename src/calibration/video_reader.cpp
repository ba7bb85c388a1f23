// Video files read through FFmpeg on every system: libavformat demuxes, libavcodec decodes,
// libswscale turns decoded pictures into 32-bit rows and libswresample turns decoded sound
// into 16-bit PCM. The frames and the sound are read through two openings of the file, each
// reading its own stream's packets only.
#include "calibration/video_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/cpu.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "platform/file_paths.h"

namespace {

constexpr int kMaxSide = 16384;  // larger frames are not a calibration target

struct PacketFree {
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};
struct FrameFree {
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};
struct DecoderFree {
    void operator()(AVCodecContext *decoder) const { avcodec_free_context(&decoder); }
};
struct ResamplerFree {
    void operator()(SwrContext *resampler) const { swr_free(&resampler); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using DecoderPtr = std::unique_ptr<AVCodecContext, DecoderFree>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFree>;

uint32_t dib_stride(int32_t width, int bits) {
    return ((uint32_t(width) * uint32_t(bits) + 31) / 32) * 4;
}

VideoOpenResult open_failure(int error) {
    switch (error) {
        case AVERROR(ENOMEM):
            return VideoOpenResult::NoMemory;
        case AVERROR_INVALIDDATA:
        case AVERROR_EOF:
            return VideoOpenResult::BadFormat;
        case AVERROR_DEMUXER_NOT_FOUND:
        case AVERROR_PROTOCOL_NOT_FOUND:
            return VideoOpenResult::NoHandler;
        case AVERROR(ENOENT):
        case AVERROR(EACCES):
        case AVERROR(EPERM):
        case AVERROR(EIO):
        case AVERROR(EISDIR):
        case AVERROR(ENOTDIR):
        case AVERROR(ENAMETOOLONG):
        case AVERROR(ELOOP):
            return VideoOpenResult::ReadError;
        default:
            return VideoOpenResult::Failed;
    }
}

// Opens url for reading; the path names a local file: no URL, and no other protocol through
// playlists. An FFmpeg error code on failure.
int open_input(const std::string &url, AVFormatContext *&format) {
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int error = avformat_open_input(&format, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    return error;
}

// Full-range ("J") YUV formats are deprecated in libswscale: the plain format with the range
// given separately converts the same without a warning.
AVPixelFormat plain_format(AVPixelFormat format, bool &full_range) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P: full_range = true; return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P: full_range = true; return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P: full_range = true; return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P: full_range = true; return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P: full_range = true; return AV_PIX_FMT_YUV411P;
        default: return format;
    }
}

}  // namespace

struct VideoFile {
    AVFormatContext *format = nullptr;
    int video = -1;  // first video stream
    int audio = -1;  // first audio stream
    DecoderPtr decoder;  // null while stored DIB rows are handed back as they are
    // The decoder's codec. The decoder of the machine's threads opens when it is first needed,
    // after the first frame: starting its threads is no part of the first frame's wait.
    const AVCodec *codec = nullptr;
    bool decoder_open = false;
    SwsContext *scaler = nullptr;
    SwsContext *scaler_set_up = nullptr;  // the scaler whose colour details were set
    int scaler_range = -1;
    PacketPtr packet{av_packet_alloc()};
    // The packet read for the first frame alone, which the decoder is handed before any other.
    PacketPtr replay{av_packet_alloc()};
    bool replay_held = false;
    bool first_tried = false;  // the first frame was asked of a decoder of its own
    bool first_again = false;  // the decoder's own decoding of that frame is still to come
    FramePtr frame{av_frame_alloc()};
    FramePtr scaled{av_frame_alloc()};  // the decoded picture at the stream's size, padded
    FramePtr held{av_frame_alloc()};    // a frame kept for a later write (video_hold_frame)
    VideoStreamInfo info;
    bool top_down = false;  // stored rows run top-down (negative DIB height)
    int bits = 24;
    std::vector<uint8_t> colours;  // colour table of stored 8-bit video
    std::vector<uint8_t> dib;
    bool have_frame = false;
    int32_t frames_read = 0;  // frames handed out since the stream's start
    bool input_ended = false;
    // The stream's first packet, by which a rewind knows that it landed at the start (a seek
    // by time lands elsewhere in streams that are sought by decoding time, such as MPEG-TS).
    int64_t first_position = -1;
    int64_t first_dts = AV_NOPTS_VALUE;
    bool first_seen = false;
    // Frame times: the first frame's timestamp, which is time 0, and the time last handed out.
    int64_t origin = AV_NOPTS_VALUE;
    double last_time = -1;
    // What the file was opened as, its streams, and whether its headers described them: the
    // sound is read through an opening of its own, while the frames may be read.
    std::string url;
    unsigned streams = 0;
    bool described = true;

    ~VideoFile() {
        sws_freeContext(scaler);
        avformat_close_input(&format);
    }
};

namespace {

// The next packet of stream; packets of other streams are passed over. False at the end of the
// file; failed when it was a read error rather than the end.
bool read_packet(AVFormatContext *format, int stream, AVPacket *packet, bool &failed) {
    failed = false;
    for (;;) {
        const int error = av_read_frame(format, packet);
        if (error < 0) {
            failed = error != AVERROR_EOF;
            return false;
        }
        if (packet->stream_index == stream) return true;
        av_packet_unref(packet);
    }
}

// The next packet of the video stream, into file.packet.
bool read_video_packet(VideoFile &file, bool &failed) {
    failed = false;
    if (file.replay_held) {
        av_packet_move_ref(file.packet.get(), file.replay.get());
        file.replay_held = false;
        return true;
    }
    if (file.input_ended) return false;
    file.input_ended = !read_packet(file.format, file.video, file.packet.get(), failed);
    if (!file.input_ended && !file.first_seen) {
        file.first_seen = true;
        file.first_position = file.packet->pos;
        file.first_dts = file.packet->dts;
    }
    return !file.input_ended;
}

// FFmpeg's AVI reader appends this marker to the extra data of an uncompressed DIB stream whose
// rows are stored bottom-up, and reports every height as positive.
constexpr char kBottomUpMarker[] = "BottomUp";

bool has_bottom_up_marker(const AVCodecParameters &parameters) {
    const size_t size = size_t(std::max(parameters.extradata_size, 0));
    return size >= sizeof kBottomUpMarker &&
           std::memcmp(parameters.extradata + size - sizeof kBottomUpMarker, kBottomUpMarker,
                       sizeof kBottomUpMarker) == 0;
}

// Whether an uncompressed DIB stream stores its rows top-down (a negative height in its bitmap
// header, as FFmpeg's own AVI writer makes them): for AVI files the reader's marker tells, for
// other containers a negative height.
bool stored_top_down(const AVFormatContext &format, const AVCodecParameters &parameters) {
    if (parameters.height < 0) return true;
    const bool avi_dib = std::strcmp(format.iformat->name, "avi") == 0 &&
                         parameters.codec_id == AV_CODEC_ID_RAWVIDEO && parameters.codec_tag == 0;
    return avi_dib && !has_bottom_up_marker(parameters);
}

// Starts a DIB of the stream's size at the given depth with its colour table; the rows follow
// unless with_rows is false (the header and table are then the whole DIB).
uint8_t *start_dib(VideoFile &file, int bits, const std::vector<uint8_t> &colours,
                   bool with_rows = true) {
    const uint32_t stride = dib_stride(file.info.width, bits);
    BitmapInfoHeader header{};
    header.size = sizeof header;
    header.width = file.info.width;
    header.height = file.info.height;
    header.planes = 1;
    header.bitCount = uint16_t(bits);
    header.sizeImage = stride * uint32_t(file.info.height);
    header.clrUsed = uint32_t(colours.size() / 4);
    // The buffer is reused from frame to frame: rows are overwritten whole, and the padding
    // at their ends, zero from the first frame, is never written.
    file.dib.resize(sizeof header + colours.size() + (with_rows ? header.sizeImage : 0));
    std::memcpy(file.dib.data(), &header, sizeof header);
    if (!colours.empty()) std::memcpy(file.dib.data() + sizeof header, colours.data(), colours.size());
    return file.dib.data() + sizeof header + colours.size();
}

// A stored frame: the packet holds the DIB rows. An empty packet (an AVI's dropped frame) adds
// no picture: the one before it stays until the next frame's time. ts is the packet's time.
FrameRead next_stored_frame(VideoFile &file, int64_t &ts) {
    const uint32_t stride = dib_stride(file.info.width, file.bits);
    const size_t bytes = size_t(stride) * size_t(file.info.height);
    for (;;) {
        bool failed = false;
        if (!read_video_packet(file, failed))
            return failed ? FrameRead::Failed : FrameRead::End;
        const AVPacket &packet = *file.packet;
        if (packet.size == 0) {
            av_packet_unref(file.packet.get());
            continue;
        }
        ts = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
        const bool whole = size_t(packet.size) >= bytes;
        if (whole) {
            uint8_t *rows = start_dib(file, file.bits, file.colours);
            if (file.top_down) {
                for (int32_t row = 0; row < file.info.height; ++row)
                    std::memcpy(rows + size_t(file.info.height - 1 - row) * stride,
                                packet.data + size_t(row) * stride, stride);
            } else {
                std::memcpy(rows, packet.data, bytes);
            }
        }
        av_packet_unref(file.packet.get());
        return whole ? FrameRead::Frame : FrameRead::Failed;
    }
}

// Converts the decoded picture into 32-bit rows of the stream's size. libswscale's vector code
// writes whole blocks of up to 16 pixels, past the end of a row of any other width: such rows
// are written into FFmpeg's own aligned and padded rows first, then copied.
bool convert_picture(VideoFile &file, const AVFrame &picture, const FrameRows &rows) {
    constexpr AVPixelFormat kRowFormat = AV_PIX_FMT_BGR0;  // XRGB8888 in memory
    bool full_range = picture.color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat source = plain_format(AVPixelFormat(picture.format), full_range);
    file.scaler = sws_getCachedContext(file.scaler, picture.width, picture.height, source,
                                       file.info.width, file.info.height, kRowFormat,
                                       SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!file.scaler) return false;
    const int range = full_range ? 1 : 0;
    if (file.scaler != file.scaler_set_up || range != file.scaler_range) {
        const int space = picture.colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT
                                                                      : int(picture.colorspace);
        sws_setColorspaceDetails(file.scaler, sws_getCoefficients(space), range,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
        file.scaler_set_up = file.scaler;
        file.scaler_range = range;
    }
    if (file.info.width % 16 == 0) {
        uint8_t *const data[4] = {rows.pixels, nullptr, nullptr, nullptr};
        const int linesize[4] = {int(rows.pitch), 0, 0, 0};
        return sws_scale(file.scaler, picture.data, picture.linesize, 0, picture.height, data,
                         linesize) > 0;
    }
    AVFrame &scaled = *file.scaled;
    if (!scaled.data[0]) {
        scaled.format = kRowFormat;
        scaled.width = file.info.width;
        scaled.height = file.info.height;
        if (av_frame_get_buffer(&scaled, 0) < 0) return false;
    }
    if (sws_scale(file.scaler, picture.data, picture.linesize, 0, picture.height, scaled.data,
                  scaled.linesize) <= 0)
        return false;
    const size_t row_bytes = size_t(file.info.width) * 4;
    for (int32_t row = 0; row < file.info.height; ++row)
        std::memcpy(rows.pixels + size_t(row) * rows.pitch,
                    scaled.data[0] + size_t(row) * size_t(scaled.linesize[0]), row_bytes);
    return true;
}

// The next decoded frame, into file.frame. The end of the stream (the decoder drained of the
// frames it still held) is told apart from a decoder's failure. An empty packet (an AVI's
// dropped frame) is no picture and is not sent: to a decoder it would mean the end.
FrameRead next_decoded_frame(VideoFile &file, int64_t &ts) {
    AVCodecContext *decoder = file.decoder.get();
    if (!file.decoder_open) {
        if (avcodec_open2(decoder, file.codec, nullptr) < 0) return FrameRead::Failed;
        file.decoder_open = true;
    }
    for (;;) {
        const int received = avcodec_receive_frame(decoder, file.frame.get());
        if (received == 0) {
            ts = file.frame->best_effort_timestamp;
            return FrameRead::Frame;
        }
        if (received == AVERROR_EOF) return FrameRead::End;
        if (received != AVERROR(EAGAIN)) return FrameRead::Failed;
        bool failed = false;
        if (!read_video_packet(file, failed)) {
            if (failed) return FrameRead::Failed;
            if (avcodec_send_packet(decoder, nullptr) < 0) return FrameRead::End;
            continue;
        }
        if (file.packet->size == 0) {
            av_packet_unref(file.packet.get());
            continue;
        }
        const int sent = avcodec_send_packet(decoder, file.packet.get());
        av_packet_unref(file.packet.get());
        if (sent < 0) return FrameRead::Failed;
    }
}

// The first frame, decoded by a decoder of one thread that is told at once that nothing
// follows. The decoder of the machine's threads hands out its first frame only once each of
// its threads has a packet, and one for a stream that reorders frames (B-frames) only once it
// has read ahead: several frames' decoding before the screen shows anything. The packet read
// for it goes to that decoder next, which decodes the frame once more on its way to the
// second. False, with nothing lost, when the frame does not come out this way.
bool first_frame_alone(VideoFile &file, int64_t &ts) {
    file.first_tried = true;
    DecoderPtr alone(avcodec_alloc_context3(file.codec));
    bool failed = false;
    if (!alone || !file.replay ||
        avcodec_parameters_to_context(alone.get(),
                                      file.format->streams[file.video]->codecpar) < 0)
        return false;
    alone->thread_count = 1;
    if (avcodec_open2(alone.get(), file.codec, nullptr) < 0 ||
        !read_video_packet(file, failed))
        return false;
    av_packet_move_ref(file.replay.get(), file.packet.get());
    file.replay_held = true;
    if (avcodec_send_packet(alone.get(), file.replay.get()) < 0 ||
        avcodec_send_packet(alone.get(), nullptr) < 0 ||
        avcodec_receive_frame(alone.get(), file.frame.get()) < 0)
        return false;
    ts = file.frame->best_effort_timestamp;
    return true;
}

// The converter of a sound track and the input it was made for. A stream may change its
// channel layout, sample format or rate from one frame to the next (MPEG audio can, and a
// damaged or spliced file does): a converter fed frames of another layout reads planes that
// are not there.
struct SoundConverter {
    ResamplerPtr resampler;
    AVChannelLayout layout{};
    int format = AV_SAMPLE_FMT_NONE;
    int rate = 0;

    SoundConverter() = default;
    SoundConverter(const SoundConverter &) = delete;
    SoundConverter &operator=(const SoundConverter &) = delete;
    ~SoundConverter() { av_channel_layout_uninit(&layout); }

    bool made_for(const AVFrame &frame) const {
        return frame.format == format && frame.sample_rate == rate &&
               av_channel_layout_compare(&frame.ch_layout, &layout) == 0;
    }
};

// Appends decoded sound, converted to 16-bit PCM of the output layout, to data; a null frame
// hands out what the converter still holds. A frame of another input than the converter's
// first drains the converter and gets one of its own. NoSize when data would grow beyond
// limit bytes.
AudioReadResult append_converted(SoundConverter &converter, AVFrame *frame,
                                 AVChannelLayout &layout, int rate, size_t limit,
                                 std::vector<uint8_t> &data) {
    if (frame && (!frame->extended_data || frame->nb_samples <= 0)) return AudioReadResult::Read;
    if (frame && converter.resampler && !converter.made_for(*frame)) {
        const AudioReadResult drained =
            append_converted(converter, nullptr, layout, rate, limit, data);
        if (drained != AudioReadResult::Read) return drained;
        converter.resampler.reset();
    }
    if (!converter.resampler) {
        if (!frame) return AudioReadResult::Read;
        const AudioReadResult failed = converter.format == AV_SAMPLE_FMT_NONE
                                           ? AudioReadResult::NoFormat
                                           : AudioReadResult::NoData;
        SwrContext *made = nullptr;
        if (swr_alloc_set_opts2(&made, &layout, AV_SAMPLE_FMT_S16, rate, &frame->ch_layout,
                                AVSampleFormat(frame->format), frame->sample_rate, 0,
                                nullptr) < 0)
            return failed;
        ResamplerPtr resampler(made);
        if (swr_init(made) < 0 || av_channel_layout_copy(&converter.layout, &frame->ch_layout) < 0)
            return failed;
        converter.resampler = std::move(resampler);
        converter.format = frame->format;
        converter.rate = frame->sample_rate;
    }
    const int frame_samples = frame ? frame->nb_samples : 0;
    const int room = swr_get_out_samples(converter.resampler.get(), frame_samples);
    if (room < 0) return AudioReadResult::NoData;
    const size_t sample_bytes = size_t(layout.nb_channels) * 2;
    const size_t used = data.size();
    if (size_t(room) * sample_bytes > limit - used) return AudioReadResult::NoSize;
    data.resize(used + size_t(room) * sample_bytes);
    uint8_t *out = data.data() + used;
    const int made = swr_convert(converter.resampler.get(), &out, room,
                                 frame ? const_cast<const uint8_t **>(frame->extended_data) : nullptr,
                                 frame_samples);
    if (made < 0) return AudioReadResult::NoData;
    data.resize(used + size_t(made) * sample_bytes);
    return AudioReadResult::Read;
}

// The sound track's own opening of the file: its packets only, from the start.
struct SoundInput {
    AVFormatContext *format = nullptr;
    int stream = -1;
    PacketPtr packet{av_packet_alloc()};

    SoundInput() = default;
    SoundInput(const SoundInput &) = delete;
    SoundInput &operator=(const SoundInput &) = delete;
    ~SoundInput() { avformat_close_input(&format); }

    bool open(const VideoFile &file) {
        if (!packet || open_input(file.url, format) < 0 ||
            (!file.described && avformat_find_stream_info(format, nullptr) < 0) ||
            format->nb_streams != file.streams)
            return false;
        stream = file.audio;
        for (unsigned i = 0; i < format->nb_streams; ++i)
            if (int(i) != stream) format->streams[i]->discard = AVDISCARD_ALL;
        return true;
    }
    bool next(bool &failed) { return read_packet(format, stream, packet.get(), failed); }
};

// Whether the file's headers describe what is read of each stream: a video's codec, size and
// frame rate, a sound's codec, rate and channels. Finding out the rest from the streams
// themselves (avformat_find_stream_info) costs a first frame's decoding before the first frame
// can be decoded for the screen. A header that announces no stream at all (FLV, MPEG program
// streams) describes nothing: their streams are known once probed.
bool described(const AVFormatContext &format) {
    if (format.nb_streams == 0) return false;
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream &stream = *format.streams[i];
        const AVCodecParameters &parameters = *stream.codecpar;
        switch (parameters.codec_type) {
            case AVMEDIA_TYPE_VIDEO:
                if (parameters.codec_id == AV_CODEC_ID_NONE || parameters.width <= 0 ||
                    parameters.height == 0 ||
                    (stream.avg_frame_rate.num <= 0 && stream.r_frame_rate.num <= 0))
                    return false;
                break;
            case AVMEDIA_TYPE_AUDIO:
                if (parameters.codec_id == AV_CODEC_ID_NONE || parameters.sample_rate <= 0 ||
                    parameters.ch_layout.nb_channels <= 0)
                    return false;
                break;
            default:
                break;
        }
    }
    return true;
}

// Opens the file again for its video stream alone, as video_open did.
bool reopen(VideoFile &file) {
    AVFormatContext *again = nullptr;
    if (open_input(file.url, again) < 0) return false;
    if ((!file.described && avformat_find_stream_info(again, nullptr) < 0) ||
        again->nb_streams != file.streams) {
        avformat_close_input(&again);
        return false;
    }
    for (unsigned i = 0; i < again->nb_streams; ++i)
        if (int(i) != file.video) again->streams[i]->discard = AVDISCARD_ALL;
    avformat_close_input(&file.format);
    file.format = again;
    return true;
}

// Whether the next video packet is the stream's first, which is then held for the decoder.
bool at_first_packet(VideoFile &file) {
    bool failed = false;
    file.replay_held = false;
    if (!read_video_packet(file, failed)) return false;
    const AVPacket &packet = *file.packet;
    const bool first = file.first_position >= 0 && packet.pos >= 0
                           ? packet.pos == file.first_position
                           : packet.dts == file.first_dts;
    av_packet_unref(file.replay.get());
    av_packet_move_ref(file.replay.get(), file.packet.get());
    file.replay_held = true;
    return first;
}

// Goes back to the video stream's first packet: by a seek that lands there, or else through an
// opening of its own (a file that cannot seek, or one whose seek lands elsewhere).
bool rewind(VideoFile &file) {
    const AVStream &stream = *file.format->streams[file.video];
    const int64_t start = stream.start_time == AV_NOPTS_VALUE ? 0 : stream.start_time;
    file.input_ended = false;
    if (av_seek_frame(file.format, file.video, start, AVSEEK_FLAG_BACKWARD) < 0 ||
        !at_first_packet(file)) {
        file.input_ended = false;
        file.replay_held = false;
        av_packet_unref(file.replay.get());
        if (!reopen(file)) return false;
    }
    if (file.decoder_open) avcodec_flush_buffers(file.decoder.get());
    file.first_again = false;
    file.frames_read = 0;
    file.last_time = -1;
    file.have_frame = false;
    return true;
}

// A frame's time in seconds after the stream's first frame. A frame without a timestamp, or one
// that would go back in time (a damaged file), follows the one before by a frame period.
double frame_time(VideoFile &file, int64_t ts) {
    const AVStream &stream = *file.format->streams[file.video];
    if (file.origin == AV_NOPTS_VALUE && ts != AV_NOPTS_VALUE) file.origin = ts;
    const double period = double(file.info.scale) / double(file.info.rate);
    double time = file.last_time < 0 ? 0 : file.last_time + period;
    if (ts != AV_NOPTS_VALUE && file.origin != AV_NOPTS_VALUE) {
        const double stamped = double(ts - file.origin) * av_q2d(stream.time_base);
        if (stamped > file.last_time) time = stamped;
    }
    file.last_time = time;
    return time;
}

}  // namespace

VideoOpenResult video_open(const char *path, VideoFile *&file) {
    file = nullptr;
    if (!path || !*path) return VideoOpenResult::ReadError;
    // FFmpeg's notes on files it reads (such as "non-interleaved AVI") are noise in an
    // experiment's output; its errors stay. A level the application chose is kept.
    if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_ERROR);
    std::unique_ptr<VideoFile> opened(new (std::nothrow) VideoFile);
    if (!opened || !opened->packet || !opened->frame || !opened->scaled || !opened->held)
        return VideoOpenResult::NoMemory;
    // FFmpeg takes UTF-8 file names on every system; on Windows it opens them through the wide
    // functions, in the long form when they are long.
    opened->url = "file:" + platform::utf8_path(path);
    int error = open_input(opened->url, opened->format);
    if (error < 0) return open_failure(error);
    opened->described = described(*opened->format);
    if (!opened->described) {
        error = avformat_find_stream_info(opened->format, nullptr);
        if (error < 0) return open_failure(error);
    }
    opened->streams = opened->format->nb_streams;
    for (unsigned i = 0; i < opened->format->nb_streams; ++i) {
        AVStream *stream = opened->format->streams[i];
        const AVMediaType type = stream->codecpar->codec_type;
        // A cover picture is not a video.
        if (type == AVMEDIA_TYPE_VIDEO && opened->video < 0 &&
            !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            opened->video = int(i);
        else if (type == AVMEDIA_TYPE_AUDIO && opened->audio < 0)
            opened->audio = int(i);
        if (int(i) != opened->video) stream->discard = AVDISCARD_ALL;  // the sound reads its own
    }
    file = opened.release();
    return VideoOpenResult::Opened;
}

void video_close(VideoFile *file) { delete file; }

VideoStreamResult video_stream(VideoFile *file, VideoStreamInfo &info) {
    if (!file || file->video < 0) return VideoStreamResult::NoStream;
    const AVStream *stream = file->format->streams[file->video];
    const AVCodecParameters &parameters = *stream->codecpar;
    const int32_t height = parameters.height < 0 ? -parameters.height : parameters.height;
    AVRational rate = stream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = stream->r_frame_rate;
    if (parameters.width <= 0 || parameters.width > kMaxSide || height <= 0 ||
        height > kMaxSide || rate.num <= 0 || rate.den <= 0)
        return VideoStreamResult::NoInfo;
    file->top_down = stored_top_down(*file->format, parameters);
    file->info.width = parameters.width;
    file->info.height = height;
    file->info.rate = uint32_t(rate.num);
    file->info.scale = uint32_t(rate.den);
    file->info.length = stream->nb_frames > 0
                            ? int32_t(std::min<int64_t>(stream->nb_frames, kUnknownLength))
                            : kUnknownLength;
    info = file->info;
    return VideoStreamResult::Found;
}

bool video_open_frames(VideoFile *file) {
    if (!file || file->video < 0) return false;
    const AVCodecParameters &parameters = *file->format->streams[file->video]->codecpar;
    const int bits = parameters.bits_per_coded_sample;
    // Uncompressed DIB video (no FourCC) keeps its rows as stored.
    if (parameters.codec_id == AV_CODEC_ID_RAWVIDEO && parameters.codec_tag == 0 &&
        (bits == 8 || bits == 16 || bits == 24 || bits == 32)) {
        file->bits = bits;
        if (bits == 8) {
            // The colour table follows the bitmap header in the file; the reader may append
            // its row-order marker behind it.
            size_t size = size_t(std::max(parameters.extradata_size, 0));
            if (has_bottom_up_marker(parameters)) size -= sizeof kBottomUpMarker;
            size = std::min<size_t>(size / 4, 256) * 4;
            file->colours.assign(parameters.extradata, parameters.extradata + size);
            if (file->colours.empty())  // no table stored: grey levels
                for (int level = 0; level < 256; ++level)
                    file->colours.insert(file->colours.end(),
                                         {uint8_t(level), uint8_t(level), uint8_t(level), 0});
        }
        return true;
    }
    const AVCodec *codec = avcodec_find_decoder(parameters.codec_id);
    if (!codec) return false;
    DecoderPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), &parameters) < 0) return false;
    decoder->thread_count = 0;  // as many as the machine has
    file->decoder = std::move(decoder);
    file->codec = codec;
    return true;
}

std::string video_codec(const VideoFile *file) {
    if (!file || file->video < 0) return "";
    const AVCodecParameters &parameters = *file->format->streams[file->video]->codecpar;
    if (parameters.codec_tag != 0) return fourcc_text(parameters.codec_tag);
    return parameters.codec_id == AV_CODEC_ID_NONE ? "" : avcodec_get_name(parameters.codec_id);
}

bool video_frames_stored(const VideoFile *file) { return file && !file->decoder; }

FrameRead video_next_frame(VideoFile *file, VideoFrameRead &frame) {
    frame = VideoFrameRead{};
    if (!file || file->video < 0) return FrameRead::Failed;
    int64_t ts = AV_NOPTS_VALUE;
    FrameRead read;
    if (file->decoder && !file->first_tried && file->frames_read == 0 &&
        first_frame_alone(*file, ts)) {
        read = FrameRead::Frame;
        file->first_again = true;
    } else if (file->decoder) {
        // The frame handed out already comes out of the decoder once more: passed over. Its
        // timestamp there is time 0: a stream without presentation times (AVI) stamps each
        // frame with the decoding time of the packet that completed it, later by the
        // decoder's reordering than the lone decoder's.
        int64_t again = AV_NOPTS_VALUE;
        read = file->first_again ? next_decoded_frame(*file, again) : FrameRead::Frame;
        if (file->first_again && read == FrameRead::Frame && again != AV_NOPTS_VALUE)
            file->origin = again;
        file->first_again = false;
        if (read == FrameRead::Frame) read = next_decoded_frame(*file, ts);
    } else {
        read = next_stored_frame(*file, ts);
    }
    if (read != FrameRead::Frame) return read;
    if (file->decoder) start_dib(*file, 32, {}, false);
    frame.dib = file->dib.data();
    frame.size = file->dib.size();
    frame.time = frame_time(*file, ts);
    ++file->frames_read;
    return FrameRead::Frame;
}

bool video_write_frame(VideoFile *file, const FrameRows &rows) {
    return file && file->decoder && file->frame->data[0] &&
           convert_picture(*file, *file->frame, rows);
}

bool video_hold_frame(VideoFile *file) {
    if (!file || !file->decoder || !file->frame->data[0]) return false;
    av_frame_unref(file->held.get());
    return av_frame_ref(file->held.get(), file->frame.get()) == 0;
}

bool video_write_held_frame(VideoFile *file, const FrameRows &rows) {
    if (!file) return false;
    const bool written = file->held->data[0] && convert_picture(*file, *file->held, rows);
    av_frame_unref(file->held.get());
    return written;
}

bool video_rewind(VideoFile *file) { return file && file->video >= 0 && rewind(*file); }

size_t video_decoder_bytes(const VideoFile *file) {
    if (!file || !file->decoder) return 0;
    const AVCodecContext &decoder = *file->decoder;
    AVPixelFormat format = decoder.pix_fmt;
    if (format == AV_PIX_FMT_NONE)
        format = AVPixelFormat(file->format->streams[file->video]->codecpar->format);
    // Until the stream says, the common 8-bit 4:2:0.
    int picture = av_image_get_buffer_size(format == AV_PIX_FMT_NONE ? AV_PIX_FMT_YUV420P : format,
                                           file->info.width, file->info.height, 32);
    if (picture <= 0) picture = file->info.width * file->info.height * 3;
    // The reference pictures (H.264 and HEVC keep up to 16; most streams say how many), one
    // picture in the making for each of the decoder's threads, the one handed out and a held
    // one (the first frame, until its surface is made).
    const int references = decoder.refs > 0 ? std::min(decoder.refs, 16) : 4;
    // Before the decoder opens, the threads FFmpeg gives it: one more than the processors,
    // at most one per 16 rows and at most 16.
    const int processors = std::min(av_cpu_count(), (file->info.height + 15) / 16);
    const int threads = file->decoder_open ? std::max(decoder.thread_count, 1)
                        : processors > 1    ? std::min(processors + 1, 16)
                                            : 1;
    return size_t(picture) * size_t(references + threads + 2) +
           (file->info.width % 16 ? size_t(file->info.width) * size_t(file->info.height) * 4 : 0);
}

struct SoundReader {
    SoundInput input;
    DecoderPtr decoder;  // null for stored PCM, read as it is
    FramePtr frame{av_frame_alloc()};
    SoundConverter converter;
    AVChannelLayout layout{};  // of the decoded sound
    int rate = 0;
    size_t block = 1;      // bytes of one sample frame
    size_t left = 0;       // bytes the limit leaves
    std::vector<uint8_t> carry;  // the start of a sample frame a stored packet split
    bool input_ended = false;
    bool ended = false;  // everything handed out

    ~SoundReader() { av_channel_layout_uninit(&layout); }
};

namespace {

AudioReadResult read_stored_pcm(SoundReader &reader, size_t bytes, std::vector<uint8_t> &piece) {
    bool failed = false;
    while (piece.size() < bytes) {
        if (!reader.input.next(failed)) {
            if (failed) return AudioReadResult::NoData;
            reader.input_ended = true;
            break;
        }
        const AVPacket &packet = *reader.input.packet;
        if (piece.size() > reader.left || size_t(packet.size) > reader.left - piece.size())
            return AudioReadResult::NoSize;
        piece.insert(piece.end(), packet.data, packet.data + packet.size);
        av_packet_unref(reader.input.packet.get());
    }
    // Whole sample frames only: a split one waits for its rest, and one the track ends in
    // goes.
    const size_t split = piece.size() % reader.block;
    if (!reader.input_ended) reader.carry.assign(piece.end() - ptrdiff_t(split), piece.end());
    piece.resize(piece.size() - split);
    return AudioReadResult::Read;
}

AudioReadResult read_decoded_pcm(SoundReader &reader, size_t bytes, std::vector<uint8_t> &piece) {
    AVCodecContext *decoder = reader.decoder.get();
    AVFrame *frame = reader.frame.get();
    bool failed = false;
    while (piece.size() < bytes) {
        const int received = avcodec_receive_frame(decoder, frame);
        if (received == 0) {
            const AudioReadResult appended = append_converted(
                reader.converter, frame, reader.layout, reader.rate, reader.left, piece);
            av_frame_unref(frame);
            if (appended != AudioReadResult::Read) return appended;
            continue;
        }
        if (received != AVERROR(EAGAIN) || reader.input_ended) {
            reader.input_ended = true;
            return append_converted(reader.converter, nullptr, reader.layout, reader.rate,
                                    reader.left, piece);
        }
        if (!reader.input.next(failed)) {
            if (failed) return AudioReadResult::NoData;
            reader.input_ended = true;
            avcodec_send_packet(decoder, nullptr);
            continue;
        }
        const int sent = avcodec_send_packet(decoder, reader.input.packet.get());
        av_packet_unref(reader.input.packet.get());
        // A damaged packet loses its own sound only.
        if (sent < 0 && sent != AVERROR_INVALIDDATA) return AudioReadResult::NoData;
    }
    return AudioReadResult::Read;
}

}  // namespace

AudioReadResult video_open_sound(VideoFile *file, size_t limit, platform::WaveFormat &format,
                                 SoundReader *&opened) {
    opened = nullptr;
    if (!file || file->audio < 0) return AudioReadResult::NoStream;
    std::unique_ptr<SoundReader> reader(new (std::nothrow) SoundReader);
    if (!reader || !reader->frame || !reader->input.open(*file)) return AudioReadResult::NoData;
    const AVStream &stream = *reader->input.format->streams[reader->input.stream];
    const AVCodecParameters &parameters = *stream.codecpar;
    const int channels = parameters.ch_layout.nb_channels;
    const int rate = parameters.sample_rate;
    if (channels <= 0 || channels > 8 || rate < int(platform::kLowestSoundRate) ||
        rate > int(platform::kHighestSoundRate))
        return AudioReadResult::NoInfo;

    const bool stored = parameters.codec_id == AV_CODEC_ID_PCM_U8 ||
                        parameters.codec_id == AV_CODEC_ID_PCM_S16LE;
    int out_channels = channels, bits = 16;
    if (stored) {
        bits = parameters.codec_id == AV_CODEC_ID_PCM_U8 ? 8 : 16;
    } else {
        const AVCodec *codec = avcodec_find_decoder(parameters.codec_id);
        if (!codec) return AudioReadResult::NoFormatSize;
        out_channels = std::min(channels, 2);
        av_channel_layout_default(&reader->layout, out_channels);
        reader->decoder.reset(avcodec_alloc_context3(codec));
        if (!reader->decoder ||
            avcodec_parameters_to_context(reader->decoder.get(), &parameters) < 0 ||
            avcodec_open2(reader->decoder.get(), codec, nullptr) < 0)
            return AudioReadResult::NoFormat;
    }
    const uint16_t block = uint16_t(out_channels * bits / 8);
    reader->rate = rate;
    reader->block = block;
    reader->left = std::min(limit, size_t(INT32_MAX));
    // A track its header says is larger than the limit is not read; stored sound cannot be
    // larger than the file. AVI gives stored sound no duration, but the count of its sample
    // frames (no more than it holds: another container counts packets).
    int64_t claimed = 0;
    if (stream.duration > 0)
        claimed = av_rescale_q(stream.duration, stream.time_base, AVRational{1, rate});
    else if (stored)
        claimed = std::max<int64_t>(stream.nb_frames, 0);
    claimed = claimed > INT64_MAX / block ? INT64_MAX : claimed * block;
    const int64_t file_bytes = avio_size(reader->input.format->pb);
    if (stored && file_bytes > 0) claimed = std::min(claimed, file_bytes);
    if (claimed > int64_t(reader->left)) return AudioReadResult::NoSize;
    format = platform::WaveFormat{1, uint16_t(out_channels), uint32_t(rate), uint32_t(rate) * block, block,
                        uint16_t(bits), 0};
    opened = reader.release();
    return AudioReadResult::Read;
}

AudioReadResult video_read_sound(SoundReader *reader, size_t bytes, std::vector<uint8_t> &piece) {
    piece.clear();
    if (!reader || reader->ended) return AudioReadResult::Read;
    piece.swap(reader->carry);
    const AudioReadResult result = reader->decoder ? read_decoded_pcm(*reader, bytes, piece)
                                                   : read_stored_pcm(*reader, bytes, piece);
    if (result != AudioReadResult::Read) {
        reader->ended = true;
        piece.clear();
        return result;
    }
    reader->left -= piece.size();
    reader->ended = reader->input_ended && reader->carry.empty();
    return AudioReadResult::Read;
}

void video_close_sound(SoundReader *reader) { delete reader; }
