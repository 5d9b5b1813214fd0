#include "core/data_ops.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace tovask {
namespace {

std::string Hex(ByteView bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t b : bytes) {
    text.push_back(kHex[b >> 4]);
    text.push_back(kHex[b & 0x0F]);
  }
  return text;
}

Bytes RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 gen(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(gen());
  return out;
}

// Text-like data that compresses well.
Bytes CompressibleBytes(std::size_t size) {
  Bytes out;
  out.reserve(size);
  for (std::size_t i = 0; out.size() < size; ++i) {
    const std::string line = "line " + std::to_string(i % 977) + " of a compressible block\n";
    for (char c : line) {
      if (out.size() == size) break;
      out.push_back(static_cast<std::uint8_t>(c));
    }
  }
  return out;
}

// The frame header fields the archive format relies on, read straight from the frame bytes.
struct FrameHeader {
  std::size_t size = 0;                      // bytes of magic + header
  std::optional<std::uint64_t> contentSize;  // absent when the frame does not declare it
};

std::optional<FrameHeader> ParseFrameHeader(ByteView frame) {
  if (frame.size() < 5) return std::nullopt;
  if (frame[0] != 0x28 || frame[1] != 0xB5 || frame[2] != 0x2F || frame[3] != 0xFD) {
    return std::nullopt;
  }
  const std::uint8_t descriptor = frame[4];
  const int fcsFlag = descriptor >> 6;
  const bool singleSegment = (descriptor & 0x20) != 0;
  static constexpr std::size_t kDictIdSizes[] = {0, 1, 2, 4};
  const std::size_t dictIdSize = kDictIdSizes[descriptor & 3];
  static constexpr std::size_t kFcsSizes[] = {0, 2, 4, 8};
  const std::size_t fcsSize = fcsFlag == 0 && singleSegment ? 1 : kFcsSizes[fcsFlag];
  std::size_t pos = 5 + (singleSegment ? 0 : 1) + dictIdSize;
  if (frame.size() < pos + fcsSize) return std::nullopt;
  FrameHeader header;
  if (fcsSize > 0) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < fcsSize; ++i) value |= std::uint64_t{frame[pos + i]} << (8 * i);
    if (fcsSize == 2) value += 256;
    header.contentSize = value;
  }
  header.size = pos + fcsSize;
  return header;
}

// The same blocks behind a header that declares no content size, only a window.
Bytes WithoutContentSize(ByteView frame, int windowLog = 23) {
  const auto header = ParseFrameHeader(frame);
  if (!header) return {};
  Bytes out = {0x28, 0xB5, 0x2F, 0xFD, 0x00, static_cast<std::uint8_t>((windowLog - 10) << 3)};
  out.insert(out.end(), frame.begin() + header->size, frame.end());
  return out;
}

// The same blocks behind a header that claims `claimed` bytes of content (8 MiB window).
Bytes WithClaimedSize(ByteView frame, std::uint64_t claimed) {
  const auto header = ParseFrameHeader(frame);
  if (!header) return {};
  Bytes out = {0x28, 0xB5, 0x2F, 0xFD, 0xC0, 13 << 3};  // 8-byte content size field
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(claimed >> (8 * i)));
  out.insert(out.end(), frame.begin() + header->size, frame.end());
  return out;
}

// --- Digest ----------------------------------------------------------------------------------

TEST(DataOpsDigest, Rfc1321TestSuiteInLowerCase) {
  struct Case {
    std::string input;
    std::string md5;
  };
  const Case cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  DataOps ops;
  for (const Case& c : cases) {
    EXPECT_EQ(ops.Digest(AsBytes(c.input)), c.md5) << "input \"" << c.input << "\"";
  }
}

// --- scrypt ----------------------------------------------------------------------------------

TEST(DataOpsScrypt, Rfc7914Vectors) {
  struct Case {
    std::string password;
    std::string salt;
    std::uint64_t n, r, p;
    std::string hex;
  };
  const Case cases[] = {
      {"", "", 16, 1, 1,
       "77d6576238657b203b19ca42c18a0497f16b4844e3074ae8dfdffa3fede21442fcd0069ded0948f8326a753a0f"
       "c81f17e8d3e0fb2e0d3628cf35e20c38d18906"},
      {"password", "NaCl", 1024, 8, 16,
       "fdbabe1c9d3472007856e7190d01e9fe7c6ad7cbc8237830e77376634b3731622eaf30d92e22a3886ff109279d"
       "9830dac727afb94a83ee6d8360cbdfa2cc0640"},
      {"pleaseletmein", "SodiumChloride", 16384, 8, 1,
       "7023bdcb3afd7348461c06cd81fd38ebfda8fbba904f8e3ea9b543f6545da1f2d5432955613f0fcf62d49705242"
       "a"
       "9af9e61e85dc0d651e40dfcf017b45575887"},
  };
  for (const Case& c : cases) {
    const Bytes key = detail::Scrypt(c.password, AsBytes(c.salt), c.n, c.r, c.p, 64);
    EXPECT_EQ(Hex(key), c.hex) << "password \"" << c.password << "\", N=" << c.n;
  }
}

