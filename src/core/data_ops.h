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
#include <functional>
#include <memory>
#include <optional>
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
  // The first bytes of a sealed block (scheme byte and salt) that choose its key: blocks that
  // begin alike decrypt under one password with one key derivation, blocks that differ there
  // need one derivation each (deliberately slow).
  static constexpr std::size_t kKeyChoiceSize = 17;

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

  // The streaming counterpart of Decrypt (DecryptStream): header is the block's first 29
  // bytes (scheme, salt, nonce) and sealedSize the whole block's size. nullopt where Decrypt
  // would give an empty block before looking at the ciphertext (unknown method or scheme
  // byte, a block shorter than 45 bytes, a key that cannot be derived). The key is derived
  // and cached as Decrypt does. Safe to call from several threads at once (the key cache is
  // locked meanwhile), provided Encrypt, Decrypt and ClearKeyCache do not run at the same time.
  class DecryptStream;
  [[nodiscard]] std::optional<DecryptStream> BeginDecrypt(ByteView header, std::size_t sealedSize,
                                                          const std::string& password, int method);

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

// Where the streaming decoders hand out what they decode, a piece at a time; the view is valid
// during the call only. A sink may stop the decoding by throwing something that is not a
// std::exception: it passes through Update and Finish, and the stream is then left unusable.
using PieceSink = std::function<void(ByteView piece)>;

// Decrypt for a block that comes in pieces: Update takes the bytes after the 29-byte header
// (ciphertext, then the tag) and hands out the plain text as it goes; Finish checks the tag.
// The plain text handed out is unauthenticated until Finish has answered true: a caller drops
// it all when Finish (or an Update) answers false, which is where Decrypt gives an empty block.
// One instance per block, used by one thread at a time.
class DataOps::DecryptStream {
 public:
  DecryptStream(DecryptStream&& other) noexcept;
  DecryptStream& operator=(DecryptStream&& other) noexcept;
  DecryptStream(const DecryptStream&) = delete;
  DecryptStream& operator=(const DecryptStream&) = delete;
  ~DecryptStream();

  // False when the cipher failed or more bytes came than the block holds.
  [[nodiscard]] bool Update(ByteView piece, const PieceSink& out);
  // True when the whole block came in and its tag holds.
  [[nodiscard]] bool Finish();

 private:
  friend class DataOps;
  struct State;
  explicit DecryptStream(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// Decompress for a frame that comes in pieces: the same frames are accepted and refused (the
// output bound, a damaged frame, bytes after the frame, a frame cut short), and the content is
// handed out as it is decoded, through one reused buffer, so memory stays bounded whatever the
// frame's size or claims. A caller drops everything handed out when Update or Finish answers
// false: that is where Decompress gives an empty block. Not thread-safe: one instance per
// thread.
class DecompressStream {
 public:
  explicit DecompressStream(std::size_t maxOutput = SIZE_MAX);
  ~DecompressStream();
  DecompressStream(const DecompressStream&) = delete;
  DecompressStream& operator=(const DecompressStream&) = delete;

  // Decodes the next piece of the frame. False once the frame is refused; the stream stays
  // failed.
  [[nodiscard]] bool Update(ByteView piece, const PieceSink& out);
  // After the last piece: true when exactly one whole frame within the bound came in. A
  // frame shorter than its longest possible header is decoded only now, into out.
  [[nodiscard]] bool Finish(const PieceSink& out);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Digest over content that comes in pieces: Finish gives what Digest gives for all the pieces
// together. Not thread-safe: one instance per thread.
class DigestStream {
 public:
  DigestStream();
  ~DigestStream();
  DigestStream(const DigestStream&) = delete;
  DigestStream& operator=(const DigestStream&) = delete;

  void Update(ByteView piece);
  // The digest of everything given since construction or the last Finish; starts afresh.
  [[nodiscard]] std::string Finish();

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
