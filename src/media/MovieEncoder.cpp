// MovieEncoder: FFmpeg's encode-and-mux sequence (the order of its doc/examples/mux.c), with the
// GIF's two passes over a spool of colour bins.
#include "media/MovieEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "media/AtomicFile.h"
#include "media/GifPalette.h"

namespace {

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, text, sizeof(text));
    return text;
}

const char* encoderName(MovieFormat format) {
    switch (format) {
        case MovieFormat::Mp4:
            return "libx264";
        case MovieFormat::WebM:
            return "libvpx-vp9";
        case MovieFormat::Gif:
            break;
    }
    return "gif";
}

const char* muxerName(MovieFormat format) {
    switch (format) {
        case MovieFormat::Mp4:
            return "mp4";
        case MovieFormat::WebM:
            return "webm";
        case MovieFormat::Gif:
            break;
    }
    return "gif";
}

const char* codecLabel(MovieFormat format) {
    switch (format) {
        case MovieFormat::Mp4:
            return "H.264";
        case MovieFormat::WebM:
            return "VP9";
        case MovieFormat::Gif:
            break;
    }
    return "GIF";
}

// One owner per FFmpeg handle.
struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct FileClose {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

/// The output format context and the I/O it opened: the I/O is closed before the context is
/// freed.
class OutputContext {
   public:
    OutputContext() = default;
    OutputContext(const OutputContext&) = delete;
    OutputContext& operator=(const OutputContext&) = delete;
    ~OutputContext() {
        if (m_context) {
            if (m_context->pb) avio_closep(&m_context->pb);
            avformat_free_context(m_context);
        }
    }
    AVFormatContext*& get() { return m_context; }
    AVFormatContext* operator->() const { return m_context; }

   private:
    AVFormatContext* m_context = nullptr;
};

}  // namespace

bool movieFormatOfPath(const std::string& path, MovieFormat& format) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == "mp4") {
        format = MovieFormat::Mp4;
    } else if (ext == "webm") {
        format = MovieFormat::WebM;
    } else if (ext == "gif") {
        format = MovieFormat::Gif;
    } else {
        return false;
    }
    return true;
}

const char* movieFormatName(MovieFormat format) {
    switch (format) {
        case MovieFormat::Mp4:
            return "MP4";
        case MovieFormat::WebM:
            return "WebM";
        case MovieFormat::Gif:
            break;
    }
    return "GIF";
}

bool movieEncoderAvailable(MovieFormat format, std::string& reason) {
    if (!avcodec_find_encoder_by_name(encoderName(format))) {
        reason = std::string("the ") + codecLabel(format) + " encoder " + encoderName(format) +
                 " is not in this FFmpeg build";
        return false;
    }
    if (!av_guess_format(muxerName(format), nullptr, nullptr)) {
        reason = std::string("the ") + movieFormatName(format) + " muxer is not in this FFmpeg build";
        return false;
    }
    return true;
}

bool checkMovieSize(MovieFormat format, int width, int height, std::string& error) {
    constexpr int kMinSide = 2, kMaxSide = 8192;
    if (width < kMinSide || height < kMinSide || width > kMaxSide || height > kMaxSide) {
        error = "a movie's width and height must be from 2 to 8192 pixels (got " + std::to_string(width) + "x" +
                std::to_string(height) + ")";
        return false;
    }
    if (format != MovieFormat::Gif && (width % 2 != 0 || height % 2 != 0)) {
        error = std::string(movieFormatName(format)) + " needs an even width and height (got " + std::to_string(width) +
                "x" + std::to_string(height) + ")";
        return false;
    }
    return true;
}

struct MovieEncoder::Impl {
    MovieSettings settings;
    // Declared in the reverse of the release order: codec state, then the I/O with the format
    // context, then the temporary file.
    std::unique_ptr<AtomicFile> file;
    OutputContext output;
    AVStream* stream = nullptr;  // owned by output
    std::unique_ptr<AVCodecContext, CodecContextFree> codec;
    std::unique_ptr<AVFrame, FrameFree> frame;
    std::unique_ptr<AVPacket, PacketFree> packet;
    std::unique_ptr<SwsContext, SwsFree> scaler;
    bool headerWritten = false;
    bool trailerWritten = false;
    bool failed = false;
    bool finished = false;
    int frames = 0;
    // GIF: the histogram of every frame and the frames' colour bins until the palette exists.
    std::unique_ptr<ColourHistogram> histogram;
    std::unique_ptr<std::FILE, FileClose> spool;
    std::vector<std::uint16_t> bins;

