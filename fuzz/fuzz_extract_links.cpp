// Extracts arbitrary archive bytes into a target folder that already holds symbolic links into
// a sentinel folder beside it (tests/extract/extract_safety_check.h names them), and aborts when
// the sentinel changed, anything appeared outside the target, or a link other than the planted
// ones is found inside it: extraction never follows a link out of its target.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "extract/extract_safety_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string problem = tovask::fuzzcheck::ExtractAndCheck(data, size, {}, true);
  if (!problem.empty()) {
    std::fprintf(stderr, "extraction went through a link: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