TEST(DataOpsScrypt, InvalidParametersGiveEmpty) {
  // N must be a power of two above 1; the memory limit refuses what it cannot hold.
  EXPECT_TRUE(detail::Scrypt("pw", AsBytes("salt"), 1000, 8, 1, 64).empty());
  EXPECT_TRUE(detail::Scrypt("pw", AsBytes("salt"), 1, 8, 1, 64).empty());
  EXPECT_TRUE(detail::Scrypt("pw", AsBytes("salt"), std::uint64_t{1} << 20, 8, 1, 64).empty());
  EXPECT_TRUE(detail::Scrypt("pw", AsBytes("salt"), 16, 1, 1, 0).empty());
}

// --- Compress / Decompress -------------------------------------------------------------------

TEST(DataOpsCompress, RoundTripsAndDeclaresContentSize) {
  struct Case {
    const char* name;
    Bytes input;
  };
  const Case cases[] = {
      {"empty", {}},
      {"one byte", {0x5A}},
      {"compressible MiB", CompressibleBytes(1 << 20)},
      {"random 300 KiB", RandomBytes(300 << 10, 7)},
      {"zeros 3 MiB", Bytes(3 << 20, 0)},
  };
  DataOps ops;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes frame = ops.Compress(c.input);
    ASSERT_FALSE(frame.empty());
    const auto header = ParseFrameHeader(frame);
    ASSERT_TRUE(header.has_value());
    ASSERT_TRUE(header->contentSize.has_value());
    EXPECT_EQ(*header->contentSize, c.input.size());
    EXPECT_EQ(ops.Decompress(frame), c.input);
    EXPECT_EQ(ops.Decompress(frame, c.input.size()), c.input);  // exactly the bound
  }
}

TEST(DataOpsCompress, CompressibleDataShrinksAtEveryLevel) {
  DataOps ops;
  const Bytes input = CompressibleBytes(200000);
  for (int level : {1, 3, 9, 19}) {
    const Bytes frame = ops.Compress(input, level);
    EXPECT_LT(frame.size(), input.size() / 4) << "level " << level;
    EXPECT_EQ(ops.Decompress(frame, input.size()), input) << "level " << level;
  }
}

// A reused context gives DataOps::Compress's frames byte for byte, in blocks of exactly their
// size, whatever came before it (larger, smaller, another level).
TEST(DataOpsCompressor, ReusedContextGivesTheSameFramesExactlySized) {
  const DataOps ops;
  Compressor compressor;
  const std::vector<Bytes> inputs = {CompressibleBytes(300000), Bytes{}, RandomBytes(5000, 7),
                                     CompressibleBytes(100), CompressibleBytes(70000)};
  for (int level : {3, 1, 19, 3}) {
    for (const Bytes& input : inputs) {
      SCOPED_TRACE(std::to_string(level) + "/" + std::to_string(input.size()));
      const Bytes frame = compressor.Compress(input, level);
      EXPECT_EQ(frame, ops.Compress(input, level));
      EXPECT_EQ(frame.capacity(), frame.size());
      EXPECT_EQ(ops.Decompress(frame), input);
    }
    compressor.Trim(0);  // dropping the buffer changes nothing either
  }
}

TEST(DataOpsDecompress, OutputAboveTheBoundIsEmpty) {
  DataOps ops;
  const Bytes input = CompressibleBytes(100000);
  const Bytes frame = ops.Compress(input);
  const Bytes unsized = WithoutContentSize(frame);
  ASSERT_FALSE(ParseFrameHeader(unsized)->contentSize.has_value());
  // The unsized frame must decode by the data alone, and still stop at the bound.
  EXPECT_EQ(ops.Decompress(unsized), input);
  EXPECT_EQ(ops.Decompress(unsized, input.size()), input);
  for (std::size_t bound : {std::size_t{0}, std::size_t{1}, std::size_t{4095}, std::size_t{4096},
                            input.size() / 2, input.size() - 1}) {
    EXPECT_TRUE(ops.Decompress(frame, bound).empty()) << "declared, bound " << bound;
    EXPECT_TRUE(ops.Decompress(unsized, bound).empty()) << "undeclared, bound " << bound;
  }
}

