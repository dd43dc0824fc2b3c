#include "copy/transcode.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <lame/lame.h>
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "bytes/byte_order.h"

namespace {

constexpr int kIoBufferSize = 64 * 1024;
constexpr int kOutputRate = 44100;
// Samples handed to LAME at once, and the room its output needs for them
// (lame.h: 1.25 * samples + 7200).
constexpr int kChunk = 4608;
constexpr size_t kMp3BufferSize = kChunk * 5 / 4 + 7200;
// The largest frame LAME writes (320 kbit/s at 32 kHz, padded).
constexpr size_t kMaxLameTag = 2880;

// The last error FFmpeg said on this thread, for the message of a source it
// cannot decode.
thread_local std::string t_last_library_error;

void KeepLibraryError(void*, int level, const char* format, va_list args) {
  if (level > AV_LOG_ERROR) return;
  char line[256];
  vsnprintf(line, sizeof line, format, args);
  std::string text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '.')) text.pop_back();
  if (!text.empty()) t_last_library_error = text;
}

std::string ErrorWords(int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  std::string words(text);
  if (!words.empty()) words[0] = static_cast<char>(tolower(static_cast<unsigned char>(words[0])));
  return words;
}

// The source, read through the host layer at the position FFmpeg asks for.
struct Source {
  UniqueFd fd;
  uint64_t size = 0;
  uint64_t position = 0;
  int error = 0;  // a read that failed
  TranscodeProgress* progress = nullptr;
};

int ReadSource(void* opaque, uint8_t* buffer, int size) {
  Source* source = static_cast<Source*>(opaque);
  int error = 0;
  const size_t got =
      ReadAt(source->fd.get(), source->position, buffer, static_cast<size_t>(size), &error);
  if (got == 0) {
    if (error == 0) return AVERROR_EOF;
    source->error = error;
    return AVERROR(EIO);
  }
  source->position += got;
  if (source->progress != nullptr) {
    source->progress->source_bytes.store(std::min(source->position, source->size));
  }
  return static_cast<int>(got);
}

int64_t SeekSource(void* opaque, int64_t offset, int whence) {
  Source* source = static_cast<Source*>(opaque);
  const auto size = static_cast<int64_t>(source->size);
  int64_t to = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return size;
    case SEEK_SET: to = offset; break;
    case SEEK_CUR: to = static_cast<int64_t>(source->position) + offset; break;
    case SEEK_END: to = size + offset; break;
    default: return -1;
  }
  if (to < 0) return -1;
  source->position = static_cast<uint64_t>(to);
  return to;
}

struct IoCloser {
  void operator()(AVIOContext* io) const {
    av_freep(&io->buffer);
    avio_context_free(&io);
  }
};
struct FormatCloser {
  void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
struct DecoderCloser {
  void operator()(AVCodecContext* decoder) const { avcodec_free_context(&decoder); }
};
struct PacketCloser {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameCloser {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct ResamplerCloser {
  void operator()(SwrContext* resampler) const { swr_free(&resampler); }
};
struct EncoderCloser {
  void operator()(lame_global_flags* encoder) const { lame_close(encoder); }
};

// The value of |key| in |dictionary|, or empty.
std::string Tag(const AVDictionary* dictionary, const char* key) {
  const AVDictionaryEntry* entry = av_dict_get(dictionary, key, nullptr, 0);
  return entry != nullptr && entry->value != nullptr ? entry->value : "";
}

// The container's tags first, the audio stream's where it has none (Ogg
// and Opus keep them on the stream).
AudioTags ReadTags(const AVFormatContext* format, const AVStream* stream) {
  auto take = [&](const char* key, const char* fallback) {
    for (const AVDictionary* dictionary : {format->metadata, stream->metadata}) {
      std::string value = Tag(dictionary, key);
      if (value.empty() && fallback != nullptr) value = Tag(dictionary, fallback);
      if (!value.empty()) return value;
    }
    return std::string();
  };
  AudioTags tags;
  tags.title = take("title", nullptr);
  tags.artist = take("artist", "album_artist");
  tags.album = take("album", nullptr);
  tags.track = take("track", nullptr);
  tags.disc = take("disc", nullptr);
  return tags;
}

bool IsProtected(const AVCodecParameters* codec) {
  const uint32_t tag = codec->codec_tag;
  return tag == MKTAG('d', 'r', 'm', 's') || tag == MKTAG('d', 'r', 'm', 'i') ||
         tag == MKTAG('e', 'n', 'c', 'a');
}

// "3:07" for a number of seconds.
std::string Clock(double seconds) {
  const auto whole = static_cast<long long>(seconds + 0.5);
  char text[32];
  if (whole >= 3600) {
    snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
  } else {
    snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  }
  return text;
}

// One transcode: the decoder's side, the resampler, and LAME.
class Transcoder {
 public:
  Transcoder(const TranscodeRequest& request, OutFile* out, TranscodeResult* result)
      : request_(request), out_(out), result_(result) {}

