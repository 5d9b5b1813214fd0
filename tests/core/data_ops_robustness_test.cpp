// Hostile input to Decompress and Decrypt: random blocks and mutations of valid ones must
// give back the right bytes or an empty block, within the bound, and never crash or hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/data_ops.h"

namespace tovask {
namespace {

constexpr std::uint32_t kSeed = 20240611;

Bytes RandomBytes(std::mt19937& gen, std::size_t size) {
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(gen());
  return out;
}

std::size_t Pick(std::mt19937& gen, std::size_t below) {
  return std::uniform_int_distribution<std::size_t>(0, below - 1)(gen);
}

Bytes MixedContent(std::mt19937& gen, std::size_t size) {
  Bytes out;
  while (out.size() < size) {
    if (Pick(gen, 3) == 0) {
      const Bytes noise = RandomBytes(gen, 1 + Pick(gen, 64));
      out.insert(out.end(), noise.begin(), noise.end());
    } else {
      const std::string text = "record " + std::to_string(Pick(gen, 50)) + ";";
      out.insert(out.end(), text.begin(), text.end());
    }
  }
  out.resize(size);
  return out;
}

// Content size declared by a frame header, or -1 when it declares none or is no frame.
long long DeclaredSize(ByteView frame) {
  if (frame.size() < 5 || frame[0] != 0x28 || frame[1] != 0xB5 || frame[2] != 0x2F ||
      frame[3] != 0xFD) {
    return -1;
  }
  const std::uint8_t descriptor = frame[4];
  const bool single = (descriptor & 0x20) != 0;
  static constexpr std::size_t kDictSizes[] = {0, 1, 2, 4};
  static constexpr std::size_t kFcsSizes[] = {0, 2, 4, 8};
  const std::size_t fcs = (descriptor >> 6) == 0 && single ? 1 : kFcsSizes[descriptor >> 6];
  const std::size_t pos = 5 + (single ? 0 : 1) + kDictSizes[descriptor & 3];
  if (fcs == 0 || frame.size() < pos + fcs) return -1;
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < fcs; ++i) value |= std::uint64_t{frame[pos + i]} << (8 * i);
  if (fcs == 2) value += 256;
  return value > (std::uint64_t{1} << 62) ? -1 : static_cast<long long>(value);
}

// One random change; `from` is the first position that may change (positions below it are
// kept, so that a sealed block keeps its salt).
void Mutate(std::mt19937& gen, Bytes& data, std::size_t from) {
  const std::size_t span = data.size() > from ? data.size() - from : 0;
  switch (Pick(gen, 6)) {
    case 0:  // bit flip
      if (span > 0) data[from + Pick(gen, span)] ^= static_cast<std::uint8_t>(1u << Pick(gen, 8));
      break;
    case 1:  // byte overwrite
      if (span > 0) data[from + Pick(gen, span)] = static_cast<std::uint8_t>(gen());
      break;
    case 2:  // truncation
      data.resize(from + (span > 0 ? Pick(gen, span) : 0));
      break;
    case 3: {  // insertion
      const Bytes extra = RandomBytes(gen, 1 + Pick(gen, 16));
      data.insert(data.begin() + static_cast<std::ptrdiff_t>(from + Pick(gen, span + 1)),
                  extra.begin(), extra.end());
      break;
    }
    case 4:  // deletion of a range
      if (span > 0) {
        const std::size_t at = from + Pick(gen, span);
        const std::size_t count = 1 + Pick(gen, std::min<std::size_t>(32, data.size() - at));
        data.erase(data.begin() + static_cast<std::ptrdiff_t>(at),
                   data.begin() + static_cast<std::ptrdiff_t>(at + count));
      }
      break;
    default:  // duplication of a range
      if (span > 0) {
        const std::size_t at = from + Pick(gen, span);
        const std::size_t count = 1 + Pick(gen, std::min<std::size_t>(32, data.size() - at));
        const Bytes copy(data.begin() + static_cast<std::ptrdiff_t>(at),
                         data.begin() + static_cast<std::ptrdiff_t>(at + count));
        data.insert(data.begin() + static_cast<std::ptrdiff_t>(from + Pick(gen, span + 1)),
                    copy.begin(), copy.end());
      }
      break;
  }
}

struct Sample {
  Bytes plain;
  Bytes frame;
};

TEST(DataOpsRobustness, MutatedFramesStayWithinBoundAndClaim) {
  std::mt19937 gen(kSeed);
  SCOPED_TRACE("seed " + std::to_string(kSeed));
  DataOps ops;
  std::vector<Sample> samples;
  for (std::size_t size : {0, 1, 40, 3000, 20000, 70000}) {
    const Bytes plain = MixedContent(gen, size);
    for (int level : {1, 19}) samples.push_back({plain, ops.Compress(plain, level)});
  }
  const Bytes random = RandomBytes(gen, 5000);  // stored as raw blocks
  samples.push_back({random, ops.Compress(random)});

  constexpr int kFrameMutations = 20000;
  int decoded = 0;
  for (int i = 0; i < kFrameMutations; ++i) {
    const Sample& sample = samples[Pick(gen, samples.size())];
    Bytes input = sample.frame;
    const int changes = 1 + static_cast<int>(Pick(gen, 3));
    for (int c = 0; c < changes; ++c) Mutate(gen, input, 0);
    const std::size_t n = sample.plain.size();
    const std::size_t bounds[] = {0, n / 2, n, n + 1, 100, 1 << 20, SIZE_MAX};
    const std::size_t bound = bounds[Pick(gen, std::size(bounds))];

    const Bytes out = ops.Decompress(input, bound);
    ASSERT_LE(out.size(), bound) << "iteration " << i;
    if (input == sample.frame && bound >= n) {
      ASSERT_EQ(out, sample.plain) << "iteration " << i;
    }
    const long long declared = DeclaredSize(input);
    if (!out.empty()) {
      ++decoded;
      // A frame that decodes delivers exactly what it declares, never more.
      if (declared >= 0) {
        ASSERT_EQ(out.size(), static_cast<std::size_t>(declared)) << "iteration " << i;
      }
    }
  }
  // Some mutations (a flipped literal, say) still decode; most must not. Both paths ran.
  EXPECT_GT(decoded, 0);
  EXPECT_LT(decoded, kFrameMutations);
}

TEST(DataOpsRobustness, RandomBlocksNeverDecodeToMoreThanTheBound) {
  std::mt19937 gen(kSeed + 1);
  SCOPED_TRACE("seed " + std::to_string(kSeed + 1));
  DataOps ops;
  for (int i = 0; i < 10000; ++i) {
    Bytes input = RandomBytes(gen, Pick(gen, 400));
    if (Pick(gen, 4) != 0 && input.size() >= 5) {
      // Past the magic, so the decoder itself meets the noise.
      input[0] = 0x28;
      input[1] = 0xB5;
      input[2] = 0x2F;
      input[3] = 0xFD;
    }
    const std::size_t bound = Pick(gen, 2) == 0 ? 64 : SIZE_MAX;
    const Bytes out = ops.Decompress(input, bound);
    ASSERT_LE(out.size(), bound) << "iteration " << i;
    const long long declared = DeclaredSize(input);
    if (!out.empty() && declared >= 0) {
      ASSERT_EQ(out.size(), static_cast<std::size_t>(declared)) << "iteration " << i;
    }
  }
}

TEST(DataOpsRobustness, DamagedSealedBlocksOpenToNothing) {
  std::mt19937 gen(kSeed + 2);
  SCOPED_TRACE("seed " + std::to_string(kSeed + 2));
  // One password and one instance: every block shares one salt, so the key is derived once;
  // only the few deliberate salt mutations below pay a new derivation each.
  DataOps ops;
  const std::string password = "fuzz";
  struct Sealed {
    Bytes plain;
    Bytes block;
    int method;
  };
  std::vector<Sealed> blocks;
  for (int method : {1, 2}) {
    for (std::size_t size : {0, 1, 33, 1000}) {
      const Bytes plain = MixedContent(gen, size);
      blocks.push_back({plain, ops.Encrypt(plain, password, method), method});
      ASSERT_EQ(blocks.back().block.size(), size + DataOps::kEncryptionOverhead);
    }
  }
  const std::size_t kAfterSalt = 17;

  for (int i = 0; i < 3000; ++i) {
    const Sealed& sealed = blocks[Pick(gen, blocks.size())];
    Bytes input = sealed.block;
    if (Pick(gen, 10) == 0) {
      input[0] = static_cast<std::uint8_t>(gen());  // the scheme byte
    } else {
      const int changes = 1 + static_cast<int>(Pick(gen, 3));
      for (int c = 0; c < changes; ++c) Mutate(gen, input, kAfterSalt);
    }
    const int method = Pick(gen, 8) == 0 ? static_cast<int>(Pick(gen, 5)) - 1 : sealed.method;
    const Bytes out = ops.Decrypt(input, password, method);
    if (input == sealed.block && method == sealed.method) {
      ASSERT_EQ(out, sealed.plain) << "iteration " << i;
    } else {
      ASSERT_TRUE(out.empty()) << "iteration " << i;
    }
  }

  for (int i = 0; i < 5; ++i) {
    const Sealed& sealed = blocks[Pick(gen, blocks.size())];
    Bytes input = sealed.block;
    input[1 + Pick(gen, 16)] ^= static_cast<std::uint8_t>(1u << Pick(gen, 8));
    ASSERT_TRUE(ops.Decrypt(input, password, sealed.method).empty()) << "salt mutation " << i;
  }

  // Random bodies behind the real scheme byte and salt, and random blocks of any shape.
  const Bytes& model = blocks.front().block;
  for (int i = 0; i < 2000; ++i) {
    Bytes input(model.begin(), model.begin() + kAfterSalt);
    const Bytes rest = RandomBytes(gen, Pick(gen, 200));
    input.insert(input.end(), rest.begin(), rest.end());
    ASSERT_TRUE(ops.Decrypt(input, password, 1 + static_cast<int>(Pick(gen, 2))).empty()) << i;

    Bytes noise = RandomBytes(gen, Pick(gen, 120));
    if (!noise.empty() && noise[0] == 1) noise[0] = 2;  // keep the derivations at one
    ASSERT_TRUE(ops.Decrypt(noise, password, 1 + static_cast<int>(Pick(gen, 2))).empty()) << i;
  }

  // The unchanged blocks still open after all of this.
  for (const Sealed& sealed : blocks) {
    EXPECT_EQ(ops.Decrypt(sealed.block, password, sealed.method), sealed.plain);
  }
}

}  // namespace
}  // namespace tovask
