// Little-endian fields, whatever the host's byte order: the archive's integers and its
// date-time double, and the magic numbers of the formats the engine checks. The one codec of
// the engine; nothing else packs or unpacks multi-byte values by hand.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <type_traits>
#include <vector>

namespace tovask::little_endian {

// Integers of 1, 2, 4 or 8 bytes, and IEEE-754 floating point of 4 or 8 bytes.
template <typename T>
concept Field = (std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                 (sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8)) ||
                (std::is_floating_point_v<T> && std::numeric_limits<T>::is_iec559 &&
                 (sizeof(T) == 4 || sizeof(T) == 8));

namespace detail {
template <std::size_t Size>
struct UnsignedOf;
template <>
struct UnsignedOf<1> {
  using type = std::uint8_t;
};
template <>
struct UnsignedOf<2> {
  using type = std::uint16_t;
};
template <>
struct UnsignedOf<4> {
  using type = std::uint32_t;
};
template <>
struct UnsignedOf<8> {
  using type = std::uint64_t;
};
template <typename T>
using Bits = typename UnsignedOf<sizeof(T)>::type;
}  // namespace detail

// Appends value's sizeof(T) bytes, least significant first.
template <Field T>
void Append(std::vector<std::uint8_t>& out, T value) {
  const auto bits = std::bit_cast<detail::Bits<T>>(value);
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
  }
}

// The value in the first sizeof(T) bytes of bytes, which must hold at least that many.
template <Field T>
[[nodiscard]] constexpr T Read(std::span<const std::uint8_t> bytes) {
  detail::Bits<T> bits = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    bits |= static_cast<detail::Bits<T>>(static_cast<detail::Bits<T>>(bytes[i]) << (8 * i));
  }
  return std::bit_cast<T>(bits);
}

}  // namespace tovask::little_endian
