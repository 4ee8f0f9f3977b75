#include "movie_probe.h"

#include <fstream>
#include <memory>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace recordingtest {

namespace {

struct Input {
    AVFormatContext* format = nullptr;
    explicit Input(const std::filesystem::path& file) {
        if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0 ||
            avformat_find_stream_info(format, nullptr) < 0)
            throw std::runtime_error(file.string() + ": not a movie FFmpeg can read");
    }
    ~Input() { avformat_close_input(&format); }
    int videoStream() const {
        const int s = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (s < 0) throw std::runtime_error("no video stream");
        return s;
    }
};

}  // namespace

MovieInfo probeMovie(const std::filesystem::path& file) {
    Input in(file);
    const int s = in.videoStream();
    const AVStream* stream = in.format->streams[s];
    MovieInfo info;
    info.container = in.format->iformat->name;
    info.codec = avcodec_get_name(stream->codecpar->codec_id);
    const char* pix = av_get_pix_fmt_name(static_cast<AVPixelFormat>(stream->codecpar->format));
    info.pixelFormat = pix ? pix : "";
    info.width = stream->codecpar->width;
    info.height = stream->codecpar->height;
    info.fps = av_q2d(stream->avg_frame_rate);
    info.seconds = in.format->duration > 0 ? static_cast<double>(in.format->duration) / AV_TIME_BASE : 0.0;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(in.format, packet) >= 0) {
        if (packet->stream_index == s) ++info.frames;
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return info;
}

Picture decodeFrame(const std::filesystem::path& file, int index) {
    Input in(file);
    const int s = in.videoStream();
    const AVCodec* decoder = avcodec_find_decoder(in.format->streams[s]->codecpar->codec_id);
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(codec, in.format->streams[s]->codecpar);
    if (avcodec_open2(codec, decoder, nullptr) < 0) throw std::runtime_error("no decoder");
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    Picture picture;
    int seen = 0;
    auto take = [&]() {
        while (avcodec_receive_frame(codec, frame) >= 0) {
            if (seen++ == index) {
                picture.width = frame->width;
                picture.height = frame->height;
                picture.rgb.resize(3 * static_cast<std::size_t>(frame->width) * frame->height);
                SwsContext* sws = sws_getContext(frame->width, frame->height,
                                                 static_cast<AVPixelFormat>(frame->format),
                                                 frame->width, frame->height, AV_PIX_FMT_RGB24,
                                                 SWS_BILINEAR, nullptr, nullptr, nullptr);
                std::uint8_t* dst[1] = {picture.rgb.data()};
                const int dstStride[1] = {3 * frame->width};
                sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
                sws_freeContext(sws);
            }
            av_frame_unref(frame);
        }
    };
    while (picture.rgb.empty() && av_read_frame(in.format, packet) >= 0) {
        if (packet->stream_index == s && avcodec_send_packet(codec, packet) >= 0) take();
        av_packet_unref(packet);
    }
    if (picture.rgb.empty()) {
        avcodec_send_packet(codec, nullptr);
        take();
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    if (picture.rgb.empty()) throw std::runtime_error("the movie has no frame " + std::to_string(index));
    return picture;
}

void writePpm(const Picture& p, const std::filesystem::path& file) {
    std::ofstream out(file, std::ios::binary);
    out << "P6\n" << p.width << " " << p.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(p.rgb.data()), static_cast<std::streamsize>(p.rgb.size()));
}

}  // namespace recordingtest
