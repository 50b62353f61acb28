// The tree rebuild in linear time for the joins: the sorted leaves and the
// nodes made so far are kept apart and merged by weight as they are taken,
// which gives the same list as placing each new node by a scan from the back.
// The working arrays are process-wide like the models: one rebuild at a time.
#include "decoder/code_tree.h"

#include <string.h>

void reset_model(code_model* model) {
  for (int32_t s = 0; s < code_symbols; ++s) {
    model->frequency_table[s] = 1;
    model->order_table[s] = s;
  }
}

namespace {

// Sort keys of the leaves, in list order. Ascending keys are descending
// weights; equal weights are ordered by the position the leaf was placed at;
// the low bits carry the symbol.
uint64_t leaf_keys[code_symbols];

inline uint64_t leaf_key(int32_t weight, int32_t position, int32_t symbol) {
  // Signed weights, heaviest first, as unsigned ascending numbers.
  uint32_t descending = static_cast<uint32_t>(weight) ^ 0x7FFFFFFFu;
  return static_cast<uint64_t>(descending) << 32 | static_cast<uint32_t>(position) << 16 |
         static_cast<uint32_t>(symbol);
}

// The list from its back (lightest first) while the joins run: the leaves,
// then a sentinel heavier than any weight (weights stay below 2^31 - 512).
int32_t leaf_weight[code_symbols + 1];
int16_t leaf_node[code_symbols];
// Weights of the joined nodes in order of making; they never decrease.
int32_t joined_weight[code_symbols - 1];
// The lightest group of joined nodes still in the list, by number of making,
// the newest (the one nearest the back of the list) on top.
int16_t lightest_group[code_symbols - 1];

}  // namespace

void build_code_tree(const int32_t frequency_table[code_symbols], int32_t order_table[code_symbols],
                     code_node node_table[code_nodes], code_node* node_list[code_symbols],
                     int16_t (*joined_children)[2]) {
  for (int32_t s = 0; s < code_symbols; ++s) {
    code_node& leaf = node_table[s];
    leaf.symbol = s;
    leaf.weight = frequency_table[s];
    leaf.child0 = nullptr;
    leaf.child1 = nullptr;
    leaf_keys[order_table[s]] = leaf_key(frequency_table[s], order_table[s], s);
  }

  // The leaves come in the order of the previous rebuild, so the list is
  // nearly sorted: an insertion sort, which finds the place of a leaf that
  // moves far by halving.
  uint64_t* keys = leaf_keys;
  for (int32_t i = 1; i < code_symbols; ++i) {
    uint64_t key = keys[i];
    if (keys[i - 1] < key) continue;
    int32_t j = i - 1;  // keys[j] > key
    for (int near = 0; near < 8 && j > 0 && keys[j - 1] > key; ++near) --j;
    if (j > 0 && keys[j - 1] > key) {
      int32_t low = 0;
      int32_t high = j - 1;
      while (low < high) {
        int32_t middle = (low + high) / 2;
        if (keys[middle] > key) {
          high = middle;
        } else {
          low = middle + 1;
        }
      }
      j = low;
    }
    memmove(keys + j + 1, keys + j, static_cast<size_t>(i - j) * sizeof key);
    keys[j] = key;
  }
  for (int32_t p = 0; p < code_symbols; ++p) {
    int32_t s = static_cast<int32_t>(keys[p] & 0x1FF);
    order_table[s] = p;
    leaf_weight[code_symbols - 1 - p] = frequency_table[s];
    leaf_node[code_symbols - 1 - p] = static_cast<int16_t>(s);
  }
  leaf_weight[code_symbols] = INT32_MAX;

  // Each join takes the last two entries of the list, the later one as
  // child1. A joined node stands behind the leaves of its weight and behind
  // the older joined nodes of its weight; as nodes are made in order of
  // non-decreasing weight, the joined nodes in the list are the lightest
  // group (newest taken first) and the heavier ones made after it.
  int32_t leaves_taken = 0;
  int32_t group_size = 0;
  int32_t lightest = INT32_MAX;  // weight of the lightest group; none: the sentinel
  int32_t heavier_from = 0;      // the heavier joined nodes: numbers heavier_from up to made - 1
  int32_t made = 0;
  auto take = [&](int32_t* weight) -> int32_t {
    if (lightest <= leaf_weight[leaves_taken]) {
      *weight = lightest;
      int32_t number = lightest_group[--group_size];
      if (group_size == 0) {
        if (heavier_from < made) {
          lightest = joined_weight[heavier_from];
          do {
            lightest_group[group_size++] = static_cast<int16_t>(heavier_from++);
          } while (heavier_from < made && joined_weight[heavier_from] == lightest);
        } else {
          lightest = INT32_MAX;
        }
      }
      return code_symbols + number;
    }
    *weight = leaf_weight[leaves_taken];
    return leaf_node[leaves_taken++];
  };
  for (; made < code_symbols - 1; ++made) {
    int32_t last_weight, before_last_weight;
    int32_t last = take(&last_weight);
    int32_t before_last = take(&before_last_weight);
    int32_t weight = before_last_weight + last_weight;
    code_node& node = node_table[code_symbols + made];
    node.weight = weight;
    node.child0 = &node_table[before_last];
    node.child1 = &node_table[last];
    joined_weight[made] = weight;
    if (joined_children) {
      joined_children[made][0] = static_cast<int16_t>(before_last);
      joined_children[made][1] = static_cast<int16_t>(last);
    }
    if (heavier_from == made && (group_size == 0 || weight == lightest)) {
      lightest_group[group_size++] = static_cast<int16_t>(made);
      lightest = weight;
      heavier_from = made + 1;
    }
  }
  node_list[0] = &node_table[root_node];
}
