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

// The internal nodes of one depth, with their path bits: the rows of a walk
// down the tree, one depth at a time, never deeper than the table.
struct table_row {
  int16_t node[code_symbols];
  uint16_t bits[code_symbols];
  int32_t size;
};
table_row rows[2];

// Writes the entry of a child reached by `bits` and keeps it for the next
// depth when it is internal; returns the new size of that row.
inline int32_t add_child(uint16_t* entry, table_row* next, int32_t size, uint32_t child, uint32_t bits,
                         uint16_t leaf_length) {
  // A leaf's entry: length and symbol (its node number); an internal node's:
  // its number, for the walk beyond the table.
  uint32_t internal = child >= static_cast<uint32_t>(code_symbols);
  entry[bits] = static_cast<uint16_t>(child | (leaf_length & (internal - 1)));
  next->node[size] = static_cast<int16_t>(child);
  next->bits[size] = static_cast<uint16_t>(bits);
  return size + static_cast<int32_t>(internal);
}

}  // namespace

void fill_code_table(const code_model* model, code_table* table) {
  // After depth d the first 2^d entries decode d bits. Going one deeper
  // doubles them, then the two children of every internal node of depth d
  // overwrite the two copies of its entry. No loop depends on a code length.
  uint16_t* entry = table->entry;
  table_row* row = &rows[0];
  table_row* next = &rows[1];
  row->node[0] = static_cast<int16_t>(root_node);
  row->bits[0] = 0;
  row->size = 1;
  for (uint32_t depth = 1; depth <= table_bits; ++depth) {
    uint32_t half = 1u << (depth - 1);
    if (depth > 1) memcpy(entry + half, entry, half * sizeof *entry);
    uint16_t leaf_length = static_cast<uint16_t>(depth << entry_length_shift);
    int32_t size = 0;
    for (int32_t i = 0; i < row->size; ++i) {
      const int16_t* children = model->joined_children[row->node[i] - code_symbols];
      uint32_t bits = row->bits[i];
      size = add_child(entry, next, size, static_cast<uint32_t>(children[0]), bits, leaf_length);
      size = add_child(entry, next, size, static_cast<uint32_t>(children[1]), bits | half, leaf_length);
    }
    next->size = size;
    table_row* done = row;
    row = next;
    next = done;
  }
}
