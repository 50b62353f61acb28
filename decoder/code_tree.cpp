// The tree rebuild without the quadratic placement: the leaf list is kept
// sorted from one rebuild to the next, and the joins merge the sorted leaves
// with the joined nodes, which are made in order of weight, as two queues.
// The working arrays are process-wide like the models: one rebuild at a time.
#include "decoder/code_tree.h"

namespace {

// The list's weights by position, heaviest first, behind two sentinels
// heavier than any weight: the joins read the list from its back (position
// 511) towards its front and up to two places beyond.
int32_t weights_behind_sentinels[2 + code_symbols];
int32_t* const list_weight = weights_behind_sentinels + 2;

// Weights of the joined nodes in order of making (they never decrease),
// then sentinels for the two nodes not made yet.
int32_t joined_weight[code_symbols + 2];
// Where each joined node went: its parent's child slot, 2 * parent + bit.
int16_t taken_into[code_symbols - 1];
// Runs of two or more joined nodes of equal weight: first node, one past last.
int16_t tie_runs[code_symbols / 2 + 1][2];

// Positions of the entries that the sort moves forward.
int16_t mover_at[code_symbols];

// A stable sort by descending weight of a list that the previous rebuild left
// sorted by the counts of then: only symbols whose counts grew can stand
// behind a lighter entry, and they move forward past the lighter entries
// only, so ties keep the list's order. An insertion sort in which an entry
// moves exactly when it is heavier than the lightest one before it: those
// entries are found first, without a branch, and only they are moved.
void sort_leaf_list(const int32_t frequency_table[code_symbols], int16_t leaf_list[code_symbols]) {
  list_weight[-1] = list_weight[-2] = INT32_MAX;
  int32_t movers = 0;
  int32_t lowest = INT32_MAX;
  for (int32_t p = 0; p < code_symbols; ++p) {
    int32_t weight = frequency_table[leaf_list[p]];
    list_weight[p] = weight;
    mover_at[movers] = static_cast<int16_t>(p);
    movers += weight > lowest;
    lowest = weight < lowest ? weight : lowest;
  }
  // Moving an entry shifts only entries before it: the later ones still
  // stand where they were found.
  for (int32_t m = 0; m < movers; ++m) {
    int32_t p = mover_at[m];
    int32_t weight = list_weight[p];
    int16_t symbol = leaf_list[p];
    int32_t q = p;
    do {
      list_weight[q] = list_weight[q - 1];
      leaf_list[q] = leaf_list[q - 1];
      --q;
    } while (list_weight[q - 1] < weight);  // stops at the first entry at least as heavy
    list_weight[q] = weight;
    leaf_list[q] = symbol;
  }
}

// The joins over the sorted list. Each takes the two last entries of the
// list, the later one as child1. A joined node stands behind the leaves of
// its weight, so on equal weights the joined node is taken first; nodes are
// made in order of non-decreasing weight, so the joined nodes in the list are
// taken lightest first, like a queue, except that among equal weights the
// newest stands furthest back and is taken first. The queue takes them oldest
// first; the children are put right afterwards: a run of equal weights is
// complete before its first node is taken (every node made from then on joins
// a node of the run or a heavier one with another node, so it is heavier),
// so the k-th taken of the run is the k-th from its end.
void join_leaf_list(const int16_t leaf_list[code_symbols], joined_pair children[code_symbols - 1]) {
  int16_t* child = &children[0][0];  // child slot 2k + bit of joined node k
  int32_t leaf = code_symbols - 1;   // the lightest leaf not taken
  int32_t joined = 0;                // the oldest joined node not taken
  int32_t leaf_weight = list_weight[leaf];
  int32_t joined_head = INT32_MAX;  // none made yet
  joined_weight[0] = INT32_MAX;
  int32_t run_start = 0;
  int32_t last_weight = -1;
  int32_t runs = 0;
  // The weights of the entries after the two heads are at hand before a
  // take, so that the next comparison waits for no load.
  int32_t leaf_next = list_weight[leaf - 1];
  int32_t joined_next = INT32_MAX;
  // Takes the last entry of the list into child slot `slot`; its weight.
  auto take = [&](int32_t slot) -> int32_t {
    if (joined_head <= leaf_weight) {
      int32_t weight = joined_head;
      child[slot] = static_cast<int16_t>(code_symbols + joined);
      taken_into[joined] = static_cast<int16_t>(slot);
      joined_head = joined_next;
      joined_next = joined_weight[joined + 2];
      ++joined;
      return weight;
    }
    int32_t weight = leaf_weight;
    child[slot] = leaf_list[leaf];
    leaf_weight = leaf_next;
    leaf_next = list_weight[leaf - 2];
    --leaf;
    return weight;
  };
  for (int32_t made = 0; made < code_symbols - 1; ++made) {
    int32_t sum = take(2 * made + 1);
    sum += take(2 * made);
    joined_weight[made] = sum;
    joined_weight[made + 1] = INT32_MAX;
    joined_weight[made + 2] = INT32_MAX;
    if (joined == made) joined_head = sum;
    if (joined + 1 == made) joined_next = sum;
    // A heavier node ends the run before it; runs of one need nothing.
    int32_t heavier = sum != last_weight;
    tie_runs[runs][0] = static_cast<int16_t>(run_start);
    tie_runs[runs][1] = static_cast<int16_t>(made);
    runs += heavier & (made - run_start >= 2);
    run_start = heavier ? made : run_start;
    last_weight = sum;
  }
  tie_runs[runs][0] = static_cast<int16_t>(run_start);
  tie_runs[runs][1] = static_cast<int16_t>(code_symbols - 1);
  runs += code_symbols - 1 - run_start >= 2;
  for (int32_t r = 0; r < runs; ++r) {
    int32_t first = tie_runs[r][0];
    int32_t end = tie_runs[r][1];
    for (int32_t n = first; n < end; ++n) {
      child[taken_into[n]] = static_cast<int16_t>(code_symbols + first + end - 1 - n);
    }
  }
}

// The list and children of build_code_tree's callers without their own.
int16_t spare_list[code_symbols];
joined_pair spare_children[code_symbols - 1];

}  // namespace

