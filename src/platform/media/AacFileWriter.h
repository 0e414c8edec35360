#pragma once

#include "platform/PlatformError.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

struct AVAudioFifo;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;

/// Encodes interleaved 16-bit samples as AAC-LC into an MPEG-4 audio file (.m4a). The file is
/// written in fragments of about a second, so what was recorded stays readable if the process
/// dies before `finish()`. Not thread-safe: one thread at a time.
class AacFileWriter final {
public:
    /// A failure of the file or the encoder, in words a user understands.
    class Error final : public PlatformError {
    public:
        using PlatformError::PlatformError;
    };

    struct Format {
        int sampleRate = 12000;
        int channels = 1;
        int bitRate = 48000;
    };

    /// Creates or truncates the file and writes its header. Throws `Error`.
    AacFileWriter(const QString &path, Format format);
    ~AacFileWriter();
    AacFileWriter(const AacFileWriter &) = delete;
    AacFileWriter &operator=(const AacFileWriter &) = delete;

    /// Appends `frames` samples per channel. Throws `Error`.
    void write(const std::int16_t *interleaved, int frames);
    /// Encodes what is left, writes the index and closes the file. Throws `Error`.
    void finish();

    [[nodiscard]] const Format &format() const { return m_format; }

private:
    struct FormatContextClose {
        void operator()(AVFormatContext *context) const;
    };
    struct CodecContextFree {
        void operator()(AVCodecContext *context) const;
    };
    struct ResamplerFree {
        void operator()(SwrContext *context) const;
    };
    struct FifoFree {
        void operator()(AVAudioFifo *fifo) const;
    };
    struct FrameFree {
        void operator()(AVFrame *frame) const;
    };
    struct PacketFree {
        void operator()(AVPacket *packet) const;
    };

    // Throws the file's failure when `encoderFailure` is null, else that sentence (marked for
    // translation, with %1 for FFmpeg's explanation).
    [[noreturn]] void fail(const char *encoderFailure, int error) const;
    void encodeFrames(int minimum);
    void encode(AVFrame *frame);

    QString m_path;
    Format m_format;
    std::unique_ptr<AVFormatContext, FormatContextClose> m_container;
    std::unique_ptr<AVCodecContext, CodecContextFree> m_encoder;
    std::unique_ptr<SwrContext, ResamplerFree> m_resampler;
    std::unique_ptr<AVAudioFifo, FifoFree> m_fifo;
    std::unique_ptr<AVFrame, FrameFree> m_frame;
    std::unique_ptr<AVPacket, PacketFree> m_packet;
    AVStream *m_stream = nullptr;         // owned by m_container
    std::vector<float> m_planar;          // one converted chunk, channel after channel
    std::vector<std::uint8_t *> m_planes; // into m_planar, one per channel
    std::int64_t m_nextPts = 0;
    bool m_finished = false;
};