TEST(DataOpsDecompress, EmptyFrameHonoursAZeroBound) {
  DataOps ops;
  const Bytes frame = ops.Compress({});
  EXPECT_TRUE(ops.Decompress(frame, 0).empty());
  // An empty block and a refused frame look alike; the frame itself must be sound.
  EXPECT_FALSE(frame.empty());
}

TEST(DataOpsDecompress, SizeClaimsThatLieAreRefused) {
  DataOps ops;
  const Bytes input = CompressibleBytes(50000);
  const Bytes frame = ops.Compress(input);
  struct Case {
    std::uint64_t claimed;
    std::size_t bound;
  };
  const Case cases[] = {
      {std::uint64_t{1} << 40, SIZE_MAX},  // a huge claim must not drive an allocation
      {std::uint64_t{1} << 40, 1 << 20},
      {input.size() + 1, SIZE_MAX},
      {input.size() - 1, SIZE_MAX},
      {10, SIZE_MAX},
      {0, SIZE_MAX},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(ops.Decompress(WithClaimedSize(frame, c.claimed), c.bound).empty())
        << "claimed " << c.claimed << ", bound " << c.bound;
  }
  // The truthful claim through the same rewrite still works, so the rewrite itself is sound.
  EXPECT_EQ(ops.Decompress(WithClaimedSize(frame, input.size())), input);

  // A window far above the bound would only make the decoder reserve memory the output can
  // never need: refused under a small bound, accepted when the bound allows it.
  const Bytes wide = WithoutContentSize(frame, 27);
  EXPECT_TRUE(ops.Decompress(wide, 1 << 20).empty());
  EXPECT_EQ(ops.Decompress(wide), input);
}

TEST(DataOpsDecompress, TruncatedFramesAreEmpty) {
  DataOps ops;
  const Bytes small = ops.Compress(AsBytes("a short block, a short block, a short block"));
  for (std::size_t n = 0; n < small.size(); ++n) {
    EXPECT_TRUE(ops.Decompress(ByteView(small).first(n)).empty()) << "length " << n;
  }
  const Bytes large = ops.Compress(RandomBytes(400000, 3));  // several blocks
  for (std::size_t n : {std::size_t{4}, std::size_t{20}, large.size() / 3, large.size() / 2,
                        large.size() - 4, large.size() - 1}) {
    EXPECT_TRUE(ops.Decompress(ByteView(large).first(n)).empty()) << "length " << n;
  }
}

