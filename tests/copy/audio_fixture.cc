#include "copy/audio_fixture.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>

#include "card_test.h"
#include "e2e_util.h"

namespace {

std::string Number(double value) {
  char text[32];
  snprintf(text, sizeof text, "%g", value);
  return text;
}

// The value of a line of ffprobe's "flat" output, its quotes taken off and
// its escapes undone.
std::string Unquoted(const std::string& quoted) {
  std::string value;
  for (size_t i = 1; i + 1 < quoted.size(); ++i) {
    if (quoted[i] == '\\' && i + 2 < quoted.size()) {
      const char c = quoted[++i];
      value.push_back(c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c);
    } else {
      value.push_back(quoted[i]);
    }
  }
  return value;
}

}  // namespace

std::string FfmpegMissing() {
  for (const char* program : {"ffmpeg", "ffprobe"}) {
    if (RunCommand({program, "-version"}).status != 0) {
      return std::string(program) + " cannot be run: scripts/install-deps installs Debian's ffmpeg";
    }
  }
  return "";
}

void MakeAudio(const std::string& path, const AudioShape& shape, const Tags& tags) {
  std::string source;
  if (shape.signal == "silence") {
    source = "anullsrc=r=" + std::to_string(shape.rate) + ":cl=mono";
  } else if (shape.signal == "noise") {
    source = "anoisesrc=c=pink:a=0.3:r=" + std::to_string(shape.rate);
  } else {
    source = "sine=frequency=440:sample_rate=" + std::to_string(shape.rate);
  }
  std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", source,
                                   "-t", Number(shape.seconds), "-ac",
                                   std::to_string(shape.channels), "-ar", std::to_string(shape.rate)};
  if (shape.channels == 6) argv.insert(argv.end(), {"-channel_layout", "5.1"});
  argv.insert(argv.end(), shape.codec.begin(), shape.codec.end());
  argv.insert(argv.end(), shape.extra.begin(), shape.extra.end());
  for (const auto& [key, value] : tags) argv.insert(argv.end(), {"-metadata", key + "=" + value});
  argv.push_back(path);
  const RunResult made = RunCommand(argv);
  ASSERT_EQ(made.status, 0) << "ffmpeg cannot make " << path << ": " << made.err;
}

int64_t DecodedSamples(const std::string& path, int rate, std::string* errors) {
  // Down-mixed to one channel and counted by wc: a six-hour file never has
  // to fit in memory.
  std::string command = "ffmpeg -v error -i \"$1\" -ac 1 ";
  if (rate > 0) command += "-ar " + std::to_string(rate) + " ";
  command += "-f s16le - | wc -c";
  const RunResult r = RunCommand({"sh", "-c", command, "sh", path});
  *errors = r.err;
  if (r.status != 0) return -1;
  return std::atoll(r.out.c_str()) / 2;
}

std::map<std::string, std::string> ProbeTags(const std::string& path) {
  const RunResult r = RunCommand({"ffprobe", "-v", "error", "-select_streams", "a:0",
                                  "-show_entries", "format_tags:stream_tags", "-of", "flat",
                                  path});
  std::map<std::string, std::string> container, stream;
  for (const std::string& line : Lines(r.out, "\n")) {
    const size_t tags = line.find(".tags.");
    const size_t equals = line.find('=');
    if (tags == std::string::npos || equals == std::string::npos || equals < tags) continue;
    std::string key = line.substr(tags + 6, equals - tags - 6);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    (line.rfind("format.", 0) == 0 ? container : stream)[key] = Unquoted(line.substr(equals + 1));
  }
  for (const auto& [key, value] : stream) container.emplace(key, value);
  return container;
}

StreamInfo ProbeStream(const std::string& path) {
  const RunResult r = RunCommand({"ffprobe", "-v", "error", "-select_streams", "a:0",
                                  "-show_entries", "stream=codec_name,sample_rate,channels",
                                  "-of", "flat", path});
  StreamInfo info;
  for (const std::string& line : Lines(r.out, "\n")) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals), value = Unquoted(line.substr(equals + 1));
    if (key.find(".codec_name") != std::string::npos) info.codec = value;
    if (key.find(".sample_rate") != std::string::npos) info.rate = std::atoi(value.c_str());
    if (key.find(".channels") != std::string::npos) {
      info.channels = std::atoi(line.substr(equals + 1).c_str());
    }
  }
  return info;
}

const Tags& JapaneseAndAccentedTags() {
  static const Tags tags = {{"title", "夜明けのスキャット — Café crème"},
                            {"artist", "由紀さおり & Beyoncé"},
                            {"album", "Ça ira, l'été"},
                            {"track", "3/12"},
                            {"disc", "1/2"}};
  return tags;
}
