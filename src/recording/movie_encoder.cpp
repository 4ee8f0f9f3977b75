#include "recording/movie_encoder.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "platform/safe_output.h"
#include "recording/yuv420.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace recording {

namespace {

// Pictures waiting for the encoder at most: enough to even out a slow frame,
// few enough that 1280x720 pictures hold little memory (3.7 MB each).
constexpr std::size_t kQueueLimit = 4;
// MPEG-4 quantiser (2 best .. 31 worst): 3 keeps thin walls and small
// figures sharp at a few megabits per second for such flat-coloured scenes.
constexpr int kQuantiser = 3;
// A key frame every half second of movie, so that players seek quickly.
constexpr int kKeyFramesPerSecond = 2;
constexpr int kIoBufferBytes = 1 << 16;

std::string ffmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

struct MovieEncoder::Impl {
    std::filesystem::path target;
    MovieFormat format;
    platform::AtomicFile file;

    AVFormatContext* container = nullptr;
    AVIOContext* io = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* picture = nullptr;  // yuv420p, handed to the encoder
    AVPacket* packet = nullptr;
    std::int64_t position = 0, size = 0;  // of the temporary file, for the muxer's seeks

    // Shared with the encoder thread.
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::vector<std::uint8_t>> queue;  // RGBA pictures, tightly packed
    std::vector<std::vector<std::uint8_t>> spare;  // buffers to reuse
    bool closing = false;
    std::string problem;
    int handedIn = 0;
    double encodingSeconds = 0.0;
    std::thread worker;
    std::int64_t encoded = 0;  // pictures sent to the encoder (worker only)
    bool finished = false;

    Impl(std::filesystem::path t, const MovieFormat& f) : target(std::move(t)), format(f),
          file(target, platform::Durability::WhenReplacing, platform::Replacing::RegularFileOnly) {}

    void fail(const std::string& why) {
        std::lock_guard<std::mutex> lock(mutex);
        if (problem.empty()) problem = platform::capped(target.string()) + ": " + why;
    }
    bool failed() const {
        std::lock_guard<std::mutex> lock(mutex);
        return !problem.empty();
    }

    static int writeBytes(void* opaque, std::uint8_t* data, int bytes) {
        auto* self = static_cast<Impl*>(opaque);
        self->file.write(data, static_cast<std::size_t>(bytes));
        if (!self->file.ok()) return AVERROR(EIO);
        self->position += bytes;
        if (self->position > self->size) self->size = self->position;
        return bytes;
    }

    static std::int64_t seekTo(void* opaque, std::int64_t offset, int whence) {
        auto* self = static_cast<Impl*>(opaque);
        if (whence & AVSEEK_SIZE) return self->size;
        std::int64_t to = offset;
        switch (whence & ~AVSEEK_FORCE) {
            case SEEK_SET:
                break;
            case SEEK_CUR:
                to = self->position + offset;
                break;
            case SEEK_END:
                to = self->size + offset;
                break;
            default:
                return AVERROR(EINVAL);
        }
        if (to < 0 || !self->file.seek(static_cast<std::uint64_t>(to))) return AVERROR(EIO);
        self->position = to;
        return to;
    }

