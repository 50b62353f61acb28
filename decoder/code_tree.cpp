// The tree rebuild in linear time for the joins: the sorted leaves and the
// nodes made so far are kept apart and merged by weight as they are taken,
// which gives the same list as placing each new node by a scan from the back.
#include "decoder/code_tree.h"

void reset_model(code_model* model) {
  for (int32_t s = 0; s < code_symbols; ++s) {
    model->frequency_table[s] = 1;
    model->order_table[s] = s;
  }
}

namespace {

// Sort keys of the leaves, in list order. Ascending keys are descending
// weights; equal weights are ordered by the position the leaf was placed at;
// the low bits carry the symbol. Process-wide like the models: one rebuild
// runs at a time.
uint64_t leaf_keys[code_symbols];

inline uint64_t leaf_key(int32_t weight, int32_t position, int32_t symbol) {
  // Signed weights, heaviest first, as unsigned ascending numbers.
  uint32_t descending = static_cast<uint32_t>(weight) ^ 0x7FFFFFFFu;
  return static_cast<uint64_t>(descending) << 32 | static_cast<uint32_t>(position) << 16 |
         static_cast<uint32_t>(symbol);
}

// The nodes made by the joins that are still in the list. Nodes are made in
// order of non-decreasing weight, and a new node goes behind its equals, so
// the lightest group is taken newest first and the heavier ones follow in
// order of making:
//   node[lo..top)    the lightest group, all of one weight, newest at top - 1
//   node[next..tail) the heavier nodes, in order of making
struct join_queue {
  code_node* node[code_symbols - 1];
  int32_t lo, top, next, tail;
};

join_queue joined;

inline code_node* take_joined() {
  join_queue& q = joined;
  code_node* taken = q.node[--q.top];
  if (q.top == q.lo && q.next < q.tail) {
    q.lo = q.next;
    int32_t weight = q.node[q.lo]->weight;
    q.top = q.lo + 1;
    while (q.top < q.tail && q.node[q.top]->weight == weight) ++q.top;
    q.next = q.top;
  }
  return taken;
}

inline void add_joined(code_node* node) {
  join_queue& q = joined;
  if (q.top == q.lo) {
    // Nothing of the joins is left in the list: start afresh.
    q.node[0] = node;
    q.lo = 0;
    q.top = q.next = q.tail = 1;
  } else if (q.next == q.tail && node->weight == q.node[q.lo]->weight) {
    // Joins the lightest group at its back; slots above top were taken.
    q.node[q.top++] = node;
    q.next = q.tail = q.top;
  } else {
    q.node[q.tail++] = node;
  }
}

}  // namespace

void build_code_tree(const int32_t frequency_table[code_symbols], int32_t order_table[code_symbols],
                     code_node node_table[code_nodes], code_node* node_list[code_symbols]) {
  for (int32_t s = 0; s < code_symbols; ++s) {
    code_node& leaf = node_table[s];
    leaf.symbol = s;
    leaf.weight = frequency_table[s];
    leaf.child0 = nullptr;
    leaf.child1 = nullptr;
    leaf_keys[order_table[s]] = leaf_key(frequency_table[s], order_table[s], s);
  }

  // The leaves come in the order of the previous rebuild, so the list is
  // nearly sorted and an insertion sort moves few of them.
  uint64_t* keys = leaf_keys;
  for (int32_t i = 1; i < code_symbols; ++i) {
    uint64_t key = keys[i];
    if (keys[i - 1] < key) continue;
    int32_t j = i;
    do {
      keys[j] = keys[j - 1];
      --j;
    } while (j > 0 && keys[j - 1] > key);
    keys[j] = key;
  }
  for (int32_t p = 0; p < code_symbols; ++p) {
    int32_t s = static_cast<int32_t>(keys[p] & 0x1FF);
    order_table[s] = p;
    node_list[p] = &node_table[s];
  }

  // Each join takes the last two entries of the list: the later one becomes
  // child1. Among equal weights the joined nodes stand behind the leaves.
  int32_t leaves_left = code_symbols;
  joined.lo = joined.top = joined.next = joined.tail = 0;
  for (int32_t made = code_symbols; made < code_nodes; ++made) {
    code_node* pair[2];
    for (code_node*& taken : pair) {
      bool from_joined = joined.top > joined.lo &&
                         (leaves_left == 0 || joined.node[joined.top - 1]->weight <= node_list[leaves_left - 1]->weight);
      taken = from_joined ? take_joined() : node_list[--leaves_left];
    }
    code_node& node = node_table[made];
    node.weight = pair[0]->weight + pair[1]->weight;
    node.child0 = pair[1];
    node.child1 = pair[0];
    add_joined(&node);
  }
  node_list[0] = &node_table[root_node];
}