TEST(DataOpsDecompress, BytesAfterTheFrameAreRefused) {
  DataOps ops;
  const Bytes input = ToBytes("payload payload payload");
  const Bytes frame = ops.Compress(input);
  const Bytes second = ops.Compress(AsBytes("second"));
  struct Case {
    const char* name;
    Bytes tail;
  };
  const Case cases[] = {
      {"one zero byte", {0}},
      {"garbage", {0xDE, 0xAD, 0xBE, 0xEF}},
      {"a second frame", second},
      {"a skippable frame", {0x50, 0x2A, 0x4D, 0x18, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    Bytes joined = frame;
    joined.insert(joined.end(), c.tail.begin(), c.tail.end());
    EXPECT_TRUE(ops.Decompress(joined).empty()) << c.name;
  }
}

TEST(DataOpsDecompress, NonFramesAreEmpty) {
  DataOps ops;
  const Bytes frame = ops.Compress(AsBytes("x"));
  Bytes skippableFirst = {0x50, 0x2A, 0x4D, 0x18, 0, 0, 0, 0};
  skippableFirst.insert(skippableFirst.end(), frame.begin(), frame.end());
  const Bytes cases[] = {
      {},
      {0x28, 0xB5, 0x2F},
      {0x50, 0x2A, 0x4D, 0x18, 0, 0, 0, 0},  // a skippable frame alone
      skippableFirst,
      ToBytes("plain text, not a frame at all"),
  };
  for (const Bytes& input : cases) {
    EXPECT_TRUE(ops.Decompress(input).empty()) << Hex(input);
  }
}

// One instance decodes frame after frame with the context and buffer it keeps: each result must
// be what Decompress gives for that frame alone, whatever the frames before it left behind (a
// larger output, a smaller bound, a frame given up halfway).
TEST(DataOpsDecompressReused, AgreesWithDecompressFrameAfterFrame) {
  DataOps ops;
  const Bytes large = CompressibleBytes(300000);
  const Bytes largeFrame = ops.Compress(large);
  const Bytes randomFrame = ops.Compress(RandomBytes(70000, 9));
  const Bytes small = ops.Compress(AsBytes("a short record, a short record"));
  Bytes trailing = small;
  trailing.push_back(0);
  struct Case {
    const char* name;
    Bytes frame;
    std::size_t bound;
  };
  const Case cases[] = {
      {"large", largeFrame, SIZE_MAX},
      {"large, exact bound", largeFrame, large.size()},
      {"large, one short of the bound", largeFrame, large.size() - 1},
      {"small after large", small, 1 << 20},
      {"large without size, small bound", WithoutContentSize(largeFrame), 4095},
      {"large cut halfway", Bytes(largeFrame.begin(), largeFrame.begin() + 500), SIZE_MAX},
      {"small after a cut frame", small, 1 << 20},
      {"random cut at the end", Bytes(randomFrame.begin(), randomFrame.end() - 1), SIZE_MAX},
      {"random", randomFrame, SIZE_MAX},
      {"lying size claim", WithClaimedSize(largeFrame, 10), SIZE_MAX},
      {"wide window, small bound", WithoutContentSize(small, 27), 1 << 20},
      {"bytes after the frame", trailing, SIZE_MAX},
      {"not a frame", ToBytes("plain text, not a frame at all"), SIZE_MAX},
      {"empty", {}, SIZE_MAX},
      {"empty content, zero bound", ops.Compress({}), 0},
      {"small again", small, 30},
  };
  for (const Case& c : cases) {
    const Bytes expected = ops.Decompress(c.frame, c.bound);
    const ByteView got = ops.DecompressReused(c.frame, c.bound);
    EXPECT_EQ(Bytes(got.begin(), got.end()), expected) << c.name;
  }
}

// --- Encrypt / Decrypt -----------------------------------------------------------------------

// Key derivation is deliberately slow (~0.3 s per new password and salt); the fixture keeps the
// number of derivations low by sharing one instance and a few passwords.
class DataOpsCipher : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ops_ = new DataOps(); }
  static void TearDownTestSuite() {
    delete ops_;
    ops_ = nullptr;
  }
  static DataOps* ops_;
};
DataOps* DataOpsCipher::ops_ = nullptr;

ByteView SaltOf(const Bytes& sealed) { return ByteView(sealed).subspan(1, 16); }
ByteView NonceOf(const Bytes& sealed) { return ByteView(sealed).subspan(17, 12); }
bool Same(ByteView a, ByteView b) { return std::ranges::equal(a, b); }

TEST_F(DataOpsCipher, LayoutAndSaltReuse) {
  const Bytes plain = CompressibleBytes(1000);
  for (int method : {1, 2}) {
    SCOPED_TRACE(method);
    const Bytes a = ops_->Encrypt(plain, "layout", method);
    const Bytes b = ops_->Encrypt(plain, "layout", method);
    ASSERT_EQ(a.size(), plain.size() + DataOps::kEncryptionOverhead);
    ASSERT_EQ(b.size(), a.size());
    EXPECT_EQ(a[0], 1);
    EXPECT_TRUE(Same(SaltOf(a), SaltOf(b)));     // one salt per password per instance
    EXPECT_FALSE(Same(NonceOf(a), NonceOf(b)));  // fresh nonce per call
    EXPECT_NE(a, b);
    // The plain text does not show through.
    EXPECT_EQ(std::search(a.begin(), a.end(), plain.begin(), plain.begin() + 32), a.end());
  }
  const Bytes other = ops_->Encrypt(plain, "layout-2", 1);
  EXPECT_FALSE(Same(SaltOf(other), SaltOf(ops_->Encrypt(plain, "layout", 1))));
  DataOps second;
  EXPECT_FALSE(
      Same(SaltOf(second.Encrypt(plain, "layout", 1)), SaltOf(ops_->Encrypt(plain, "layout", 1))));
}

TEST_F(DataOpsCipher, RoundTripBothMethodsManySizes) {
  for (int method : {1, 2}) {
    for (std::size_t size : {0, 1, 15, 16, 17, 4096, 100000}) {
      const Bytes plain = RandomBytes(size, static_cast<std::uint32_t>(size) + 11);
      const Bytes sealed = ops_->Encrypt(plain, "secret", method);
      ASSERT_EQ(sealed.size(), size + DataOps::kEncryptionOverhead);
      EXPECT_EQ(ops_->Decrypt(sealed, "secret", method), plain)
          << "method " << method << ", size " << size;
    }
  }
}

