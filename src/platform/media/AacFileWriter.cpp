#include "platform/media/AacFileWriter.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <mutex>

namespace {

// The encoder's failures, each a whole sentence for translators.
//: %1 is FFmpeg's explanation (untranslated)
constexpr const char *cannotPrepareFile =
    QT_TRANSLATE_NOOP("AacFileWriter", "The audio encoder could not prepare the file: %1.");
//: %1 is FFmpeg's explanation (untranslated)
constexpr const char *cannotFindEncoder =
    QT_TRANSLATE_NOOP("AacFileWriter", "The audio encoder could not find the AAC encoder: %1.");
//: %1 is FFmpeg's explanation (untranslated)
constexpr const char *cannotStart =
    QT_TRANSLATE_NOOP("AacFileWriter", "The audio encoder could not start: %1.");
//: %1 is FFmpeg's explanation (untranslated)
constexpr const char *cannotConvert =
    QT_TRANSLATE_NOOP("AacFileWriter", "The audio encoder could not convert the samples: %1.");
//: %1 is FFmpeg's explanation (untranslated)
constexpr const char *cannotBuffer =
    QT_TRANSLATE_NOOP("AacFileWriter", "The audio encoder could not buffer the samples: %1.");
//: %1 is FFmpeg's explanation (untranslated)
constexpr const char *cannotEncode =
    QT_TRANSLATE_NOOP("AacFileWriter", "The audio encoder could not encode: %1.");

QString avErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

void quietenLibraries() {
    static std::once_flag once;
    // The encoder reports statistics on stderr at every close; only trouble is worth a line.
    std::call_once(once, [] { av_log_set_level(AV_LOG_WARNING); });
}

struct DictionaryFree {
    void operator()(AVDictionary *dictionary) const { av_dict_free(&dictionary); }
};

} // namespace

void AacFileWriter::FormatContextClose::operator()(AVFormatContext *context) const {
    if (context->pb && !(context->oformat->flags & AVFMT_NOFILE))
        avio_closep(&context->pb);
    avformat_free_context(context);
}
void AacFileWriter::CodecContextFree::operator()(AVCodecContext *context) const {
    avcodec_free_context(&context);
}
void AacFileWriter::ResamplerFree::operator()(SwrContext *context) const {
    swr_free(&context);
}
void AacFileWriter::FifoFree::operator()(AVAudioFifo *fifo) const {
    av_audio_fifo_free(fifo);
}
void AacFileWriter::FrameFree::operator()(AVFrame *frame) const {
    av_frame_free(&frame);
}
void AacFileWriter::PacketFree::operator()(AVPacket *packet) const {
    av_packet_free(&packet);
}

AacFileWriter::AacFileWriter(const QString &path, Format format)
    : m_path(path)
    , m_format(format) {
    quietenLibraries();
    const QByteArray file = QFile::encodeName(path);
    AVFormatContext *container = nullptr;
    // "ipod" is the MPEG-4 muxer that writes the .m4a brand.
    if (const int error =
            avformat_alloc_output_context2(&container, nullptr, "ipod", file.constData());
        error < 0)
        fail(cannotPrepareFile, error);
    m_container.reset(container);

    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec)
        fail(cannotFindEncoder, AVERROR_ENCODER_NOT_FOUND);
    m_encoder.reset(avcodec_alloc_context3(codec));
    if (!m_encoder)
        fail(cannotStart, AVERROR(ENOMEM));
    // FFmpeg's own encoder: its default two-loop search is its best quality at a fixed rate.
    m_encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    m_encoder->sample_rate = format.sampleRate;
    av_channel_layout_default(&m_encoder->ch_layout, format.channels);
    m_encoder->bit_rate = format.bitRate;
    m_encoder->profile = FF_PROFILE_AAC_LOW;
    m_encoder->time_base = AVRational{1, format.sampleRate};
    if (m_container->oformat->flags & AVFMT_GLOBALHEADER)
        m_encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int error = avcodec_open2(m_encoder.get(), codec, nullptr); error < 0)
        fail(cannotStart, error);

    m_stream = avformat_new_stream(m_container.get(), nullptr);
    if (!m_stream)
        fail(cannotPrepareFile, AVERROR(ENOMEM));
    if (const int error = avcodec_parameters_from_context(m_stream->codecpar, m_encoder.get());
        error < 0)
        fail(cannotPrepareFile, error);
    m_stream->time_base = m_encoder->time_base;

    if (const int error = avio_open(&m_container->pb, file.constData(), AVIO_FLAG_WRITE); error < 0)
        fail(nullptr, error);
    // The temporary folder is shared: what the user said or heard is for their eyes only.
    ::chmod(file.constData(), S_IRUSR | S_IWUSR);
    // Fragments of about a second, each on disk at once: a crash loses at most the last one
    // (a plain MPEG-4 file is unreadable without the index written at the end).
    m_container->flags |= AVFMT_FLAG_FLUSH_PACKETS;
    AVDictionary *options = nullptr;
    av_dict_set(&options, "movflags", "empty_moov+default_base_moof", 0);
    av_dict_set(&options, "frag_duration", "1000000", 0);
    const int headerError = avformat_write_header(m_container.get(), &options);
    const std::unique_ptr<AVDictionary, DictionaryFree> unused(options);
    if (headerError < 0)
        fail(nullptr, headerError);

    SwrContext *resampler = nullptr;
    if (const int error = swr_alloc_set_opts2(&resampler, &m_encoder->ch_layout, AV_SAMPLE_FMT_FLTP,
                                              format.sampleRate, &m_encoder->ch_layout,
                                              AV_SAMPLE_FMT_S16, format.sampleRate, 0, nullptr);
        error < 0)
        fail(cannotStart, error);
    m_resampler.reset(resampler);
    if (const int error = swr_init(m_resampler.get()); error < 0)
        fail(cannotStart, error);

    m_fifo.reset(
        av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, format.channels, 4 * m_encoder->frame_size));
    m_frame.reset(av_frame_alloc());
    m_packet.reset(av_packet_alloc());
    if (!m_fifo || !m_frame || !m_packet)
        fail(cannotStart, AVERROR(ENOMEM));
    m_frame->nb_samples = m_encoder->frame_size;
    m_frame->format = AV_SAMPLE_FMT_FLTP;
    m_frame->sample_rate = format.sampleRate;
    if (const int error = av_channel_layout_copy(&m_frame->ch_layout, &m_encoder->ch_layout);
        error < 0)
        fail(cannotStart, error);
    if (const int error = av_frame_get_buffer(m_frame.get(), 0); error < 0)
        fail(cannotStart, error);
}

