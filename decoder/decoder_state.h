// The decoder's state between its files: the state machine of an entry
// (symbol_decoder.cpp), its hot loop (fast_symbols.cpp) and the bit reader.
#pragma once
#include <stdint.h>

#include "decoder/code_table.h"
#include "decoder/code_tree.h"
#include "decoder/coded_data.h"

extern list_model main_model;
extern list_model distance_model;
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

// Decodes symbols from the current block through the lookup tables, while
// the next symbol's bits surely lie in bytes that may be taken without a
// block read, up to `stop_count` symbols, `expanded_size` bytes or a cancel.
// The first symbol goes without those tests. Leaves the bit reader as if
// every bit had come through read_bit. Returns false when it decoded nothing.
bool decode_fast_symbols(int32_t expanded_size, int32_t stop_count);