TEST_F(DataOpsCipher, SameBlockSealedRepeatedlyOpensEveryTime) {
  const Bytes plain = ToBytes("repeat me");
  std::vector<Bytes> seen;
  for (int i = 0; i < 20; ++i) {
    const int method = 1 + i % 2;
    const Bytes sealed = ops_->Encrypt(plain, "secret", method);
    EXPECT_TRUE(std::find(seen.begin(), seen.end(), sealed) == seen.end())
        << "sealed block repeated at " << i;
    seen.push_back(sealed);
    EXPECT_EQ(ops_->Decrypt(sealed, "secret", method), plain);
  }
}

TEST_F(DataOpsCipher, Utf8PasswordsAreDistinctByteForByte) {
  const Bytes plain = ToBytes("中文内容");
  const Bytes sealed = ops_->Encrypt(plain, "密码", 2);
  EXPECT_EQ(ops_->Decrypt(sealed, "密码", 2), plain);
  EXPECT_TRUE(ops_->Decrypt(sealed, "密", 2).empty());
}

TEST_F(DataOpsCipher, DamagedOrMismatchedBlocksGiveEmpty) {
  const Bytes plain = CompressibleBytes(300);
  for (int method : {1, 2}) {
    SCOPED_TRACE(method);
    const Bytes sealed = ops_->Encrypt(plain, "secret", method);
    ASSERT_EQ(ops_->Decrypt(sealed, "secret", method), plain);

    EXPECT_TRUE(ops_->Decrypt(sealed, "Secret", method).empty()) << "wrong password";
    EXPECT_TRUE(ops_->Decrypt(sealed, "secret", 3 - method).empty()) << "other method";
    for (int bad : {0, 3, -1, 255}) {
      EXPECT_TRUE(ops_->Decrypt(sealed, "secret", bad).empty()) << "method " << bad;
    }
    // A flipped bit anywhere outside the salt: scheme byte, nonce, body, tag.
    // (Salt flips need a new derivation each; two of them are enough here.)
    for (std::size_t pos = 0; pos < sealed.size(); ++pos) {
      if (pos >= 1 && pos < 17 && pos != 1 && pos != 16) continue;
      Bytes damaged = sealed;
      damaged[pos] ^= static_cast<std::uint8_t>(1u << (pos % 8));
      EXPECT_TRUE(ops_->Decrypt(damaged, "secret", method).empty()) << "flip at " << pos;
    }
    for (std::size_t n :
         {std::size_t{0}, std::size_t{1}, std::size_t{44}, std::size_t{45}, sealed.size() - 1}) {
      EXPECT_TRUE(ops_->Decrypt(ByteView(sealed).first(n), "secret", method).empty())
          << "truncated to " << n;
    }
    Bytes longer = sealed;
    longer.push_back(0);
    EXPECT_TRUE(ops_->Decrypt(longer, "secret", method).empty()) << "extra byte";
  }
}

// --- Streaming decoders ----------------------------------------------------------------------

// What a streaming decoder gives for input fed in pieces of pieceSize: the content, or an
// empty block when it refuses the input, as the whole-block call would give it.
Bytes StreamDecompress(ByteView frame, std::size_t bound, std::size_t pieceSize) {
  DecompressStream stream(bound);
  Bytes out;
  const PieceSink keep = [&](ByteView piece) { out.insert(out.end(), piece.begin(), piece.end()); };
  for (std::size_t at = 0; at < frame.size(); at += pieceSize) {
    if (!stream.Update(frame.subspan(at, std::min(pieceSize, frame.size() - at)), keep)) return {};
  }
  return stream.Finish(keep) ? out : Bytes{};
}

Bytes StreamDecrypt(DataOps& ops, ByteView sealed, const std::string& password, int method,
                    std::size_t pieceSize) {
  std::optional<DataOps::DecryptStream> stream = ops.BeginDecrypt(
      sealed.first(std::min<std::size_t>(29, sealed.size())), sealed.size(), password, method);
  if (!stream) return {};
  Bytes out;
  const PieceSink keep = [&](ByteView piece) { out.insert(out.end(), piece.begin(), piece.end()); };
  const ByteView rest = sealed.subspan(std::min<std::size_t>(29, sealed.size()));
  for (std::size_t at = 0; at < rest.size(); at += pieceSize) {
    if (!stream->Update(rest.subspan(at, std::min(pieceSize, rest.size() - at)), keep)) return {};
  }
  return stream->Finish() ? out : Bytes{};
}

