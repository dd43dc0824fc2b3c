// Turning one audio file into an MP3 file the player plays: decoded with
// FFmpeg's libraries, down-mixed to stereo at most, resampled to 44.1 kHz
// unless it is at 32, 44.1 or 48 kHz, and encoded by LAME with its own
// header (the "LAME tag") rewritten once the end is known, so that the
// length a decoder takes from it is the source's to the sample. The only
// unit that calls either library; everything else of the copy is tested
// without them.
//
// The source is read through the host layer (a regular file only, read at
// offsets), and the MP3 file is written to an output of the host layer:
// first its ID3v2.3 tag, then the frames, then the LAME tag in place of the
// first frame.
#ifndef CARDPREP_COPY_TRANSCODE_H_
#define CARDPREP_COPY_TRANSCODE_H_

#include <atomic>
#include <cstdint>
#include <string>

#include "copy/id3_tag.h"
#include "host/file.h"

// LAME's variable bit rate quality: 0 the best, 9 the smallest; 2 (about
// 190 kbit/s) by default.
constexpr int kDefaultQuality = 2;

// What a transcode reports while it runs, read by another thread.
struct TranscodeProgress {
  std::atomic<uint64_t> source_bytes{0};  // of the source read so far
  std::atomic<uint64_t> audio_ms{0};      // of audio encoded so far
};

enum class TranscodeFailure {
  kNone,
  kSource,     // the source cannot be opened or read
  kNotAudio,   // no audio FFmpeg reads: not an audio file, or a damaged one
  kProtected,  // encrypted (DRM): only the program it was bought for plays it
  kNoDecoder,  // audio in a coding this build does not decode
  kDamaged,    // a decoder error: part of the sound is unreadable
  kCutShort,   // it ends before the length its header gives
  kEmpty,      // it holds no sound
  kOutput,     // the MP3 file could not be written (|output_error|)
  kCancelled,  // stopped on request
  kEncoder,    // LAME refused the settings or failed
};

struct TranscodeResult {
  TranscodeFailure failure = TranscodeFailure::kNone;
  std::string why;       // said after the source's name
  int output_error = 0;  // the system's error, for kOutput
  AudioTags tags;        // the source's, container and stream merged
  int source_rate = 0, source_channels = 0;
  int rate = 0, channels = 0;  // of the MP3
  uint64_t samples = 0;        // per channel, in the MP3 (its LAME tag's count)
  uint64_t source_samples = 0; // per channel, as decoded
};

struct TranscodeRequest {
  std::string source;      // host path of the source
  std::string shown;       // the source as messages name it
  int quality = kDefaultQuality;
  // The frame of the card's own that says where the file was copied from
  // (id3_tag.h), written into its tag.
  std::string origin;
  TranscodeProgress* progress = nullptr;        // may be null
  const std::atomic<bool>* cancel = nullptr;    // may be null
};

// Decodes |request.source| and writes it as MP3 into |out| (opened, not
// finished). On failure |*result| says why; what was written to |out| is
// then to be discarded. Thread-safe: each call has its own decoder and
// encoder.
bool TranscodeToMp3(const TranscodeRequest& request, OutFile* out, TranscodeResult* result);

// Makes the libraries keep what they would print, for the messages of the
// sources they cannot decode. Called once, from main.
void PrepareTranscoding();

#endif  // CARDPREP_COPY_TRANSCODE_H_
