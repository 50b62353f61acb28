// The decoder's state between its files: the state machine of an entry
// (symbol_decoder.cpp), its hot loop (fast_symbols.cpp) and the bit reader.
#pragma once
#include <stdint.h>

#include "decoder/code_table.h"
#include "decoder/code_tree.h"

extern code_model main_model;
extern code_model distance_model;
// Lookup tables of the two trees, filled at every rebuild point.
extern code_table main_table;
extern code_table distance_table;

extern int32_t produced;      // bytes produced in this entry
extern int32_t symbol_count;  // main symbols decoded in this entry

// The coded byte in use, shifted so that its next bit is bit 0, and how many
// of its bits are used up (0: the next bit needs a new byte).
extern uint8_t bit_buffer;
extern uint8_t bit_count;

uint8_t read_bit();

// Main symbols: literals below 256, match lengths 2 to 256 from 256 to 510,
// and the long-match escape with 12 extra bits.
constexpr int32_t first_length_symbol = 256;
constexpr int32_t long_match_symbol = 511;
constexpr int32_t length_bias = 254;      // symbol - 254 = match length
constexpr int32_t long_match_bits = 12;   // 257 + E: up to 4352
constexpr int32_t distance_bits = 4;      // 16 * D + F + 1: up to 8192

// Decodes symbols from the current block through the lookup tables, while
// the next symbol's bits surely lie in bytes that may be taken without a
// block read, up to `stop_count` symbols, `expanded_size` bytes or a cancel.
// The first symbol goes without those tests. Leaves the bit reader as if
// every bit had come through read_bit. Returns false when it decoded nothing.
bool decode_fast_symbols(int32_t expanded_size, int32_t stop_count);
