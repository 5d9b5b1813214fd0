// Extracts arbitrary archive bytes into a fresh temporary folder (password "pw", every
// overwrite question answered "rename all") and aborts when anything was created outside the
// target folder, or a link inside it. The same check replays the corpus in the test suite
// (tests/extract/fuzz_corpus_test.cpp).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "extract/extract_safety_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string problem = tovask::fuzzcheck::ExtractAndCheck(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "extraction escaped its target: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
