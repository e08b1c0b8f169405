// Feeds every file of a corpus folder (or single files) through a fuzz target's entry
// function, so the seed inputs and every crash input kept in the corpus run in ordinary
// builds and in CI. An input that breaks an invariant aborts the program.
//
//   knn_fuzz_replay TARGET PATH...
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_entries.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> InputsUnder(const fs::path& path) {
  std::vector<fs::path> inputs;
  if (fs::is_directory(path)) {
    for (const auto& entry : fs::directory_iterator(path)) {
      if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
  } else {
    inputs.push_back(path);
  }
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s TARGET PATH...\n", argv[0]);
    return 2;
  }
  knnfuzz::FuzzEntry entry = nullptr;
  for (const auto& target : knnfuzz::kFuzzTargets) {
    if (std::strcmp(target.name, argv[1]) == 0) entry = target.entry;
  }
  if (entry == nullptr) {
    std::fprintf(stderr, "unknown fuzz target '%s'\n", argv[1]);
    return 2;
  }
  size_t replayed = 0;
  for (int a = 2; a < argc; ++a) {
    for (const fs::path& input : InputsUnder(argv[a])) {
      std::ifstream file(input, std::ios::binary);
      if (!file) {
        std::fprintf(stderr, "cannot read %s\n", input.c_str());
        return 2;
      }
      const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
      std::fprintf(stderr, "%s\n", input.c_str());
      entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      ++replayed;
    }
  }
  if (replayed == 0) {
    std::fprintf(stderr, "no input found\n");
    return 1;
  }
  std::printf("%zu inputs replayed through %s\n", replayed, argv[1]);
  return 0;
}