  bool Run() {
    if (!OpenSource() || !OpenDecoder()) return false;
    WriteTag();
    if (!Decode()) return false;
    return Finish();
  }

 private:
  bool Fail(TranscodeFailure failure, std::string why) {
    result_->failure = failure;
    result_->why = std::move(why);
    return false;
  }

  // A failed write of the MP3 file, or a decoder's error.
  bool FailOutput() {
    result_->output_error = out_->error;
    return Fail(TranscodeFailure::kOutput, ErrorText(out_->error));
  }

  bool DecoderError(int error) {
    if (source_.error != 0) return Fail(TranscodeFailure::kSource, ErrorText(source_.error));
    // A file whose end is missing often ends in half a packet: its length
    // says more than the error.
    if (stream_ != nullptr && source_.position >= source_.size && !CheckLength()) return false;
    std::string why = ErrorWords(error);
    if (!t_last_library_error.empty()) why += " (" + t_last_library_error + ")";
    return Fail(TranscodeFailure::kDamaged, "it cannot be decoded: " + why);
  }

  bool OpenSource() {
    std::string why;
    source_.progress = request_.progress;
    if (!OpenRegularFile(request_.source, &source_.fd, &source_.size, &why)) {
      return Fail(TranscodeFailure::kSource, why);
    }
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
    if (buffer == nullptr) return Fail(TranscodeFailure::kSource, "out of memory");
    io_.reset(avio_alloc_context(buffer, kIoBufferSize, 0, &source_, ReadSource, nullptr,
                                 SeekSource));
    if (io_ == nullptr) {
      av_free(buffer);
      return Fail(TranscodeFailure::kSource, "out of memory");
    }
    AVFormatContext* format = avformat_alloc_context();
    if (format == nullptr) return Fail(TranscodeFailure::kSource, "out of memory");
    format->pb = io_.get();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    t_last_library_error.clear();
    // The path serves only as a hint to the format's probe.
    int error = avformat_open_input(&format, request_.source.c_str(), nullptr, nullptr);
    if (error < 0) {  // |format| is freed
      if (source_.error != 0) return Fail(TranscodeFailure::kSource, ErrorText(source_.error));
      return Fail(TranscodeFailure::kNotAudio,
                  "it is no audio file FFmpeg reads (" + ErrorWords(error) + ")");
    }
    format_.reset(format);
    error = avformat_find_stream_info(format, nullptr);
    if (error < 0) return DecoderError(error);
    return true;
  }

  // A WAV file whose data chunk runs past its end was cut short. (FFmpeg
  // takes the length from what is there, so its header is read here.)
  bool CheckWavLength() {
    if (strcmp(format_->iformat->name, "wav") != 0) return true;
    uint8_t header[4096];
    const size_t got = ReadAt(source_.fd.get(), 0, header, sizeof header);
    size_t at = 12;  // "RIFF" size "WAVE"
    while (at + 8 <= got) {
      const uint32_t size = GetLe32(header + at + 4);
      if (memcmp(header + at, "data", 4) == 0) {
        const uint64_t end = at + 8 + uint64_t{size};
        const double bytes_per_second =
            static_cast<double>(stream_->codecpar->bit_rate) / 8.0;
        if (size == 0 || size == 0xFFFFFFFF || end <= source_.size || bytes_per_second <= 0) {
          return true;
        }
        return Fail(TranscodeFailure::kCutShort,
                    "it is cut short: it ends after " +
                        Clock(static_cast<double>(source_.size - at - 8) / bytes_per_second) +
                        " of the " + Clock(size / bytes_per_second) + " its header gives");
      }
      at += 8 + size + (size & 1);
    }
    return true;
  }

