// Runs a fuzz target's LLVMFuzzerTestOneInput once for each input in the given folders (or
// files), without libFuzzer: the test suite's replay of the seeds and of every finding kept as a
// regression. A finding fails the replay the way it fails under the fuzzer (abort or a sanitizer
// report); a replay that found no input at all fails too, so a lost corpus cannot pass. A folder
// that does not exist counts as empty (a target without findings has no regressions folder).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path place = argv[i];
    std::error_code ec;
    if (std::filesystem::is_regular_file(place, ec)) {
      inputs.push_back(place);
      continue;
    }
    for (const auto& item : std::filesystem::directory_iterator(place, ec)) {
      if (item.is_regular_file()) inputs.push_back(item.path());
    }
  }
  std::sort(inputs.begin(), inputs.end());
  if (inputs.empty()) {
    std::fprintf(stderr, "no input to replay\n");
    return 1;
  }
  for (const auto& input : inputs) {
    std::ifstream file(input, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                  std::istreambuf_iterator<char>()};
    if (!file.good() && !file.eof()) {
      std::fprintf(stderr, "cannot read %s\n", input.c_str());
      return 1;
    }
    // Named before it runs, so the log shows which input a crash came from.
    std::printf("%s\n", input.c_str());
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("replayed %zu inputs\n", inputs.size());
  return 0;
}
