// The transcoder on files made by Debian's ffmpeg program at test time, its
// MP3 files read back by ffmpeg and ffprobe: every format the copy decodes,
// tagged in Japanese and accented text, comes out as an MP3 file that
// decodes without an error, holds the source's samples to the one, and
// carries its tags; and every kind of bad source is refused with its reason.
#include "copy/transcode.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "copy/audio_fixture.h"
#include "test_util.h"

namespace {

class TranscodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = FfmpegMissing();
    if (!missing.empty()) GTEST_SKIP() << missing;
    PrepareTranscoding();
  }

  // Transcodes |source| into "out.mp3".
  bool Transcode(const std::string& source, TranscodeResult* result, int quality = 2) {
    OutFile out;
    std::string why;
    EXPECT_TRUE(OpenWrite("out.mp3", "out.mp3", &out, &why)) << why;
    TranscodeRequest request;
    request.source = source;
    request.shown = source;
    request.quality = quality;
    request.origin = "origin bytes";
    request.progress = &progress_;
    const bool ok = TranscodeToMp3(request, &out, result);
    EXPECT_TRUE(CloseChecked(&out));
    return ok;
  }

  // Whether "out.mp3" decodes without an error into |samples| samples.
  void ExpectDecodes(int64_t samples) {
    std::string errors;
    EXPECT_EQ(DecodedSamples("out.mp3", 0, &errors), samples);
    EXPECT_EQ(errors, "") << "ffmpeg found errors in the MP3 file";
  }

  ScopedTempDir dir_;
  TranscodeProgress progress_;
};

struct Format {
  const char* name;
  const char* file;
  std::vector<std::string> codec;
  int rate;
  std::vector<std::string> extra;
};

const Format kFormats[] = {
    {"FLAC", "song.flac", {"-c:a", "flac"}, 44100, {}},
    {"AAC in .m4a", "aac.m4a", {"-c:a", "aac"}, 44100, {}},
    {"ALAC in .m4a", "alac.m4a", {"-c:a", "alac"}, 44100, {}},
    {"Ogg Vorbis", "song.ogg", {"-c:a", "libvorbis"}, 44100, {}},
    {"Opus", "song.opus", {"-c:a", "libopus"}, 48000, {}},
    {"WMA", "song.wma", {"-c:a", "wmav2"}, 44100, {}},
    {"WAV (RIFF INFO and an ID3 chunk)", "song.wav", {"-c:a", "pcm_s16le"}, 44100,
     {"-write_id3v2", "1"}},
};

// Each format decodes to the source's samples to the one, at its rate
// (44.1 kHz, or Opus's 48 kHz), and carries its title, artist, album, track
// and disc, read by ffprobe from both files.
TEST_F(TranscodeTest, EveryFormatKeepsItsLengthAndTags) {
  for (const Format& format : kFormats) {
    SCOPED_TRACE(format.name);
    AudioShape shape;
    shape.codec = format.codec;
    shape.rate = format.rate;
    shape.seconds = 2.37;
    shape.extra = format.extra;
    MakeAudio(format.file, shape, JapaneseAndAccentedTags());
    std::string errors;
    const int64_t source_samples = DecodedSamples(format.file, 0, &errors);
    ASSERT_GT(source_samples, 0) << errors;

    TranscodeResult result;
    ASSERT_TRUE(Transcode(format.file, &result)) << result.why;
    ExpectDecodes(source_samples);
    EXPECT_EQ(result.samples, static_cast<uint64_t>(source_samples));
    const StreamInfo stream = ProbeStream("out.mp3");
    EXPECT_EQ(stream.codec, "mp3");
    EXPECT_EQ(stream.rate, format.rate);
    EXPECT_EQ(stream.channels, 2);

    const auto source_tags = ProbeTags(format.file);
    const auto tags = ProbeTags("out.mp3");
    for (const char* key : {"title", "artist", "album", "track", "disc"}) {
      SCOPED_TRACE(key);
      const auto source = source_tags.find(key);
      if (source == source_tags.end()) {
        // WAV's own chunk has no disc; every format has the rest.
        EXPECT_STREQ(key, "disc");
        continue;
      }
      const auto it = tags.find(key);
      ASSERT_NE(it, tags.end());
      EXPECT_EQ(it->second, source->second);
    }
    EXPECT_EQ(tags.at("title"), "夜明けのスキャット — Café crème");
  }
}