  bool OpenDecoder() {
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(format_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (index == AVERROR_STREAM_NOT_FOUND) {
      return Fail(TranscodeFailure::kNotAudio, "it is no audio file FFmpeg reads (it holds no audio)");
    }
    if (index < 0 || codec == nullptr) {
      AVStream* audio = nullptr;
      for (unsigned i = 0; i < format_->nb_streams; ++i) {
        if (format_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
          audio = format_->streams[i];
          break;
        }
      }
      if (audio != nullptr && IsProtected(audio->codecpar)) {
        return Fail(TranscodeFailure::kProtected,
                    "it is copy-protected (DRM): only the program it was bought for plays it");
      }
      const char* name = audio != nullptr ? avcodec_get_name(audio->codecpar->codec_id) : "?";
      return Fail(TranscodeFailure::kNoDecoder,
                  std::string("its audio is coded as ") + name + ", which this build cannot decode");
    }
    stream_ = format_->streams[index];
    if (IsProtected(stream_->codecpar)) {
      return Fail(TranscodeFailure::kProtected,
                  "it is copy-protected (DRM): only the program it was bought for plays it");
    }
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
      if (static_cast<int>(i) != index) format_->streams[i]->discard = AVDISCARD_ALL;
    }
    decoder_.reset(avcodec_alloc_context3(codec));
    if (decoder_ == nullptr) return Fail(TranscodeFailure::kSource, "out of memory");
    int error = avcodec_parameters_to_context(decoder_.get(), stream_->codecpar);
    // The packets' time base: without it the decoder cannot trim the
    // samples the stream marks as padding at either end.
    decoder_->pkt_timebase = stream_->time_base;
    decoder_->thread_count = 1;  // the files are spread over the cores instead
    if (error >= 0) error = avcodec_open2(decoder_.get(), codec, nullptr);
    if (error < 0) return DecoderError(error);
    result_->tags = ReadTags(format_.get(), stream_);
    return CheckWavLength();
  }

  void WriteTag() {
    const std::string tag = BuildId3Tag(result_->tags, request_.origin);
    WriteBytes(out_, tag.data(), tag.size());
    tag_size_ = tag.size();
  }

  bool Decode() {
    packet_.reset(av_packet_alloc());
    frame_.reset(av_frame_alloc());
    if (packet_ == nullptr || frame_ == nullptr) {
      return Fail(TranscodeFailure::kSource, "out of memory");
    }
    for (;;) {
      if (request_.cancel != nullptr && request_.cancel->load()) {
        return Fail(TranscodeFailure::kCancelled, "stopped");
      }
      int error = av_read_frame(format_.get(), packet_.get());
      if (error == AVERROR_EOF) break;
      if (error < 0) {
        if (source_.error != 0) return Fail(TranscodeFailure::kSource, ErrorText(source_.error));
        break;  // the end of what can be read; a header's length tells a file cut short
      }
      if (packet_->stream_index != stream_->index) {
        av_packet_unref(packet_.get());
        continue;
      }
      error = avcodec_send_packet(decoder_.get(), packet_.get());
      av_packet_unref(packet_.get());
      if (error < 0 && error != AVERROR(EAGAIN)) return DecoderError(error);
      if (!Drain()) return false;
    }
    const int error = avcodec_send_packet(decoder_.get(), nullptr);
    if (error < 0 && error != AVERROR_EOF) return DecoderError(error);
    return Drain();
  }

  // Takes every frame the decoder has ready.
  bool Drain() {
    for (;;) {
      const int error = avcodec_receive_frame(decoder_.get(), frame_.get());
      if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) return true;
      if (error < 0) return DecoderError(error);
      const bool took = Take(frame_.get());
      av_frame_unref(frame_.get());
      if (!took) return false;
    }
  }

