// Audio files made at test time by Debian's ffmpeg program, and what ffmpeg
// and ffprobe, which know nothing of cardprep-copy, read back from a file:
// its samples, its stream and its tags.
#ifndef CARDPREP_TESTS_COPY_AUDIO_FIXTURE_H_
#define CARDPREP_TESTS_COPY_AUDIO_FIXTURE_H_

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

using Tags = std::vector<std::pair<std::string, std::string>>;

struct AudioShape {
  std::vector<std::string> codec;  // "-c:a", "flac"
  int rate = 44100;
  int channels = 2;                // 6: 5.1
  double seconds = 1.5;
  std::string signal = "sine";     // "sine", "silence" or "noise"
  std::vector<std::string> extra;  // more output options ("-sample_fmt", "s32")
};

// Why ffmpeg or ffprobe cannot be run; empty when both can.
std::string FfmpegMissing();

// Makes |path| (its format by its extension) as |shape| says, tagged with
// |tags|; fails the test when ffmpeg cannot.
void MakeAudio(const std::string& path, const AudioShape& shape, const Tags& tags = {});

// The samples per channel ffmpeg decodes from |path| (resampled to |rate|
// when not 0), or -1; |*errors| gets what ffmpeg said at level "error".
int64_t DecodedSamples(const std::string& path, int rate, std::string* errors);

// The tags ffprobe reads from |path|: the container's, then the audio
// stream's where the container has none (keys in lower case).
std::map<std::string, std::string> ProbeTags(const std::string& path);

struct StreamInfo {
  std::string codec;
  int rate = 0;
  int channels = 0;
};
StreamInfo ProbeStream(const std::string& path);

// The source tags every fixture carries: Japanese and accented text.
const Tags& JapaneseAndAccentedTags();

#endif  // CARDPREP_TESTS_COPY_AUDIO_FIXTURE_H_
