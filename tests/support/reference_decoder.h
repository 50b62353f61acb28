// The decoder exactly as its rules are written, step by step and without any
// shortcut: the bubble sort and the placement scan of the tree rebuild, and
// the bit-by-bit walk down the tree. The production decoder must match it in
// every byte read, every byte produced and every pump.
#pragma once
#include <stdint.h>

#include "decoder/code_tree.h"

// Sorts by backward bubble passes, places each new node by a scan from the
// back of the list. Returns the number of swaps the sort made.
int reference_build_code_tree(const int32_t frequency_table[code_symbols], int32_t order_table[code_symbols],
                              code_node node_table[code_nodes], code_node* node_list[code_symbols]);

// expand_entry as written: read_bit over read_archive_byte, a tree walk per
// symbol, rebuilds with the reference builder, pump after every rebuild,
// window_put and window_byte for every byte, the same damaged-match exit.
void reference_expand_entry(int32_t expanded_size);