    ~Impl() {
        // An unfinished movie still gets its trailer so the muxer releases what it holds; the
        // temporary is removed afterwards by the file's owner.
        if (headerWritten && !trailerWritten) av_write_trailer(output.get());
    }

    bool fail(std::string& error, const std::string& what) {
        failed = true;
        error = "cannot write '" + file->finalPath() + "': " + what;
        return false;
    }

    /// Sends frame (nullptr: drain) and writes every packet the encoder returns, its time stamps
    /// moved from the codec's time base to the stream's.
    bool encode(AVFrame* input, std::string& error) {
        int ret = avcodec_send_frame(codec.get(), input);
        if (ret < 0) return fail(error, "the encoder refused a frame (" + avError(ret) + ")");
        for (;;) {
            ret = avcodec_receive_packet(codec.get(), packet.get());
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
            if (ret < 0) return fail(error, "encoding failed (" + avError(ret) + ")");
            // Each packet holds one frame, one tick of the codec's time base long. Without a
            // duration the MP4 muxer's edit list ends at the last frame's start and players (and
            // ffprobe) drop that frame.
            if (packet->duration <= 0) packet->duration = 1;
            av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            ret = av_interleaved_write_frame(output.get(), packet.get());
            if (ret < 0) return fail(error, "writing failed (" + avError(ret) + ")");
        }
    }

    bool encodeRgb(const RgbImage& image, std::string& error) {
        int ret = av_frame_make_writable(frame.get());
        if (ret < 0) return fail(error, "no frame buffer (" + avError(ret) + ")");
        const std::uint8_t* source[1] = {image.pixels.data()};
        const int sourceStride[1] = {image.width * 3};
        sws_scale(scaler.get(), source, sourceStride, 0, image.height, frame->data, frame->linesize);
        frame->pts = frames;
        return encode(frame.get(), error);
    }

    bool spoolGif(const RgbImage& image, std::string& error) {
        const size_t count = static_cast<size_t>(image.width) * image.height;
        histogram->add(image.pixels.data(), count);
        bins.resize(count);
        const std::uint8_t* p = image.pixels.data();
        for (size_t i = 0; i < count; ++i, p += 3) bins[i] = ColourHistogram::binOf(p[0], p[1], p[2]);
        if (std::fwrite(bins.data(), sizeof(std::uint16_t), count, spool.get()) != count)
            return fail(error, "the frame spool is full (" + std::string(std::strerror(errno)) + ")");
        return true;
    }

    /// The GIF's second pass: every spooled frame through the movie's palette.
    bool encodeSpooledGif(std::string& error) {
        const GifPalette palette = GifPalette::build(*histogram);
        if (std::fflush(spool.get()) != 0 || std::fseek(spool.get(), 0, SEEK_SET) != 0)
            return fail(error, "the frame spool cannot be read back");
        const size_t count = static_cast<size_t>(settings.width) * settings.height;
        for (int f = 0; f < frames; ++f) {
            if (std::fread(bins.data(), sizeof(std::uint16_t), count, spool.get()) != count)
                return fail(error, "the frame spool cannot be read back");
            int ret = av_frame_make_writable(frame.get());
            if (ret < 0) return fail(error, "no frame buffer (" + avError(ret) + ")");
            for (int y = 0; y < settings.height; ++y)
                palette.mapBins(&bins[static_cast<size_t>(y) * settings.width], settings.width,
                                frame->data[0] + static_cast<size_t>(y) * frame->linesize[0]);
            auto* entries = reinterpret_cast<std::uint32_t*>(frame->data[1]);
            for (int i = 0; i < 256; ++i) entries[i] = 0xFF000000u;
            const auto& colours = palette.colours();
            for (size_t i = 0; i < colours.size(); ++i)
                entries[i] = 0xFF000000u | static_cast<std::uint32_t>(colours[i][0]) << 16 |
                             static_cast<std::uint32_t>(colours[i][1]) << 8 | colours[i][2];
            frame->pts = f;
            if (!encode(frame.get(), error)) return false;
        }
        return true;
    }
};

