// The adaptive prefix codes of the coded data: a tree over 512 symbols,
// rebuilt from symbol counts by joining the two lightest entries under fixed
// rules for sorting, ties and placement. Those rules are part of the archive
// format: any other tie order gives other codes.
#pragma once
#include <stdint.h>

// Main tree: 256 literals, 255 match lengths and the long-match escape.
// Distance tree: 512 symbols of 16 distances each, 8192 in all.
constexpr int32_t code_symbols = 512;
// A full binary tree with 512 leaves has 511 internal nodes; they follow the
// leaves in the order they were made, the root last.
constexpr int32_t code_nodes = 2 * code_symbols - 1;
constexpr int32_t root_node = code_nodes - 1;

struct code_node {
  int32_t symbol;     // leaves only; never written in internal nodes
  int32_t weight;     // a leaf's count, or the sum of the two children
  code_node* child0;  // reached with bit 0; null in a leaf
  code_node* child1;  // reached with bit 1; null in a leaf
};

inline bool is_leaf(const code_node* node) { return node->child0 == nullptr; }

// The children (child0, child1) of joined node 512 + k, as node numbers:
// 0 to 511 are the leaves (the symbols), 512 and up the joined nodes.
typedef int16_t joined_pair[2];

// One code: its counts, the leaf order of the last rebuild, and the tree
// (the four tables of the format, and the joined nodes' children once more).
// Counts start at 1 and grow by one per decoded symbol, so a model's total
// weight stays below 2^31 - 512 for any entry of fewer than 2^31 bytes (its
// last rebuild comes at a multiple of 1024 symbols): sums never overflow.
struct code_model {
  int32_t frequency_table[code_symbols];
  // Position of each symbol's leaf after the last sort; a permutation.
  int32_t order_table[code_symbols];
  // Leaves 0 to 511, then the internal nodes in order of making; 1022 is the root.
  code_node node_table[code_nodes];
  // The list of the joins, heaviest first; afterwards [0] is the root, the
  // only entry read after a rebuild.
  code_node* node_list[code_symbols];
  // The links of node_table once more, as numbers.
  joined_pair joined_children[code_symbols - 1];
};

// Counts 1 and the identity order: the state at the start of every entry.
void reset_model(code_model* model);

// Rebuilds the tree from the counts: a stable sort of the leaves by
// descending weight, starting from the order of the previous rebuild, then
// 511 joins of the last two entries of the list (the first of the two becomes
// child0), each new node placed behind every entry at least as heavy.
// `joined_children` (may be null) receives the children as numbers.
void build_code_tree(const int32_t frequency_table[code_symbols], int32_t order_table[code_symbols],
                     code_node node_table[code_nodes], code_node* node_list[code_symbols],
                     joined_pair* joined_children = nullptr);

inline void rebuild_model(code_model* model) {
  build_code_tree(model->frequency_table, model->order_table, model->node_table, model->node_list,
                  model->joined_children);
}

inline int32_t node_index(const code_node* node_table, const code_node* node) {
  return static_cast<int32_t>(node - node_table);
}

// The decoder's form of a code: the same counts and rebuild rules, with the
// leaf order kept as the list itself (the symbol at each position: the order
// table turned around, which the next sort starts from) and the tree kept as
// the joined nodes' children only, which is all that decoding walks.
struct list_model {
  int32_t frequency_table[code_symbols];
  int16_t leaf_list[code_symbols];
  joined_pair joined_children[code_symbols - 1];
};

void reset_list_model(list_model* model);
// The same tree as build_code_tree makes from the same counts and order.
void rebuild_list_model(list_model* model);