    void open() {
        if (!file.ok()) {
            std::lock_guard<std::mutex> lock(mutex);
            problem = file.problem();
            return;
        }
        if (format.width < 2 || format.height < 2 || format.width % 2 != 0 ||
            format.height % 2 != 0 || format.fps <= 0) {
            fail("the movie size must be even and the frame rate positive");
            return;
        }
        int rc = avformat_alloc_output_context2(&container, nullptr, "avi", nullptr);
        const AVCodec* encoder = avcodec_find_encoder_by_name(kMovieCodecName);
        if (rc < 0 || container == nullptr || encoder == nullptr) {
            fail(std::string("this FFmpeg has no AVI writer or no ") + kMovieCodecName + " encoder");
            return;
        }
        auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
        io = avio_alloc_context(buffer, kIoBufferBytes, 1, this, nullptr, &Impl::writeBytes,
                                &Impl::seekTo);
        if (io == nullptr) {
            av_free(buffer);
            fail("out of memory");
            return;
        }
        io->seekable = AVIO_SEEKABLE_NORMAL;
        container->pb = io;
        container->flags |= AVFMT_FLAG_CUSTOM_IO;

        stream = avformat_new_stream(container, nullptr);
        codec = avcodec_alloc_context3(encoder);
        picture = av_frame_alloc();
        packet = av_packet_alloc();
        if (stream == nullptr || codec == nullptr || picture == nullptr || packet == nullptr) {
            fail("out of memory");
            return;
        }
        codec->width = format.width;
        codec->height = format.height;
        codec->pix_fmt = AV_PIX_FMT_YUV420P;
        codec->time_base = AVRational{1, format.fps};
        codec->framerate = AVRational{format.fps, 1};
        codec->gop_size = std::max(1, format.fps / kKeyFramesPerSecond);
        codec->max_b_frames = 0;  // pictures leave the encoder in order: simple AVI timing
        codec->flags |= AV_CODEC_FLAG_QSCALE;
        codec->global_quality = FF_QP2LAMBDA * kQuantiser;
        codec->thread_count = 1;  // the drawing thread has the other core
        if (container->oformat->flags & AVFMT_GLOBALHEADER)
            codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if ((rc = avcodec_open2(codec, encoder, nullptr)) < 0 ||
            (rc = avcodec_parameters_from_context(stream->codecpar, codec)) < 0) {
            fail("the encoder cannot be opened: " + ffmpegError(rc));
            return;
        }
        stream->time_base = codec->time_base;
        stream->avg_frame_rate = codec->framerate;
        stream->r_frame_rate = codec->framerate;

        picture->format = AV_PIX_FMT_YUV420P;
        picture->width = format.width;
        picture->height = format.height;
        if ((rc = av_frame_get_buffer(picture, 0)) < 0) {
            fail("out of memory");
            return;
        }
        if ((rc = avformat_write_header(container, nullptr)) < 0) {
            fail("cannot be written: " + ffmpegError(rc));
            return;
        }
        worker = std::thread([this] { run(); });
    }

    // Takes the encoder's finished packets into the file.
    bool drainPackets() {
        for (;;) {
            int rc = avcodec_receive_packet(codec, packet);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
            if (rc < 0) {
                fail("encoding failed: " + ffmpegError(rc));
                return false;
            }
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            rc = av_interleaved_write_frame(container, packet);
            if (rc < 0) {
                fail(file.ok() ? "cannot be written: " + ffmpegError(rc) : file.problem());
                return false;
            }
        }
    }

    bool encode(const std::vector<std::uint8_t>& rgba) {
        if (av_frame_make_writable(picture) < 0) {
            fail("out of memory");
            return false;
        }
        rgbaToYuv420(rgba.data(), 4 * format.width, format.width, format.height,
                     {picture->data[0], picture->data[1], picture->data[2], picture->linesize[0],
                      picture->linesize[1], picture->linesize[2]});
        picture->pts = encoded++;
        picture->quality = codec->global_quality;
        const int rc = avcodec_send_frame(codec, picture);
        if (rc < 0) {
            fail("encoding failed: " + ffmpegError(rc));
            return false;
        }
        return drainPackets();
    }