  // Readies the resampler (and, for the first frame, LAME) for frames like
  // |frame|.
  bool Prepare(const AVFrame* frame) {
    AVChannelLayout in_layout;
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels == 0) {
      av_channel_layout_default(&in_layout, std::max(frame->ch_layout.nb_channels, 1));
    } else if (av_channel_layout_copy(&in_layout, &frame->ch_layout) < 0) {
      return Fail(TranscodeFailure::kSource, "out of memory");
    }
    if (encoder_ == nullptr) {
      result_->source_rate = frame->sample_rate;
      result_->source_channels = in_layout.nb_channels;
      const int rate = frame->sample_rate;
      rate_ = rate == 32000 || rate == 44100 || rate == 48000 ? rate : kOutputRate;
      channels_ = std::min(in_layout.nb_channels, 2);
      if (!StartEncoder()) {
        av_channel_layout_uninit(&in_layout);
        return false;
      }
    }
    AVChannelLayout out_layout;
    av_channel_layout_default(&out_layout, channels_);
    SwrContext* resampler = nullptr;
    int error = swr_alloc_set_opts2(&resampler, &out_layout, AV_SAMPLE_FMT_FLTP, rate_, &in_layout,
                                    static_cast<AVSampleFormat>(frame->format), frame->sample_rate,
                                    0, nullptr);
    av_channel_layout_uninit(&in_layout);
    av_channel_layout_uninit(&out_layout);
    if (error >= 0) error = swr_init(resampler);
    resampler_.reset(resampler);
    if (error < 0) return DecoderError(error);
    in_rate_ = frame->sample_rate;
    in_format_ = frame->format;
    in_channels_ = frame->ch_layout.nb_channels;
    return true;
  }

  bool StartEncoder() {
    encoder_.reset(lame_init());
    if (encoder_ == nullptr) return Fail(TranscodeFailure::kEncoder, "LAME cannot start");
    lame_global_flags* lame = encoder_.get();
    lame_set_num_channels(lame, channels_);
    lame_set_in_samplerate(lame, rate_);
    lame_set_out_samplerate(lame, rate_);
    lame_set_mode(lame, channels_ == 1 ? MONO : JOINT_STEREO);
    lame_set_VBR(lame, vbr_default);
    lame_set_VBR_q(lame, request_.quality);
    lame_set_bWriteVbrTag(lame, 1);
    lame_set_write_id3tag_automatic(lame, 0);
    if (lame_init_params(lame) < 0) {
      return Fail(TranscodeFailure::kEncoder,
                  "LAME takes no " + std::to_string(rate_) + " Hz, " + std::to_string(channels_) +
                      "-channel sound");
    }
    mp3_.resize(kMp3BufferSize);
    return true;
  }