TEST(DataOpsStreams, DecompressStreamAgreesWithDecompressOnEveryFrame) {
  DataOps ops;
  const Bytes input = CompressibleBytes(300000);
  const Bytes frame = ops.Compress(input);
  const Bytes noisy = ops.Compress(RandomBytes(200000, 5));
  Bytes trailing = frame;
  trailing.push_back(0);
  struct Case {
    const char* name;
    Bytes frame;
    std::size_t bound;
  };
  const Case cases[] = {
      {"sound", frame, input.size()},
      {"sound, no bound", frame, SIZE_MAX},
      {"shorter than a long header", ops.Compress(AsBytes("bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb")),
       36},
      {"over the bound", frame, input.size() - 1},
      {"unsized over the bound", WithoutContentSize(frame), 1000},
      {"unsized", WithoutContentSize(frame), input.size()},
      {"claim that lies", WithClaimedSize(frame, input.size() - 1), SIZE_MAX},
      {"huge claim", WithClaimedSize(frame, std::uint64_t{1} << 40), SIZE_MAX},
      {"wide window, small bound", WithoutContentSize(frame, 27), 1 << 20},
      {"incompressible", noisy, 200000},
      {"cut short", Bytes(frame.begin(), frame.end() - 3), SIZE_MAX},
      {"header only", Bytes(frame.begin(), frame.begin() + 6), SIZE_MAX},
      {"bytes after the frame", trailing, SIZE_MAX},
      {"empty content", ops.Compress({}), 0},
      {"no frame", ToBytes("plain text, not a frame at all"), SIZE_MAX},
      {"empty block", {}, SIZE_MAX},
  };
  for (const Case& c : cases) {
    const Bytes whole = ops.Decompress(c.frame, c.bound);
    for (std::size_t piece :
         {std::size_t{1}, std::size_t{7}, std::size_t{4096}, c.frame.size() + 1}) {
      if (piece == 1 && c.frame.size() > 20000) continue;  // byte by byte only for the short ones
      EXPECT_EQ(StreamDecompress(c.frame, c.bound, piece), whole)
          << c.name << ", pieces of " << piece;
    }
  }
}

// Found by fuzzing: zstd checks a frame's declared size only when it decodes the frame in one
// call, which it did only where the room given held the whole claim (a large reused buffer).
TEST(DataOpsStreams, FrameShorterThanItsClaimIsRefusedHoweverDecoded) {
  // 11 zero bytes (one repeated-byte block) and an empty last block, under a claim of 8,549.
  const Bytes frame = {0x28, 0xB5, 0x2F, 0xFD, 0x60, 0x65, 0x20, 0x5A, 0, 0, 0, 1, 0, 0};
  DataOps ops;
  EXPECT_FALSE(ops.DecompressReused(ops.Compress(CompressibleBytes(300000)), SIZE_MAX).empty());
  EXPECT_TRUE(ops.DecompressReused(frame, SIZE_MAX).empty());
  EXPECT_TRUE(ops.Decompress(frame, SIZE_MAX).empty());
  for (std::size_t piece : {std::size_t{1}, frame.size()}) {
    EXPECT_TRUE(StreamDecompress(frame, SIZE_MAX, piece).empty()) << piece;
  }
}

TEST(DataOpsStreams, DigestStreamAgreesWithDigest) {
  DataOps ops;
  const Bytes input = RandomBytes(100000, 8);
  DigestStream stream;
  EXPECT_EQ(stream.Finish(), ops.Digest({}));
  for (std::size_t at = 0; at < input.size(); at += 999) {
    stream.Update(ByteView(input).subspan(at, std::min<std::size_t>(999, input.size() - at)));
  }
  EXPECT_EQ(stream.Finish(), ops.Digest(input));
  EXPECT_EQ(stream.Finish(), ops.Digest({}));  // starts afresh
}

TEST_F(DataOpsCipher, DecryptStreamAgreesWithDecrypt) {
  const Bytes plain = CompressibleBytes(5000);
  for (int method : {1, 2}) {
    SCOPED_TRACE(method);
    const Bytes sealed = ops_->Encrypt(plain, "secret", method);
    std::vector<std::pair<std::string, Bytes>> blocks = {{"sound", sealed}};
    for (std::size_t pos : {std::size_t{0}, std::size_t{20}, std::size_t{100}, sealed.size() - 1}) {
      Bytes damaged = sealed;
      damaged[pos] ^= 0x04;
      blocks.emplace_back("flip at " + std::to_string(pos), damaged);
    }
    blocks.emplace_back("cut short", Bytes(sealed.begin(), sealed.end() - 1));
    blocks.emplace_back("overhead only", Bytes(sealed.begin(), sealed.begin() + 45));
    blocks.emplace_back("too short", Bytes(sealed.begin(), sealed.begin() + 44));
    Bytes longer = sealed;
    longer.push_back(0);
    blocks.emplace_back("extra byte", longer);
    for (const auto& [name, block] : blocks) {
      for (const std::string password : {"secret", "Secret"}) {
        const Bytes whole = ops_->Decrypt(block, password, method);
        for (std::size_t piece : {std::size_t{1}, std::size_t{13}, block.size()}) {
          EXPECT_EQ(StreamDecrypt(*ops_, block, password, method, std::max<std::size_t>(piece, 1)),
                    whole)
              << name << ", " << password << ", pieces of " << piece;
        }
      }
    }
    EXPECT_EQ(StreamDecrypt(*ops_, sealed, "secret", method, 4096), plain);
    EXPECT_FALSE(ops_->BeginDecrypt(ByteView(sealed).first(29), sealed.size(), "secret", 3));
  }
}