    void run() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return closing || !queue.empty(); });
            if (queue.empty()) return;  // closing
            std::vector<std::uint8_t> rgba = std::move(queue.front());
            queue.pop_front();
            const bool ok = problem.empty();
            lock.unlock();
            changed.notify_all();
            const auto started = std::chrono::steady_clock::now();
            if (ok) encode(rgba);
            const double spent =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            lock.lock();
            encodingSeconds += spent;
            if (spare.size() < kQueueLimit) spare.push_back(std::move(rgba));
        }
    }

    void stopWorker() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            closing = true;
        }
        changed.notify_all();
        if (worker.joinable()) worker.join();
    }

    // Flushes the encoder and writes the AVI index; the file stays temporary.
    void complete() {
        const auto started = std::chrono::steady_clock::now();
        if (avcodec_send_frame(codec, nullptr) >= 0) drainPackets();
        if (!failed()) {
            const int rc = av_write_trailer(container);
            avio_flush(io);
            if (rc < 0 || !file.ok())
                fail(file.ok() ? "cannot be written: " + ffmpegError(rc) : file.problem());
        }
        encodingSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    }

    void release() {
        av_frame_free(&picture);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        if (container != nullptr) {
            container->pb = nullptr;
            avformat_free_context(container);
            container = nullptr;
        }
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }

    ~Impl() {
        stopWorker();
        release();
        if (!finished) file.discard();
    }
};

MovieEncoder::MovieEncoder(std::filesystem::path target, const MovieFormat& format)
    : impl_(std::make_unique<Impl>(std::move(target), format)) {
    impl_->open();
}

MovieEncoder::~MovieEncoder() = default;

void MovieEncoder::addFrame(const std::uint8_t* rgba, int bytesPerLine) {
    Impl& m = *impl_;
    const std::size_t row = 4 * static_cast<std::size_t>(m.format.width);
    std::unique_lock<std::mutex> lock(m.mutex);
    ++m.handedIn;
    if (!m.problem.empty() || m.closing || !m.worker.joinable()) return;
    m.changed.wait(lock, [&m] { return m.queue.size() < kQueueLimit; });
    std::vector<std::uint8_t> copy;
    if (!m.spare.empty()) {
        copy = std::move(m.spare.back());
        m.spare.pop_back();
    }
    lock.unlock();
    copy.resize(row * static_cast<std::size_t>(m.format.height));
    for (int y = 0; y < m.format.height; ++y)
        std::memcpy(copy.data() + row * static_cast<std::size_t>(y),
                    rgba + static_cast<std::ptrdiff_t>(bytesPerLine) * y, row);
    lock.lock();
    m.queue.push_back(std::move(copy));
    lock.unlock();
    m.changed.notify_all();
}

void MovieEncoder::addFrame(std::vector<std::uint8_t>&& rgba) {
    Impl& m = *impl_;
    const std::size_t bytes =
        4 * static_cast<std::size_t>(m.format.width) * static_cast<std::size_t>(m.format.height);
    if (rgba.size() != bytes)
        throw std::invalid_argument("a movie picture of " + std::to_string(rgba.size()) +
                                    " bytes where " + std::to_string(bytes) + " are due");
    std::unique_lock<std::mutex> lock(m.mutex);
    ++m.handedIn;
    if (!m.problem.empty() || m.closing || !m.worker.joinable()) return;
    m.changed.wait(lock, [&m] { return m.queue.size() < kQueueLimit; });
    m.queue.push_back(std::move(rgba));
    lock.unlock();
    m.changed.notify_all();
}

std::vector<std::uint8_t> MovieEncoder::spareBuffer() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->spare.empty()) return {};
    std::vector<std::uint8_t> buffer = std::move(impl_->spare.back());
    impl_->spare.pop_back();
    return buffer;
}

void MovieEncoder::finish() {
    Impl& m = *impl_;
    if (m.finished) return;
    m.stopWorker();
    if (!m.failed() && m.container != nullptr) m.complete();
    m.release();
    if (!m.failed() && !m.file.commit()) {
        std::lock_guard<std::mutex> lock(m.mutex);
        m.problem = m.file.problem();
    }
    if (m.failed()) {
        m.file.discard();
        throw std::runtime_error(problem());
    }
    m.finished = true;
}

const std::filesystem::path& MovieEncoder::target() const { return impl_->target; }
const MovieFormat& MovieEncoder::format() const { return impl_->format; }

std::string MovieEncoder::problem() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->problem;
}

int MovieEncoder::frames() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->handedIn;
}

double MovieEncoder::encodingSeconds() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->encodingSeconds;
}

}  // namespace recording
