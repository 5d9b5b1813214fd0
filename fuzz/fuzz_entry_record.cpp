// Decodes arbitrary bytes as one index record, both as they stand and, when they hold a frame,
// after the reader's bounded decompression. Findings: a crash or sanitizer report; a record
// that decodes but does not encode back to exactly its bytes (the format has one spelling per
// record, so a difference is a field read wrongly); a decoded time that names no date;
// DecompressReused disagreeing with Decompress; output past the record bound.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "archive/format.h"
#include "core/data_ops.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_entry_record: %s\n", what);
  std::abort();
}

void CheckRecord(tovask::ByteView record) {
  const std::optional<tovask::ArchiveEntry> entry = tovask::DecodeEntryRecord(record);
  if (!entry) return;
  const tovask::Bytes again = tovask::EncodeEntryRecord(*entry, entry->dataOffset);
  if (!std::equal(again.begin(), again.end(), record.begin(), record.end())) {
    Fail("a decoded record encodes to other bytes");
  }
  if (!tovask::LocalFromDateTime(entry->time)) Fail("a decoded record has a time without date");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static tovask::DataOps dataOps;
  const tovask::ByteView input(data, size);
  CheckRecord(input);

  const tovask::Bytes whole = dataOps.Decompress(input, tovask::kMaxRecordSize);
  const tovask::ByteView reused = dataOps.DecompressReused(input, tovask::kMaxRecordSize);
  if (whole.size() > tovask::kMaxRecordSize) Fail("Decompress passed its bound");
  if (!std::equal(whole.begin(), whole.end(), reused.begin(), reused.end())) {
    Fail("DecompressReused and Decompress disagree");
  }
  if (!whole.empty()) CheckRecord(whole);
  return 0;
}
