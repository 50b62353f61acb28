// The parse of an entry into literals and matches, independent of how they
// are coded, so that another parse (a cost-based one) can take its place.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvex::pack {

constexpr uint32_t shortest_match_length = 2;
constexpr uint32_t longest_match_length = 4352;  // 257 + 4095 with the escape
constexpr uint32_t farthest_match_distance = 8192; // the history the extractor keeps

// A literal (length 1, value = the byte) or a match (length 2 to 4352,
// value = the distance 1 to 8192 back from the match's first byte).
struct lz_token {
  uint16_t length;
  uint16_t value;

  static lz_token literal(uint8_t byte) { return {1, byte}; }
  static lz_token match(uint32_t length, uint32_t distance) {
    return {static_cast<uint16_t>(length), static_cast<uint16_t>(distance)};
  }
  bool is_literal() const { return length == 1; }
};

// How hard the hash-chain search tries.
struct parse_limits {
  int chain;             // candidates looked at per position
  uint32_t good_length;  // a match this long already: look at a quarter of them
  uint32_t lazy_length;  // a match this long is taken without trying the next position
  uint32_t nice_length;  // a match this long ends the search
  uint32_t pair_distance;  // farthest distance of a 2-byte match; 0: none
};

// Greedy with one step of lazy evaluation: a match is deferred while the
// next position offers a longer one. Every token stays within the data and
// refers only to bytes before it.
std::vector<lz_token> parse_lazy(const uint8_t* data, size_t size, const parse_limits& limits);

}  // namespace quorvex::pack
