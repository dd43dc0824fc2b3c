// Runs a fuzz target over saved inputs: every file named, and every file in
// every folder named. CTest runs each target over its corpus this way, so
// every case ever saved is checked on every build.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int Replay(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
  LLVMFuzzerTestOneInput(data.data(), data.size());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Targets may change the working folder: take every path whole first.
  std::vector<std::filesystem::path> paths;
  for (int i = 1; i < argc; ++i) paths.push_back(std::filesystem::absolute(argv[i]));
  int replayed = 0;
  for (const auto& path : paths) {
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) replayed += Replay(entry.path());
      }
    } else {
      replayed += Replay(path);
    }
  }
  fprintf(stderr, "replayed %d inputs\n", replayed);
  return replayed > 0 ? 0 : 1;
}