// What is not at 32, 44.1 or 48 kHz is resampled to 44.1 kHz, more than two
// channels are mixed down to two, and one stays one; each holds the samples
// ffmpeg's own resampling gives.
TEST_F(TranscodeTest, ResamplesAndMixesDown) {
  struct Case {
    const char* name;
    AudioShape shape;
    int rate, channels;
  };
  AudioShape hi_res{{"-c:a", "flac", "-sample_fmt", "s32"}, 96000, 2, 1.3, "noise", {}};
  AudioShape surround{{"-c:a", "flac"}, 48000, 6, 1.3, "sine", {}};
  AudioShape mono_8k{{"-c:a", "pcm_s16le"}, 8000, 1, 1.3, "sine", {}};
  AudioShape at_32k{{"-c:a", "flac"}, 32000, 2, 1.3, "sine", {}};
  const Case cases[] = {
      {"96 kHz, 24 bits", hi_res, 44100, 2},
      {"5.1 at 48 kHz", surround, 48000, 2},
      {"mono at 8 kHz", mono_8k, 44100, 1},
      {"32 kHz", at_32k, 32000, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = c.shape.codec[1] == "flac" ? "in.flac" : "in.wav";
    MakeAudio(file, c.shape);
    ASSERT_EQ(ProbeStream(file).channels, c.shape.channels);
    std::string errors;
    const int64_t expected = DecodedSamples(file, c.rate, &errors);
    TranscodeResult result;
    ASSERT_TRUE(Transcode(file, &result)) << result.why;
    const StreamInfo stream = ProbeStream("out.mp3");
    EXPECT_EQ(stream.rate, c.rate);
    EXPECT_EQ(stream.channels, c.channels);
    EXPECT_EQ(result.source_rate, c.shape.rate);
    EXPECT_EQ(result.source_channels, c.shape.channels);
    ExpectDecodes(expected);
  }
}

// A six-hour recording is encoded whole: its sample count (691,200,000 at
// 32 kHz) is the LAME header's and the decoder's.
TEST_F(TranscodeTest, SixHoursKeepTheirLength) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "encoding six hours takes minutes under AddressSanitizer, more than a test "
                  "may; the build without it encodes them";
#endif
  AudioShape shape{{"-c:a", "flac"}, 32000, 1, 6 * 3600, "silence", {}};
  MakeAudio("six.flac", shape, {{"title", "Six hours"}});
  TranscodeResult result;
  ASSERT_TRUE(Transcode("six.flac", &result, /*quality=*/9)) << result.why;
  EXPECT_EQ(result.samples, 6ull * 3600 * 32000);
  ExpectDecodes(6ll * 3600 * 32000);
  EXPECT_EQ(progress_.audio_ms.load(), 6ull * 3600 * 1000);
}

// Every kind of source that cannot be copied is refused, with its reason.
TEST_F(TranscodeTest, RefusesWhatCannotBeCopied) {
  AudioShape flac{{"-c:a", "flac"}, 44100, 2, 4, "noise", {}};
  MakeAudio("whole.flac", flac);
  std::vector<uint8_t> bytes = ReadBytes("whole.flac");
  WriteBytes("half.flac", std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2));
  AudioShape wav{{"-c:a", "pcm_s16le"}, 44100, 2, 4, "sine", {}};
  MakeAudio("whole.wav", wav);
  bytes = ReadBytes("whole.wav");
  WriteBytes("half.wav", std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2));
  WriteText("notes.flac", "These are no sounds, only words about them.\n");
  AudioShape empty{{"-c:a", "flac"}, 44100, 2, 0, "sine", {}};
  MakeAudio("empty.flac", empty);
  // An iTunes Store purchase of before 2009: AAC in MP4, its sample entry
  // "drms" (FairPlay) instead of "mp4a".
  AudioShape aac{{"-c:a", "aac"}, 44100, 2, 1, "sine", {}};
  MakeAudio("clear.m4a", aac);
  std::string m4a(reinterpret_cast<const char*>(ReadBytes("clear.m4a").data()),
                  ReadBytes("clear.m4a").size());
  const size_t entry = m4a.find("mp4a");
  ASSERT_NE(entry, std::string::npos);
  m4a.replace(entry, 4, "drms");
  WriteText("bought.m4p", m4a);

  struct Case {
    const char* file;
    TranscodeFailure failure;
    const char* said;
  };
  const Case cases[] = {
      {"half.flac", TranscodeFailure::kCutShort, "cut short: it ends after 0:02 of the 0:04"},
      {"half.wav", TranscodeFailure::kCutShort, "cut short: it ends after 0:02 of the 0:04"},
      {"notes.flac", TranscodeFailure::kNotAudio, "no audio file"},
      {"empty.flac", TranscodeFailure::kEmpty, "no sound (0 seconds)"},
      {"bought.m4p", TranscodeFailure::kProtected, "copy-protected (DRM)"},
      {"missing.flac", TranscodeFailure::kSource, "No such file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TranscodeResult result;
    EXPECT_FALSE(Transcode(c.file, &result));
    EXPECT_EQ(result.failure, c.failure);
    EXPECT_NE(result.why.find(c.said), std::string::npos) << result.why;
  }
}

// A full card stops the encoder at its first failed write, with the
// system's error; a cancelled one stops at its next step.
TEST_F(TranscodeTest, StopsAtAFullCardAndWhenCancelled) {
  AudioShape shape{{"-c:a", "flac"}, 44100, 2, 3, "noise", {}};
  MakeAudio("song.flac", shape);
  TranscodeRequest request;
  request.source = "song.flac";
  OutFile full;
  std::string why;
  ASSERT_TRUE(OpenWrite("/dev/full", "/dev/full", &full, &why)) << why;
  full.quiet_failure = true;
  TranscodeResult result;
  EXPECT_FALSE(TranscodeToMp3(request, &full, &result));
  EXPECT_EQ(result.failure, TranscodeFailure::kOutput);
  EXPECT_EQ(result.output_error, ENOSPC);
  EXPECT_TRUE(IsNoSpaceError(result.output_error));

  std::atomic<bool> cancel{true};
  request.cancel = &cancel;
  OutFile out;
  ASSERT_TRUE(OpenWrite("out.mp3", "out.mp3", &out, &why)) << why;
  EXPECT_FALSE(TranscodeToMp3(request, &out, &result));
  EXPECT_EQ(result.failure, TranscodeFailure::kCancelled);
}

}  // namespace
