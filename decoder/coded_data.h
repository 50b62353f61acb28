// The layout of a file entry's coded data, shared by the decoder and the
// encoder that mirrors it.
//
// Bits are taken from each byte from bit 0 up; a code's first bit is the one
// taken at the root. A symbol of the main tree is a literal (0 to 255), a
// match of length symbol - 254 (256 to 510), or the escape 511 followed by 12
// extra bits E for a length of 257 + E. A match goes on with a symbol D of the
// distance tree and 4 extra bits F: distance 16 * D + F + 1. Extra bits come
// least significant first. Both trees are rebuilt from the counts so far at
// every rebuild point, before the symbol of that number.
#pragma once
#include <stdint.h>

constexpr int32_t first_length_symbol = 256;
constexpr int32_t long_match_symbol = 511;
constexpr int32_t length_bias = 254;     // symbol - 254 = match length
constexpr int32_t longest_plain_length = long_match_symbol - 1 - length_bias;  // 256
constexpr int32_t long_match_base = long_match_symbol - length_bias;          // 257
constexpr int32_t long_match_bits = 12;  // 257 + E: up to 4352
constexpr int32_t distance_bits = 4;     // 16 * D + F + 1: up to 8192

// Every 256 symbols below 2048, every 1024 from there on.
inline bool is_rebuild_point(int32_t symbol_count) {
  return symbol_count % 256 == 0 && (symbol_count < 2048 || symbol_count % 1024 == 0);
}

// The first rebuild point after `symbol_count` (INT32_MAX when none is left).
inline int32_t next_rebuild_point(int32_t symbol_count) {
  int64_t step = symbol_count < 2048 ? 256 : 1024;
  int64_t next = (symbol_count / step + 1) * step;
  return next > INT32_MAX ? INT32_MAX : static_cast<int32_t>(next);
}
