#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "host/platform.h"

namespace fs = std::filesystem;

ScopedTempDir::ScopedTempDir(bool enter) {
#if CARDPREP_WINDOWS
  std::error_code ec;
  const fs::path tmp = fs::temp_directory_path(ec);
  std::random_device random;
  for (int tries = 0; tries < 100 && path_.empty(); ++tries) {
    const fs::path candidate = tmp / ("cardprep-test-" + std::to_string(random()));
    if (fs::create_directory(candidate, ec)) path_ = candidate.string();
  }
  if (path_.empty()) ADD_FAILURE() << "cannot make a folder in " << tmp.string();
#else
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/cardprep-test-XXXXXX";
  char* made = mkdtemp(pattern.data());
  if (made == nullptr) ADD_FAILURE() << "mkdtemp failed";
  path_ = pattern;
#endif
  if (!enter) return;
  previous_cwd_ = fs::current_path().string();
  fs::current_path(path_);
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ec;
  if (!previous_cwd_.empty()) fs::current_path(previous_cwd_, ec);
  // Tests make folders unreadable; give them back before removing.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

std::string SharedPath(const std::string& name) {
  return fs::path(std::string(CARDPREP_SHARED_DIR) + "/" + name).lexically_normal().string();
}

std::string SharedFile(const std::string& name) {
  const std::string path = SharedPath(name);
  return fs::exists(path) ? fs::canonical(path).string() : std::string();
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

void MakeDirs(const std::string& path) { fs::create_directories(path); }

std::vector<uint8_t> FontxHeader(uint8_t width, uint8_t height, uint8_t code_type) {
  std::vector<uint8_t> bytes = {'F', 'O', 'N', 'T', 'X', '2',    // signature
                                'T', 'E', 'S', 'T', 'F', 'O', 'N', 'T'};  // name
  bytes.push_back(width);
  bytes.push_back(height);
  bytes.push_back(code_type);
  return bytes;
}

std::vector<uint8_t> DoubleByteFontx(uint8_t width, uint8_t height,
                                     const std::vector<FontxBlock>& blocks) {
  std::vector<uint8_t> bytes = FontxHeader(width, height, 1);
  bytes.push_back(static_cast<uint8_t>(blocks.size()));
  size_t glyphs = 0;
  for (const FontxBlock& b : blocks) {
    bytes.insert(bytes.end(), {uint8_t(b.first), uint8_t(b.first >> 8),
                               uint8_t(b.last), uint8_t(b.last >> 8)});
    if (b.last >= b.first) glyphs += size_t(b.last - b.first) + 1;
  }
  const size_t glyph_size = size_t((width + 7) / 8) * height;
  for (size_t g = 0; g < glyphs; ++g) {
    bytes.insert(bytes.end(), glyph_size, uint8_t(g + 1));
  }
  return bytes;
}