AacFileWriter::~AacFileWriter() = default;

void AacFileWriter::write(const std::int16_t *interleaved, int frames) {
    if (frames <= 0)
        return;
    m_planar.resize(std::size_t(frames) * std::size_t(m_format.channels));
    m_planes.resize(std::size_t(m_format.channels));
    for (std::size_t channel = 0; channel < m_planes.size(); ++channel)
        m_planes[channel] = reinterpret_cast<std::uint8_t *>(m_planar.data() + channel * frames);
    const auto *input = reinterpret_cast<const std::uint8_t *>(interleaved);
    const int converted = swr_convert(m_resampler.get(), m_planes.data(), frames, &input, frames);
    if (converted < 0)
        fail(cannotConvert, converted);
    if (const int written = av_audio_fifo_write(
            m_fifo.get(), reinterpret_cast<void **>(m_planes.data()), converted);
        written < converted)
        fail(cannotBuffer, written < 0 ? written : AVERROR(ENOMEM));
    encodeFrames(m_encoder->frame_size);
}

void AacFileWriter::finish() {
    if (m_finished)
        return;
    m_finished = true;
    encodeFrames(1); // the last frame may be short
    encode(nullptr);
    if (const int error = av_write_trailer(m_container.get()); error < 0)
        fail(nullptr, error);
    if (const int error = avio_closep(&m_container->pb); error < 0)
        fail(nullptr, error);
}

void AacFileWriter::encodeFrames(int minimum) {
    while (av_audio_fifo_size(m_fifo.get()) >= std::max(minimum, 1)) {
        const int samples = std::min(av_audio_fifo_size(m_fifo.get()), m_encoder->frame_size);
        if (const int error = av_frame_make_writable(m_frame.get()); error < 0)
            fail(cannotEncode, error);
        m_frame->nb_samples = samples;
        if (av_audio_fifo_read(m_fifo.get(), reinterpret_cast<void **>(m_frame->data), samples) <
            samples)
            fail(cannotEncode, AVERROR_BUG);
        m_frame->pts = m_nextPts;
        m_nextPts += samples;
        encode(m_frame.get());
    }
}

void AacFileWriter::encode(AVFrame *frame) {
    if (const int error = avcodec_send_frame(m_encoder.get(), frame); error < 0)
        fail(cannotEncode, error);
    for (;;) {
        const int received = avcodec_receive_packet(m_encoder.get(), m_packet.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return;
        if (received < 0)
            fail(cannotEncode, received);
        av_packet_rescale_ts(m_packet.get(), m_encoder->time_base, m_stream->time_base);
        m_packet->stream_index = m_stream->index;
        if (const int error = av_interleaved_write_frame(m_container.get(), m_packet.get());
            error < 0)
            fail(nullptr, error);
    }
}

void AacFileWriter::fail(const char *encoderFailure, int error) const {
    if (!encoderFailure)
        //: %1 is the file's path, %2 FFmpeg's explanation (untranslated)
        throw Error(QCoreApplication::translate("AacFileWriter",
                                                "The recording could not be written to %1: %2.")
                        .arg(QDir::toNativeSeparators(m_path), avErrorText(error)));
    throw Error(
        QCoreApplication::translate("AacFileWriter", encoderFailure).arg(avErrorText(error)));
}
