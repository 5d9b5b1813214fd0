// Little-endian packing of the archive's 32-bit integer fields, independent of the host's byte
// order. Internal to the reader and the writer.
#pragma once

#include <cstdint>

#include "platform/bytes.h"

namespace tovask::byte_order {

inline constexpr std::size_t kInt32Size = 4;

inline void AppendInt32(Bytes& out, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  out.push_back(static_cast<std::uint8_t>(bits & 0xFF));
  out.push_back(static_cast<std::uint8_t>((bits >> 8) & 0xFF));
  out.push_back(static_cast<std::uint8_t>((bits >> 16) & 0xFF));
  out.push_back(static_cast<std::uint8_t>((bits >> 24) & 0xFF));
}

// The int32 in the first four bytes of bytes (which must hold at least four).
[[nodiscard]] inline std::int32_t ReadInt32(ByteView bytes) {
  const std::uint32_t bits =
      static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
      (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
  return static_cast<std::int32_t>(bits);
}

}  // namespace tovask::byte_order
