#include "decoder/code_table.h"

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
code_paths traced;  // scratch of one fill at a time
}

void fill_code_table(const code_node node_table[code_nodes], code_table* table) {
  trace_code_paths(node_table, &traced);
  int32_t longest = 0;
  for (int32_t n = 0; n < code_symbols; ++n) {
    int32_t length = traced.length[n];
    if (length > longest) longest = length;
    if (length > table_bits) continue;
    // Every 10-bit index that starts with the code.
    uint16_t entry = static_cast<uint16_t>(length << entry_length_shift | n);
    for (uint32_t index = static_cast<uint32_t>(traced.bits[n]); index < table_size; index += 1u << length) {
      table->entry[index] = entry;
    }
  }
  for (int32_t n = code_symbols; n < code_nodes; ++n) {
    if (traced.length[n] == table_bits) table->entry[traced.bits[n]] = static_cast<uint16_t>(n);
  }
  table->longest = longest;
}