void reset_model(code_model* model) {
  for (int32_t s = 0; s < code_symbols; ++s) {
    model->frequency_table[s] = 1;
    model->order_table[s] = s;
  }
}

void build_code_tree(const int32_t frequency_table[code_symbols], int32_t order_table[code_symbols],
                     code_node node_table[code_nodes], code_node* node_list[code_symbols],
                     joined_pair* joined_children) {
  if (joined_children == nullptr) joined_children = spare_children;
  int16_t* list = spare_list;
  for (int32_t s = 0; s < code_symbols; ++s) list[order_table[s]] = static_cast<int16_t>(s);
  sort_leaf_list(frequency_table, list);
  for (int32_t p = 0; p < code_symbols; ++p) order_table[list[p]] = p;
  join_leaf_list(list, joined_children);

  for (int32_t s = 0; s < code_symbols; ++s) {
    code_node& leaf = node_table[s];
    leaf.symbol = s;
    leaf.weight = frequency_table[s];
    leaf.child0 = nullptr;
    leaf.child1 = nullptr;
  }
  for (int32_t k = 0; k < code_symbols - 1; ++k) {
    code_node& node = node_table[code_symbols + k];
    node.weight = joined_weight[k];
    node.child0 = &node_table[joined_children[k][0]];
    node.child1 = &node_table[joined_children[k][1]];
  }
  node_list[0] = &node_table[root_node];
}

void reset_list_model(list_model* model) {
  for (int32_t s = 0; s < code_symbols; ++s) {
    model->frequency_table[s] = 1;
    model->leaf_list[s] = static_cast<int16_t>(s);
  }
}

void rebuild_list_model(list_model* model) {
  sort_leaf_list(model->frequency_table, model->leaf_list);
  join_leaf_list(model->leaf_list, model->joined_children);
}
