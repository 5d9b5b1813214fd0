// Drives Decompress and Decrypt (and their streaming and reused forms) with bounds, pieces and
// keys chosen by the input. Input: an operation byte, four bytes of output bound, a shift
// (bound >> shift, so small and large bounds both come up), a piece-size byte, a method byte,
// then the payload.
//   0  Decompress(payload, bound): at most bound bytes, the same answer from DecompressReused and
//      from DecompressStream fed in pieces, and memory within what the bound allows.
//   1  Decrypt(payload) with the payload's salt replaced by one of two fixed salts (a new salt
//      costs a key derivation of a quarter second): nothing or exactly payload − 45 bytes, and
//      the same from BeginDecrypt's stream fed in pieces.
//   2  Encrypt(payload) then Decrypt gives the payload back, one changed byte or the other method
//      gives nothing; Compress then Decompress gives the payload within the bound, nothing past it.
// Memory is measured through the sanitizer's allocation hooks, where there are any (ASan); a
// build without them checks the rest.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "core/data_ops.h"

extern "C" {
// From the sanitizer runtime when there is one; null otherwise.
int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t),
                                              void (*)(const volatile void*)) __attribute__((weak));
std::size_t __sanitizer_get_allocated_size(const volatile void*) __attribute__((weak));
}

namespace {

using tovask::Bytes;
using tovask::ByteView;

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_data_ops: %s\n", what);
  std::abort();
}

// Bytes allocated and not yet freed since Track began, and their peak.
std::atomic<bool> tracking{false};
std::atomic<std::int64_t> liveBytes{0};
std::atomic<std::int64_t> peakBytes{0};

void OnMalloc(const volatile void*, std::size_t size) {
  if (!tracking.load(std::memory_order_relaxed)) return;
  const std::int64_t now = liveBytes += static_cast<std::int64_t>(size);
  std::int64_t peak = peakBytes.load();
  while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
  }
}

void OnFree(const volatile void* pointer) {
  if (!tracking.load(std::memory_order_relaxed) || pointer == nullptr) return;
  liveBytes -= static_cast<std::int64_t>(__sanitizer_get_allocated_size(pointer));
}

bool HooksInstalled() {
  static const bool installed = __sanitizer_install_malloc_and_free_hooks != nullptr &&
                                __sanitizer_get_allocated_size != nullptr &&
                                __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree) != 0;
  return installed;
}

// Runs work and fails when it held more than limit bytes at once.
template <typename Work>
void WithinMemory(std::uint64_t limit, const char* what, Work&& work) {
  if (!HooksInstalled()) {
    work();
    return;
  }
  liveBytes = 0;
  peakBytes = 0;
  tracking = true;
  work();
  tracking = false;
  if (static_cast<std::uint64_t>(peakBytes.load()) > limit) {
    std::fprintf(stderr, "peak %lld bytes, limit %llu\n", static_cast<long long>(peakBytes.load()),
                 static_cast<unsigned long long>(limit));
    Fail(what);
  }
}

// The decoder's window for a bound: no larger than the bound needs (the next power of two),
// but 8 MiB at least (what ordinary levels use for streams of unknown size) and 128 MiB at most.
std::uint64_t WindowFor(std::size_t bound) {
  std::uint64_t window = std::uint64_t{1} << 23;
  while (window < (std::uint64_t{1} << 27) && window < bound) window *= 2;
  return window;
}

constexpr std::uint64_t kContextAllowance = std::uint64_t{2} << 20;

// What a whole-block decode bounded by bound may hold at once: the output growing by doubling up
// to bound + 1 (old and new buffer during the move), the window, and the contexts.
std::uint64_t DecodeMemoryLimit(std::size_t bound) {
  return 2 * (std::uint64_t{bound} + 1) + WindowFor(bound) + kContextAllowance;
}

// Cuts the input into pieces whose sizes follow the seed (1 to 256 bytes, or everything at
// once when the seed is 0).
template <typename Feed>
bool InPieces(ByteView input, std::uint8_t seed, Feed&& feed) {
  std::size_t at = 0;
  std::uint32_t state = seed;
  while (at < input.size()) {
    state = state * 1103515245u + 12345u;
    const std::size_t piece = seed == 0 ? input.size() : 1 + (state >> 16) % 256;
    const ByteView part = input.subspan(at, std::min(piece, input.size() - at));
    at += part.size();
    if (!feed(part)) return false;
  }
  return true;
}

const std::string kPasswords[] = {"pw", "中文密码"};

