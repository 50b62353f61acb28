#include "decoder/code_table.h"

#include <string.h>

void trace_code_paths(const code_node node_table[code_nodes], code_paths* paths) {
  paths->bits[root_node] = 0;
  paths->length[root_node] = 0;
  // A node's children were made before it or are leaves, so one pass from
  // the root down to the first joined node reaches every node.
  for (int32_t n = root_node; n >= code_symbols; --n) {
    const code_node& node = node_table[n];
    uint64_t bits = paths->bits[n];
    uint8_t length = paths->length[n];
    int32_t zero = node_index(node_table, node.child0);
    int32_t one = node_index(node_table, node.child1);
    paths->bits[zero] = bits;
    paths->bits[one] = bits | uint64_t{1} << length;
    paths->length[zero] = paths->length[one] = static_cast<uint8_t>(length + 1);
  }
}

namespace {

// The internal nodes of the depth being filled and of the next one, each as
// its node number (low half) and the path bits that lead to it (high half):
// a walk down the tree one depth at a time, never deeper than the table.
uint32_t walk_queue[code_symbols];

}  // namespace

void fill_code_table(const joined_pair joined_children[code_symbols - 1], code_table* table) {
  // After depth d the first 2^d entries decode d bits. Going one deeper
  // doubles them, then the two children of every internal node of depth d
  // overwrite the two copies of its entry. No loop depends on a code length.
  uint16_t* entry = table->entry;
  const uint32_t* queue = walk_queue;
  uint32_t* next = walk_queue;
  *next++ = root_node;
  for (uint32_t depth = 1; depth <= table_bits; ++depth) {
    uint32_t half = 1u << (depth - 1);
    if (depth > 1) memcpy(entry + half, entry, half * sizeof *entry);
    uint32_t leaf_length = depth << entry_length_shift;
    const uint32_t* depth_end = next;
    for (; queue < depth_end; ++queue) {
      uint32_t bits = *queue >> 16;
      const int16_t* children = joined_children[(*queue & 0xFFFF) - code_symbols];
      for (uint32_t bit = 0; bit < 2; ++bit) {
        // A leaf's entry: length and symbol (its node number); an internal
        // node's: its number, for the walk beyond the table, and a place in
        // the queue for the next depth.
        uint32_t child = static_cast<uint16_t>(children[bit]);
        uint32_t child_bits = bits | (bit ? half : 0);
        uint32_t internal = child >> 9;  // node numbers from 512 up
        entry[child_bits] = static_cast<uint16_t>(child | (leaf_length & (internal - 1)));
        *next = child | child_bits << 16;
        next += internal;
      }
    }
  }
}
