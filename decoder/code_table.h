// The codes of a built tree, as bit strings and as a lookup table that
// decodes the first bits of a code in one step.
#pragma once
#include <stdint.h>

#include "decoder/code_tree.h"

// The path from the root to every node of a tree: the bits in the order they
// are read, the first in bit 0, and how many. A code of n bits needs a total
// weight of at least the Fibonacci number F(n + 2), and weights stay below
// 2^31 < F(47), so no code is longer than 44 bits.
struct code_paths {
  uint64_t bits[code_nodes];
  uint8_t length[code_nodes];
};

constexpr int32_t longest_code = 44;

void trace_code_paths(const code_node node_table[code_nodes], code_paths* paths);

// Lookup tables take the next 10 bits of the stream, the first in bit 0.
// Every entry starts with 9-bit codes and most symbols keep codes of 10 bits
// or fewer, while 1024 entries (2 KB) stay cheap to fill at every rebuild
// point; longer codes go on from the node the 10 bits reach.
constexpr int32_t table_bits = 10;
constexpr int32_t table_size = 1 << table_bits;

// A table entry (16 bits):
//   bits 12-15  length of the code when it ends within the 10 bits (1 to 10);
//   bits 0-8    then its symbol.
//   bits 12-15 = 0: the code is longer; bits 0-9 are the index in node_table
//   of the internal node those 10 bits lead to, where the walk goes on.
constexpr uint16_t entry_length_shift = 12;
constexpr uint16_t entry_value_mask = 0x3FF;

struct code_table {
  uint16_t entry[table_size];
};

// Fills the table from a tree given as its joined nodes' children.
void fill_code_table(const joined_pair joined_children[code_symbols - 1], code_table* table);