void CheckDecompress(tovask::DataOps& dataOps, ByteView frame, std::size_t bound,
                     std::uint8_t pieces) {
  Bytes whole;
  WithinMemory(DecodeMemoryLimit(bound), "Decompress held more memory than its bound allows",
               [&] { whole = dataOps.Decompress(frame, bound); });
  if (whole.size() > bound) Fail("Decompress passed its bound");

  const ByteView reused = dataOps.DecompressReused(frame, bound);
  if (!std::equal(whole.begin(), whole.end(), reused.begin(), reused.end())) {
    Fail("DecompressReused and Decompress disagree");
  }

  // The stream's output is compared piece by piece, so collecting it costs no memory, and the
  // stream's own memory must not grow with the output: only the window and its buffers.
  std::size_t offset = 0;
  bool differs = false;
  bool ok = false;
  WithinMemory(WindowFor(bound) + kContextAllowance,
               "DecompressStream held more memory than its window", [&] {
                 tovask::DecompressStream stream(bound);
                 const auto take = [&](ByteView piece) {
                   if (offset + piece.size() > whole.size() ||
                       !std::equal(piece.begin(), piece.end(), whole.begin() + offset)) {
                     differs = true;
                   }
                   offset += piece.size();
                   if (offset > bound) Fail("DecompressStream passed its bound");
                 };
                 ok = InPieces(frame, pieces, [&](ByteView p) { return stream.Update(p, take); }) &&
                      stream.Finish(take);
               });
  if (ok ? differs || offset != whole.size() : !whole.empty()) {
    Fail("DecompressStream and Decompress disagree");
  }
}

void CheckDecrypt(tovask::DataOps& dataOps, Bytes sealed, const std::string& password, int method,
                  std::uint8_t pieces) {
  // Two salts only: each new one would cost a key derivation.
  if (sealed.size() >= 17) std::fill(sealed.begin() + 1, sealed.begin() + 17, sealed[1] & 1);
  const Bytes plain = dataOps.Decrypt(sealed, password, method);
  if (!plain.empty() && plain.size() != sealed.size() - tovask::DataOps::kEncryptionOverhead) {
    Fail("Decrypt gave a block of the wrong length");
  }

  const ByteView header = ByteView(sealed).first(std::min<std::size_t>(sealed.size(), 29));
  auto stream = dataOps.BeginDecrypt(header, sealed.size(), password, method);
  if (!stream) {
    if (!plain.empty()) Fail("BeginDecrypt refused a block Decrypt opened");
    return;
  }
  Bytes streamed;
  const auto take = [&](ByteView piece) {
    streamed.insert(streamed.end(), piece.begin(), piece.end());
  };
  const bool ok = InPieces(ByteView(sealed).subspan(header.size()), pieces,
                           [&](ByteView p) { return stream->Update(p, take); }) &&
                  stream->Finish();
  if (ok ? streamed != plain : !plain.empty()) Fail("DecryptStream and Decrypt disagree");
}

void CheckRoundTrips(tovask::DataOps& dataOps, ByteView payload, const std::string& password,
                     int method, std::size_t bound, std::uint32_t where) {
  const Bytes sealed = dataOps.Encrypt(payload, password, method);
  if (sealed.size() != payload.size() + tovask::DataOps::kEncryptionOverhead) {
    Fail("Encrypt gave a block of the wrong length");
  }
  if (dataOps.Decrypt(sealed, password, method) != Bytes(payload.begin(), payload.end())) {
    Fail("Decrypt did not give back what Encrypt sealed");
  }
  Bytes changed = sealed;
  std::size_t at = where % changed.size();
  if (at >= 1 && at < 17) at += 16;  // past the salt, which would cost a key derivation
  changed[at] ^= static_cast<std::uint8_t>(1 + (where >> 8) % 255);
  if (!dataOps.Decrypt(changed, password, method).empty()) Fail("Decrypt opened a changed block");
  if (!payload.empty() && !dataOps.Decrypt(sealed, password, 3 - method).empty()) {
    Fail("Decrypt opened a block with the other method");
  }

  const Bytes frame = dataOps.Compress(payload);
  if (frame.empty()) Fail("Compress failed");
  const Bytes back = dataOps.Decompress(frame, bound);
  const bool fits = payload.size() <= bound;
  if (fits ? back != Bytes(payload.begin(), payload.end()) : !back.empty()) {
    Fail("Decompress of a Compress frame is not the content within the bound");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static tovask::DataOps dataOps;
  if (size < 8) return 0;
  const std::uint8_t operation = data[0] % 3;
  const std::uint32_t rawBound =
      static_cast<std::uint32_t>(data[1]) | static_cast<std::uint32_t>(data[2]) << 8 |
      static_cast<std::uint32_t>(data[3]) << 16 | static_cast<std::uint32_t>(data[4]) << 24;
  // Up to 64 MiB: beyond that a bound changes nothing but the time a run takes.
  const std::size_t bound = (rawBound >> (data[5] % 32)) & ((1u << 26) - 1);
  const std::uint8_t pieces = data[6];
  const int method = 1 + data[7] % 2;
  const std::string& password = kPasswords[(data[7] >> 1) % 2];
  const ByteView payload(data + 8, size - 8);

  switch (operation) {
    case 0:
      CheckDecompress(dataOps, payload, bound, pieces);
      break;
    case 1:
      CheckDecrypt(dataOps, Bytes(payload.begin(), payload.end()), password, method, pieces);
      break;
    default:
      CheckRoundTrips(dataOps, payload, password, method, bound, rawBound);
      break;
  }
  return 0;
}
