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

  // Encryption from worker threads. SealingKeyFor gives the password's own salt and derived
  // key, the ones Encrypt uses (derived once and cached like them), copied out of the cache;
  // null when the derivation fails. Seal then encrypts exactly as Encrypt does, touching no
  // state but OpenSSL's generator, so any number of threads may call it at once; the key is
  // wiped when its last holder drops it. DrawCipherMethod is safe from any thread too.
  struct SealingKey;
  [[nodiscard]] std::shared_ptr<const SealingKey> SealingKeyFor(const std::string& password);
  [[nodiscard]] static Bytes Seal(ByteView plain, const SealingKey& key, int method);

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

// A compression context and its output buffer, reused from call to call, so a run of many
// blocks pays neither the context's set-up nor fresh pages per block. The frames are byte for
// byte those of DataOps::Compress. Not thread-safe: one instance per thread.
class Compressor {
 public:
  Compressor();
  ~Compressor();
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;

  // Compress(input, level) of DataOps, in a block of exactly the frame's size (no spare
  // capacity); empty on failure.
  [[nodiscard]] Bytes Compress(ByteView input, int level = DataOps::kDefaultLevel);
  // Compresses into the reused buffer and returns a view of the frame, valid until the next
  // call; empty on failure.
  [[nodiscard]] ByteView CompressInPlace(ByteView input, int level = DataOps::kDefaultLevel);
  // Frees the buffer when it has grown past keepBytes (after an unusually large block).
  void Trim(std::size_t keepBytes);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

namespace detail {
// scrypt as the key derivation uses it, exposed for known-answer tests. Empty on failure.
[[nodiscard]] Bytes Scrypt(std::string_view password, ByteView salt, std::uint64_t n,
                           std::uint64_t r, std::uint64_t p, std::size_t length);
}  // namespace detail

}  // namespace tovask
