#include "e2e_util.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "font/font_test_util.h"
#include "test_util.h"

namespace {

std::string TestDataPath(const std::string& name) {
  return std::string(CARDPREP_TEST_DATA_DIR) + "/" + name;
}

// Runs |argv| with standard output and error captured, |env| ("NAME=value")
// added to its environment.
RunResult Run(const std::vector<std::string>& argv, bool drop_root,
              const std::vector<std::string>& env = {}) {
  RunResult result;
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    close(out_pipe[0]);
    close(err_pipe[0]);
    if (drop_root && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(126);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_pipes = 2;
  while (open_pipes > 0) {
    if (poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buffer[65536];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, size_t(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

// lame's input: a tenth of a second of silence, 16-bit mono samples at
// 44.1 kHz, raw.
const std::vector<std::string> kLameSilence = {
    "lame", "--silent", "-r", "-s", "44.1", "--bitwidth", "16", "-m", "m"};

const std::vector<uint8_t>& SilentMp3Bytes() {
  static const std::vector<uint8_t> bytes = [] {
    ScopedTempDir scratch;
    WriteBytes("silence.raw", std::vector<uint8_t>(4410 * 2, 0));
    std::vector<std::string> lame = kLameSilence;
    lame.insert(lame.end(), {"silence.raw", "silence.mp3"});
    EXPECT_EQ(RunProgram(lame), 0);
    return ReadBytes("silence.mp3");
  }();
  return bytes;
}

// The card's fonts, built by cardprep-font in a folder of their own.
struct UnifontFonts {
  UnifontFonts() {
    const RunResult r = Run({CARDPREP_FONT_BINARY, "--card", folder.path(),
                             "/usr/share/unifont/unifont_jp.hex"}, false);
    if (r.status != 0) why = "cardprep-font cannot build the card's fonts: " + r.err;
  }
  ScopedTempDir folder{/*enter=*/false};
  std::string why;
};

}  // namespace

RunResult RunCardprep(const std::vector<std::string>& args, bool drop_root) {
  std::vector<std::string> argv = {CARDPREP_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return Run(argv, drop_root);
}

RunResult RunView(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {CARDPREP_VIEW_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return Run(argv, false);
}

bool PutUnifontFonts(const std::string& card) {
  static const UnifontFonts fonts;
  EXPECT_EQ(fonts.why, "") << "scripts/install-deps installs GNU Unifont";
  std::error_code ec;
  std::filesystem::create_directories(card + "/_FONT");
  for (const char* name : {"RIZOZ16I.DAZ", "MYRCH16B.FNT"}) {
    std::filesystem::copy_file(fonts.folder.path() + "/_FONT/" + name, card + "/_FONT/" + name,
                               std::filesystem::copy_options::overwrite_existing, ec);
    EXPECT_FALSE(ec) << name << ": " << ec.message();
  }
  return fonts.why.empty() && !ec;
}

RunResult RunOnTerminal(const std::vector<std::string>& argv, bool stdout_too) {
  RunResult result;
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid < 0) return result;
  if (pid == 0) {
    if (!stdout_too) dup2(open("/dev/null", O_WRONLY), 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  char buffer[4096];
  for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) result.out.append(buffer, size_t(n));
  close(terminal);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::string HexGlyph(const char* code, const char* row) {
  std::string line = std::string(code) + ":";
  for (int r = 0; r < 16; ++r) line += row;
  return line + "\n";
}

void MakeFontsFromHex(const std::string& hex) {
  const ScopedTempDir scratch(/*enter=*/false);
  WriteText(scratch.path() + "/fonts.hex", hex);
  RunProgram({CARDPREP_FONT_BINARY, "--card=.", scratch.path() + "/fonts.hex"});
}

std::vector<std::string> InMountNamespace(std::string* why) {
  std::vector<std::string> unshare = {"unshare", "-m"};
  if (geteuid() != 0) unshare.insert(unshare.begin() + 1, "-r");
  std::vector<std::string> probe = unshare;
  probe.push_back("true");
  const RunResult r = Run(probe, false);
  if (r.status == 0) return unshare;
  *why = "cannot make a mount namespace: " + r.err;
  return {};
}

int RunProgramQuietly(const std::vector<std::string>& argv) { return Run(argv, false).status; }

RunResult RunCommand(const std::vector<std::string>& argv) { return Run(argv, false); }

RunResult RunWithEnv(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  return Run(argv, false, env);
}

int RunProgram(const std::vector<std::string>& argv) {
  RunResult r = Run(argv, false);
  if (r.status != 0) ADD_FAILURE() << argv[0] << " failed: " << r.err;
  return r.status;
}

void WriteSilentMp3(const std::string& path) {
  const std::vector<uint8_t>& bytes = SilentMp3Bytes();
  ASSERT_FALSE(bytes.empty());
  WriteBytes(path, bytes);
}

void TagWithMutagen(const std::string& path, int version, const std::string& encoding,
                    const std::vector<std::string>& titles) {
  std::vector<std::string> argv = {"/usr/bin/python3", TestDataPath("tag_mp3.py"), path,
                                   std::to_string(version), encoding};
  argv.insert(argv.end(), titles.begin(), titles.end());
  RunProgram(argv);
}

void LameWithTitle(const std::string& path, const std::string& title) {
  const std::string target = std::filesystem::absolute(path).string();
  ScopedTempDir scratch;
  WriteBytes("silence.raw", std::vector<uint8_t>(4410 * 2, 0));
  std::vector<std::string> lame = kLameSilence;
  lame.insert(lame.end(), {"--tt", title, "silence.raw", target});
  RunProgram(lame);
}

void Id3v1Title(const std::string& path, const std::string& title) {
  RunProgram({"id3v2", "-1", "-t", title, path});
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t offset, size_t size) {
  if (offset >= bytes.size()) return {};
  return std::vector<uint8_t>(bytes.begin() + long(offset),
                              bytes.begin() + long(std::min(bytes.size(), offset + size)));
}

bool LineMatchesFonts(const uint8_t* upper, const uint8_t* lower, size_t columns,
                      const std::string& sjis, const std::vector<uint8_t>& zenkaku,
                      const std::vector<uint8_t>& hankaku, std::string* why) {
  size_t x = 0;
  for (size_t i = 0; i < sjis.size() && x < columns;) {
    const auto b = uint8_t(sjis[i]);
    const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    const uint16_t code = lead ? uint16_t(b << 8 | uint8_t(sjis[i + 1])) : uint16_t(b);
    const int width = lead ? 16 : 8;
    for (int gx = 0; gx < width && x < columns; ++gx, ++x) {
      for (int y = 0; y < 16; ++y) {
        const bool want = FilePixel(lead ? zenkaku : hankaku, code, gx, y);
        if (PagePixel(upper, lower, int(x), y) != want) {
          *why = "column " + std::to_string(x) + " row " + std::to_string(y) + " of byte " +
                 std::to_string(i);
          return false;
        }
      }
    }
    i += lead ? 2 : 1;
  }
  if (x != columns) {
    *why = "the text fills " + std::to_string(x) + " of " + std::to_string(columns) + " columns";
    return false;
  }
  return true;
}