MovieEncoder::MovieEncoder(std::unique_ptr<Impl> impl) : m(std::move(impl)) {}
MovieEncoder::~MovieEncoder() = default;
int MovieEncoder::framesAdded() const { return m->frames; }
const MovieSettings& MovieEncoder::settings() const { return m->settings; }

std::unique_ptr<MovieEncoder> MovieEncoder::open(const std::string& path, const MovieSettings& settings,
                                                 std::string& error) {
    MovieFormat byName;
    if (!movieFormatOfPath(path, byName) || byName != settings.format) {
        error = "cannot write '" + path + "': a movie's name ends in .mp4, .webm or .gif";
        return nullptr;
    }
    std::string reason;
    if (!checkMovieSize(settings.format, settings.width, settings.height, reason) ||
        !movieEncoderAvailable(settings.format, reason)) {
        error = "cannot write '" + path + "': " + reason;
        return nullptr;
    }
    if (settings.fps < 1 || settings.fps > 120) {
        error = "cannot write '" + path + "': the frame rate must be from 1 to 120 frames per second";
        return nullptr;
    }
    // Failures reach the caller as one message with FFmpeg's reason; the libraries' own console
    // lines (the encoder's banner and statistics) would only repeat or clutter it.
    av_log_set_level(AV_LOG_QUIET);
    auto impl = std::make_unique<Impl>();
    impl->settings = settings;
    impl->file = AtomicFile::create(path, error);
    if (!impl->file) return nullptr;
    const std::string& temp = impl->file->tempPath();
    auto failWith = [&](const std::string& what) {
        error = "cannot write '" + path + "': " + what;
        return nullptr;
    };

    const AVOutputFormat* container = av_guess_format(muxerName(settings.format), nullptr, nullptr);
    int ret = avformat_alloc_output_context2(&impl->output.get(), container, nullptr, temp.c_str());
    if (ret < 0 || !impl->output.get())
        return failWith("no " + std::string(movieFormatName(settings.format)) + " muxer (" + avError(ret) + ")");
    const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName(settings.format));
    impl->stream = avformat_new_stream(impl->output.get(), nullptr);
    impl->codec.reset(avcodec_alloc_context3(encoder));
    impl->frame.reset(av_frame_alloc());
    impl->packet.reset(av_packet_alloc());
    if (!impl->stream || !impl->codec || !impl->frame || !impl->packet) return failWith("out of memory");

    AVCodecContext& c = *impl->codec;
    c.width = settings.width;
    c.height = settings.height;
    c.time_base = AVRational{1, settings.fps};
    c.framerate = AVRational{settings.fps, 1};
    c.pix_fmt = settings.format == MovieFormat::Gif ? AV_PIX_FMT_PAL8 : AV_PIX_FMT_YUV420P;
    // Two encoder threads: the machines this runs on have few cores, and each thread of x264 keeps
    // frames of its own (about 20 MB per thread at 1280x960).
    c.thread_count = 2;
    AVDictionary* options = nullptr;
    if (settings.format != MovieFormat::Gif) {
        c.gop_size = 2 * settings.fps;
        // swscale converts with the BT.601 matrix into the limited range: say so in the stream.
        c.color_range = AVCOL_RANGE_MPEG;
        c.colorspace = AVCOL_SPC_SMPTE170M;
        c.color_primaries = AVCOL_PRI_SMPTE170M;
        c.color_trc = AVCOL_TRC_SMPTE170M;
    }
    if (settings.format == MovieFormat::Mp4) {
        av_dict_set(&options, "preset", "veryfast", 0);
        av_dict_set(&options, "crf", "20", 0);
    } else if (settings.format == MovieFormat::WebM) {
        c.bit_rate = 0;  // constant quality
        av_dict_set(&options, "crf", "32", 0);
        av_dict_set(&options, "deadline", "realtime", 0);
        av_dict_set(&options, "cpu-used", "8", 0);
        av_dict_set(&options, "row-mt", "1", 0);
    }
    if (impl->output->oformat->flags & AVFMT_GLOBALHEADER) c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    impl->stream->time_base = c.time_base;
    ret = avcodec_open2(&c, encoder, &options);
    av_dict_free(&options);
    if (ret < 0)
        return failWith("the " + std::string(codecLabel(settings.format)) + " encoder cannot start (" + avError(ret) +
                        ")");
    ret = avcodec_parameters_from_context(impl->stream->codecpar, &c);
    if (ret < 0) return failWith("no stream parameters (" + avError(ret) + ")");

    impl->frame->format = c.pix_fmt;
    impl->frame->width = c.width;
    impl->frame->height = c.height;
    ret = av_frame_get_buffer(impl->frame.get(), 0);
    if (ret < 0) return failWith("no frame buffer (" + avError(ret) + ")");

    if (settings.format == MovieFormat::Gif) {
        impl->histogram = std::make_unique<ColourHistogram>();
        impl->spool.reset(std::tmpfile());
        if (!impl->spool)
            return failWith("no temporary file for the frames (" + std::string(std::strerror(errno)) + ")");
    } else {
        impl->scaler.reset(sws_getContext(c.width, c.height, AV_PIX_FMT_RGB24, c.width, c.height, AV_PIX_FMT_YUV420P,
                                          SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
        if (!impl->scaler) return failWith("no colour converter from RGB to YUV 4:2:0");
    }

    ret = avio_open(&impl->output->pb, temp.c_str(), AVIO_FLAG_WRITE);
    if (ret < 0) return failWith(avError(ret));
    AVDictionary* muxOptions = nullptr;
    if (settings.format == MovieFormat::Mp4) av_dict_set(&muxOptions, "movflags", "+faststart", 0);
    ret = avformat_write_header(impl->output.get(), &muxOptions);
    av_dict_free(&muxOptions);
    if (ret < 0) return failWith("the header cannot be written (" + avError(ret) + ")");
    impl->headerWritten = true;
    return std::unique_ptr<MovieEncoder>(new MovieEncoder(std::move(impl)));
}

bool MovieEncoder::addFrame(const RgbImage& frame, std::string& error) {
    if (m->failed || m->finished) {
        error = "cannot write '" + m->file->finalPath() + "': the movie is already " +
                (m->finished ? "finished" : "broken off");
        return false;
    }
    if (frame.width != m->settings.width || frame.height != m->settings.height ||
        frame.pixels.size() != static_cast<size_t>(frame.width) * frame.height * 3)
        return m->fail(error, "frame " + std::to_string(m->frames + 1) + " is " + std::to_string(frame.width) + "x" +
                                  std::to_string(frame.height) + ", the movie " + std::to_string(m->settings.width) +
                                  "x" + std::to_string(m->settings.height));
    const bool ok = m->settings.format == MovieFormat::Gif ? m->spoolGif(frame, error) : m->encodeRgb(frame, error);
    if (ok) ++m->frames;
    return ok;
}

bool MovieEncoder::finish(std::string& error) {
    if (m->failed || m->finished) {
        error = "cannot write '" + m->file->finalPath() + "': the movie is already " +
                (m->finished ? "finished" : "broken off");
        return false;
    }
    if (m->frames == 0) return m->fail(error, "the movie has no frames");
    if (m->settings.format == MovieFormat::Gif && !m->encodeSpooledGif(error)) return false;
    if (!m->encode(nullptr, error)) return false;
    m->trailerWritten = true;
    int ret = av_write_trailer(m->output.get());
    if (ret < 0) return m->fail(error, "the trailer cannot be written (" + avError(ret) + ")");
    ret = avio_closep(&m->output->pb);
    if (ret < 0) return m->fail(error, avError(ret));
    if (!m->file->commit(error)) {
        m->failed = true;
        return false;
    }
    m->finished = true;
    return true;
}