TEST_F(DataOpsCipher, UnknownMethodCannotEncrypt) {
  for (int bad : {0, 3, -2}) EXPECT_TRUE(ops_->Encrypt(AsBytes("x"), "secret", bad).empty());
}

TEST_F(DataOpsCipher, EmptyBlockSealsToTheOverheadAlone) {
  for (int method : {1, 2}) {
    const Bytes sealed = ops_->Encrypt({}, "secret", method);
    ASSERT_EQ(sealed.size(), DataOps::kEncryptionOverhead);
    EXPECT_EQ(sealed[0], 1);
    EXPECT_TRUE(ops_->Decrypt(sealed, "secret", method).empty());
  }
}

// A prepared key seals with the password's own salt from any number of threads at once, and
// Decrypt opens every block.
TEST_F(DataOpsCipher, PreparedKeySealsFromManyThreads) {
  const auto key = ops_->SealingKeyFor("layout");
  ASSERT_NE(key, nullptr);
  const Bytes plain = CompressibleBytes(20000);
  std::vector<Bytes> sealed(8);
  {
    std::vector<std::jthread> threads;
    for (std::size_t t = 0; t < sealed.size(); ++t) {
      threads.emplace_back([&, t] { sealed[t] = DataOps::Seal(plain, *key, 1 + t % 2); });
    }
  }
  const Bytes own = ops_->Encrypt(plain, "layout", 1);
  for (std::size_t t = 0; t < sealed.size(); ++t) {
    SCOPED_TRACE(t);
    ASSERT_EQ(sealed[t].size(), plain.size() + DataOps::kEncryptionOverhead);
    EXPECT_TRUE(Same(SaltOf(sealed[t]), SaltOf(own)));
    EXPECT_EQ(ops_->Decrypt(sealed[t], "layout", 1 + static_cast<int>(t % 2)), plain);
  }
  EXPECT_TRUE(DataOps::Seal(plain, *key, 3).empty());
}

TEST(DataOpsKeyCache, ClearingChangesSaltButNoResult) {
  DataOps ops;
  const Bytes plain = ToBytes("cached");
  const Bytes before = ops.Encrypt(plain, "pw", 1);
  ops.ClearKeyCache();
  const Bytes after = ops.Encrypt(plain, "pw", 2);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_FALSE(Same(SaltOf(before), SaltOf(after)));  // the salt was dropped with the keys
  EXPECT_EQ(ops.Decrypt(before, "pw", 1), plain);     // old blocks still open (new derivation)
  EXPECT_EQ(ops.Decrypt(after, "pw", 2), plain);
  // A block from another instance opens here too: the salt travels in the block.
  DataOps other;
  EXPECT_EQ(other.Decrypt(after, "pw", 2), plain);
}

TEST(DataOpsKeyCache, DecryptingForeignSaltDoesNotChangeOwnSalt) {
  DataOps writer;
  DataOps ops;
  const Bytes plain = ToBytes("abc");
  const Bytes own1 = ops.Encrypt(plain, "pw", 1);
  const Bytes foreign = writer.Encrypt(plain, "pw", 1);
  EXPECT_EQ(ops.Decrypt(foreign, "pw", 1), plain);
  const Bytes own2 = ops.Encrypt(plain, "pw", 1);
  EXPECT_TRUE(Same(SaltOf(own1), SaltOf(own2)));
  EXPECT_EQ(ops.Decrypt(own1, "pw", 1), plain);
}

TEST(DataOpsDrawCipherMethod, GivesOneOrTwoAndBoth) {
  DataOps ops;
  std::set<int> seen;
  for (int i = 0; i < 200; ++i) {
    const int method = ops.DrawCipherMethod();
    ASSERT_TRUE(method == 1 || method == 2) << method;
    seen.insert(method);
  }
  EXPECT_EQ(seen.size(), 2u);  // a fair draw misses one of them with probability 2^-199
}