  bool Take(const AVFrame* frame) {
    if (frame->nb_samples <= 0) return true;
    if (resampler_ == nullptr || frame->sample_rate != in_rate_ || frame->format != in_format_ ||
        frame->ch_layout.nb_channels != in_channels_) {
      // A stream whose form changes midway (chained Ogg streams): what the
      // old resampler holds goes out first.
      if (resampler_ != nullptr && !Resample(nullptr, 0)) return false;
      if (!Prepare(frame)) return false;
    }
    result_->source_samples += static_cast<uint64_t>(frame->nb_samples);
    return Resample(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
  }

  // Resamples |count| samples (none: what the resampler still holds) and
  // encodes them.
  bool Resample(const uint8_t** planes, int count) {
    for (;;) {
      const int room = swr_get_out_samples(resampler_.get(), count);
      if (room < 0) return DecoderError(room);
      if (room == 0) return true;
      for (auto& plane : pcm_) {
        if (plane.size() < static_cast<size_t>(room)) plane.resize(static_cast<size_t>(room));
      }
      uint8_t* out[2] = {reinterpret_cast<uint8_t*>(pcm_[0].data()),
                         reinterpret_cast<uint8_t*>(pcm_[1].data())};
      const int got = swr_convert(resampler_.get(), out, room, planes, count);
      if (got < 0) return DecoderError(got);
      if (!Encode(got)) return false;
      // With input, one call takes it all; without, it is called until the
      // resampler is empty.
      if (planes != nullptr || got == 0) return true;
    }
  }

  bool Encode(int count) {
    for (int done = 0; done < count;) {
      const int n = std::min(kChunk, count - done);
      const float* left = pcm_[0].data() + done;
      const float* right = channels_ == 2 ? pcm_[1].data() + done : left;
      const int bytes = lame_encode_buffer_ieee_float(encoder_.get(), left, right, n, mp3_.data(),
                                                      static_cast<int>(mp3_.size()));
      if (bytes < 0) return Fail(TranscodeFailure::kEncoder, "LAME failed (" + std::to_string(bytes) + ")");
      WriteBytes(out_, mp3_.data(), static_cast<size_t>(bytes));
      if (out_->failed) return FailOutput();
      done += n;
      samples_ += static_cast<uint64_t>(n);
    }
    if (request_.progress != nullptr) {
      request_.progress->audio_ms.store(samples_ * 1000 / static_cast<uint64_t>(rate_));
    }
    return true;
  }

  bool Finish() {
    if (encoder_ == nullptr || result_->source_samples == 0) {
      return Fail(TranscodeFailure::kEmpty, "it holds no sound (0 seconds)");
    }
    if (!Resample(nullptr, 0)) return false;
    const int bytes = lame_encode_flush(encoder_.get(), mp3_.data(), static_cast<int>(mp3_.size()));
    if (bytes < 0) return Fail(TranscodeFailure::kEncoder, "LAME failed (" + std::to_string(bytes) + ")");
    WriteBytes(out_, mp3_.data(), static_cast<size_t>(bytes));
    uint8_t lame_tag[kMaxLameTag];
    const size_t tag = lame_get_lametag_frame(encoder_.get(), lame_tag, sizeof lame_tag);
    if (tag > 0 && tag <= sizeof lame_tag) RewriteAt(out_, tag_size_, lame_tag, tag);
    if (out_->failed) return FailOutput();
    result_->rate = rate_;
    result_->channels = channels_;
    result_->samples = samples_;
    return CheckLength();
  }

  // A file whose header gives a length (FLAC, WAV, MP4) and that ends well
  // before it was cut short: its end is missing.
  bool CheckLength() {
    if (stream_->duration == AV_NOPTS_VALUE || stream_->duration <= 0 ||
        format_->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) {
      return true;
    }
    const double expected = static_cast<double>(stream_->duration) * av_q2d(stream_->time_base);
    const double decoded = result_->source_rate > 0 ? static_cast<double>(result_->source_samples) /
                                                          static_cast<double>(result_->source_rate)
                                                    : 0;
    if (decoded + std::max(0.5, expected / 100) >= expected) return true;
    return Fail(TranscodeFailure::kCutShort, "it is cut short: it ends after " + Clock(decoded) +
                                                 " of the " + Clock(expected) +
                                                 " its header gives");
  }

  const TranscodeRequest& request_;
  OutFile* out_;
  TranscodeResult* result_;
  Source source_;
  std::unique_ptr<AVIOContext, IoCloser> io_;
  std::unique_ptr<AVFormatContext, FormatCloser> format_;
  AVStream* stream_ = nullptr;
  std::unique_ptr<AVCodecContext, DecoderCloser> decoder_;
  std::unique_ptr<AVPacket, PacketCloser> packet_;
  std::unique_ptr<AVFrame, FrameCloser> frame_;
  std::unique_ptr<SwrContext, ResamplerCloser> resampler_;
  std::unique_ptr<lame_global_flags, EncoderCloser> encoder_;
  int in_rate_ = 0, in_format_ = -1, in_channels_ = 0;
  int rate_ = 0, channels_ = 0;
  std::vector<float> pcm_[2];
  std::vector<uint8_t> mp3_;
  size_t tag_size_ = 0;
  uint64_t samples_ = 0;
};

}  // namespace

void PrepareTranscoding() { av_log_set_callback(KeepLibraryError); }

bool TranscodeToMp3(const TranscodeRequest& request, OutFile* out, TranscodeResult* result) {
  *result = TranscodeResult();
  t_last_library_error.clear();
  Transcoder transcoder(request, out, result);
  return transcoder.Run();
}
