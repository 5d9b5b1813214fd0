// DataOps: the one service that compresses, digests and encrypts byte blocks.
//
// Byte formats, fixed so that every build reads every other build's archives:
//   Compress   one zstd frame with the content size in its header (level 3 by default).
//   Decompress one frame, output bounded by maxOutput; a damaged frame, trailing bytes, or
//              a frame that declares or produces more than the bound give an empty block.
//              The output grows with the data actually decoded, never from a size claim.
//   Digest     MD5 as 32 lower-case hexadecimal characters.
//   Encrypt    01 | salt (16) | nonce (12) | ciphertext (len of input) | tag (16): 45 bytes
//              more than the input. Key = scrypt(password as UTF-8, salt, N=2^17, r=8, p=1,
//              64 bytes); method 1 = AES-256-GCM with key bytes 0..31, method 2 =
//              ChaCha20-Poly1305 with bytes 32..63; additional data = scheme byte and salt.
//   Decrypt    never fails: a wrong password, a bad tag, an unknown scheme byte, a short or
//              random block all give an empty block (the caller's MD5 check then reports).
//
// State: one salt per password per instance, drawn once and reused, and a cache of derived
// keys by (password, salt), so a run pays the key derivation once per password. The cache
// changes no result, only the cost; key material is wiped when it is dropped.
// Not thread-safe: one instance per thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/bytes.h"

namespace tovask {

class DataOps {
 public:
  DataOps();
  ~DataOps();
  DataOps(const DataOps&) = delete;
  DataOps& operator=(const DataOps&) = delete;

  static constexpr int kDefaultLevel = 3;
  static constexpr std::size_t kEncryptionOverhead = 45;

  [[nodiscard]] Bytes Compress(ByteView input, int level = kDefaultLevel) const;
  [[nodiscard]] Bytes Decompress(ByteView frame, std::size_t maxOutput = SIZE_MAX) const;
  [[nodiscard]] std::string Digest(ByteView input) const;
  // Method 1 or 2; any other method gives an empty block. An empty result means the
  // encryption itself failed (the result of a successful call is at least 45 bytes).
  [[nodiscard]] Bytes Encrypt(ByteView plain, const std::string& password, int method);
  [[nodiscard]] Bytes Decrypt(ByteView sealed, const std::string& password, int method);

  // 1 or 2 at random (OpenSSL's generator): the cipher method of one new encrypted entry.
  [[nodiscard]] int DrawCipherMethod() const;

  // Drops the salts and keys (wiped).
  void ClearKeyCache();

  // Decompress for many small frames in a row (the records of an archive index): the same
  // bytes as Decompress(frame, maxOutput) gives, empty where it gives an empty block, decoded
  // with one zstd context and into one buffer that this instance keeps from call to call. The
  // view is valid until the next call. The buffer keeps the largest output so far: meant for
  // frames with a small bound.
  [[nodiscard]] ByteView DecompressReused(ByteView frame, std::size_t maxOutput = SIZE_MAX);

 private:
  struct KeyCache;
  std::unique_ptr<KeyCache> cache_;
  struct ReusedDecoder;
  std::unique_ptr<ReusedDecoder> decoder_;
};

namespace detail {
// scrypt as the key derivation uses it, exposed for known-answer tests. Empty on failure.
[[nodiscard]] Bytes Scrypt(std::string_view password, ByteView salt, std::uint64_t n,
                           std::uint64_t r, std::uint64_t p, std::size_t length);
}  // namespace detail

}  // namespace tovask