// --- Interoperability with the independent implementation ------------------------------------

std::string ToolsDir() { return TOVASK_SHARED_TOOLS_DIR; }

void WriteBytes(const std::string& path, ByteView bytes) {
  testing::WriteFile(path, ToText(bytes));
}
Bytes ReadBytes(const std::string& path) { return ToBytes(testing::ReadFile(path)); }

// The other side: reads the C++ results from the folder, answers with its own.
constexpr const char* kInteropScript = R"PY(
import os, sys
work, tools = sys.argv[1], sys.argv[2]
sys.path.insert(0, tools)
try:
    import tvkcheck, zstandard
except ImportError as e:
    print(e, file=sys.stderr)
    sys.exit(77)
def rd(name):
    with open(os.path.join(work, name), "rb") as f:
        return f.read()
def wr(name, data):
    with open(os.path.join(work, name), "wb") as f:
        f.write(data)
password = rd("password").decode("utf-8")
plain = rd("plain")
for m in (1, 2):
    wr("py_opened_%d" % m, tvkcheck.decrypt(rd("cpp_sealed_%d" % m), password, m))
    wr("py_wrong_%d" % m, tvkcheck.decrypt(rd("cpp_sealed_%d" % m), password + "x", m))
salt = os.urandom(16)
for m in (1, 2):
    wr("py_sealed_%d" % m, tvkcheck.encrypt(plain, password, m, salt))
wr("py_frame_3", tvkcheck.compress(plain, 3))
wr("py_frame_19", tvkcheck.compress(plain, 19))
wr("py_frame_unsized", zstandard.ZstdCompressor(level=3, write_content_size=False).compress(plain))
wr("py_unpacked", tvkcheck.decompress(rd("cpp_frame")))
wr("py_digest", tvkcheck.digest(plain).encode())
)PY";

TEST(DataOpsInterop, AgreesWithIndependentImplementation) {
  const std::string tool = ToolsDir() + "/tvkcheck.py";
  if (!std::filesystem::exists(tool)) GTEST_SKIP() << "independent tool absent: " << tool;
  if (!std::filesystem::exists("/usr/bin/python3")) GTEST_SKIP() << "/usr/bin/python3 absent";

  testing::TempDir dir;
  const std::string password = "Interop 密码";
  Bytes plain = CompressibleBytes(150000);
  const Bytes noise = RandomBytes(5000, 99);
  plain.insert(plain.end(), noise.begin(), noise.end());

  DataOps ops;
  testing::WriteFile(dir / "password", password);
  WriteBytes(dir / "plain", plain);
  WriteBytes(dir / "cpp_sealed_1", ops.Encrypt(plain, password, 1));
  WriteBytes(dir / "cpp_sealed_2", ops.Encrypt(plain, password, 2));
  WriteBytes(dir / "cpp_frame", ops.Compress(plain));
  testing::WriteFile(dir / "check.py", kInteropScript);

  const std::string command =
      "/usr/bin/python3 '" + (dir / "check.py") + "' '" + dir.path() + "' '" + ToolsDir() + "'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status)) << command;
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "python3-zstandard or python3-cryptography absent";
  ASSERT_EQ(WEXITSTATUS(status), 0) << command;

  for (int m : {1, 2}) {
    SCOPED_TRACE(m);
    EXPECT_EQ(ReadBytes(dir / ("py_opened_" + std::to_string(m))), plain);
    EXPECT_TRUE(ReadBytes(dir / ("py_wrong_" + std::to_string(m))).empty());
    const Bytes sealed = ReadBytes(dir / ("py_sealed_" + std::to_string(m)));
    EXPECT_EQ(sealed.size(), plain.size() + DataOps::kEncryptionOverhead);
    EXPECT_EQ(ops.Decrypt(sealed, password, m), plain);
    EXPECT_TRUE(ops.Decrypt(sealed, password, 3 - m).empty());
  }
  for (const char* name : {"py_frame_3", "py_frame_19", "py_frame_unsized"}) {
    const Bytes frame = ReadBytes(dir / name);
    EXPECT_EQ(ops.Decompress(frame, plain.size()), plain) << name;
    EXPECT_TRUE(ops.Decompress(frame, plain.size() - 1).empty()) << name;
  }
  EXPECT_EQ(ReadBytes(dir / "py_unpacked"), plain);
  EXPECT_EQ(testing::ReadFile(dir / "py_digest"), ops.Digest(plain));
}

}  // namespace
}  // namespace tovask
