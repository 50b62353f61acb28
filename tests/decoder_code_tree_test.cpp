// The tree rebuild: the codes that the sort, the order table and the join
// rules give, and the fast builder against the rules applied step by step.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "decoder/code_table.h"
#include "decoder/code_tree.h"
#include "support/reference_decoder.h"

namespace {

// Models are large: keep them off the stack.
struct built_tree {
  code_model model;
  code_paths paths;

  void build() {
    rebuild_model(&model);
    trace_code_paths(model.node_table, &paths);
  }
  // The code of symbol s, first bit first.
  std::string code(int32_t s) const {
    std::string text;
    for (int i = 0; i < paths.length[s]; ++i) text += ((paths.bits[s] >> i) & 1) ? '1' : '0';
    return text;
  }
};

std::string nine_bits(uint32_t value) {
  std::string text;
  for (int i = 8; i >= 0; --i) text += ((value >> i) & 1) ? '1' : '0';
  return text;
}

TEST(CodeTree, FirstRebuildGivesEverySymbolTheNineBitCodeSymbolXorAA) {
  auto tree = std::make_unique<built_tree>();
  reset_model(&tree->model);
  tree->build();
  for (int32_t s = 0; s < code_symbols; ++s) {
    ASSERT_EQ(tree->code(s), nine_bits(static_cast<uint32_t>(s) ^ 0x0AA)) << "symbol " << s;
    ASSERT_EQ(tree->model.order_table[s], s);
  }
  EXPECT_EQ(tree->code(0), "010101010");
  EXPECT_EQ(tree->code(255), "001010101");
  EXPECT_EQ(tree->code(256), "110101010");
  EXPECT_EQ(tree->code(511), "101010101");
  // The first join makes a node of weight 2 from leaves 510 and 511.
  const code_node& first = tree->model.node_table[code_symbols];
  EXPECT_EQ(first.weight, 2);
  EXPECT_EQ(first.child0, &tree->model.node_table[510]);
  EXPECT_EQ(first.child1, &tree->model.node_table[511]);
  EXPECT_EQ(tree->model.node_list[0], &tree->model.node_table[root_node]);
  EXPECT_EQ(tree->model.node_table[root_node].weight, 512);
}

TEST(CodeTree, MadeUpWeightsGiveTheListedOrderAndCodes) {
  auto tree = std::make_unique<built_tree>();
  reset_model(&tree->model);
  tree->model.frequency_table[65] = 5;
  tree->model.frequency_table[10] = 3;
  tree->model.frequency_table[300] = 3;
  tree->build();

  const int32_t* order = tree->model.order_table;
  std::vector<std::pair<int, int>> positions = {{65, 0},  {10, 1},  {300, 2},  {0, 3},    {9, 12},   {11, 13},
                                                {64, 66}, {66, 67}, {299, 300}, {301, 301}, {511, 511}};
  for (auto [symbol, position] : positions) EXPECT_EQ(order[symbol], position) << "symbol " << symbol;

  std::vector<std::pair<int, std::string>> codes = {
      {65, "0000010"},    {10, "00000010"},   {300, "00000011"},   {0, "000001101"},
      {1, "0000011000"},  {2, "0000011001"},  {64, "001001110"},   {66, "001001111"},
      {510, "000001110"}, {511, "000001111"},
  };
  for (const auto& [symbol, code] : codes) EXPECT_EQ(tree->code(symbol), code) << "symbol " << symbol;

  int by_length[64] = {};
  for (int32_t s = 0; s < code_symbols; ++s) ++by_length[tree->paths.length[s]];
  EXPECT_EQ(by_length[7], 1);
  EXPECT_EQ(by_length[8], 2);
  EXPECT_EQ(by_length[9], 499);
  EXPECT_EQ(by_length[10], 10);
}

TEST(CodeTree, RebuildingFromTheSameCountsGivesTheSameTreeAndOrder) {
  auto tree = std::make_unique<built_tree>();
  reset_model(&tree->model);
  std::mt19937 random(7);
  for (int32_t& count : tree->model.frequency_table) count = 1 + static_cast<int32_t>(random() % 6);
  tree->build();
  auto again = std::make_unique<built_tree>(*tree);
  again->build();
  for (int32_t s = 0; s < code_symbols; ++s) {
    ASSERT_EQ(again->model.order_table[s], tree->model.order_table[s]);
    ASSERT_EQ(again->code(s), tree->code(s));
  }
  // The reference sort, fed the order it left, makes no swap.
  EXPECT_EQ(reference_build_code_tree(again->model.frequency_table, again->model.order_table,
                                      again->model.node_table, again->model.node_list),
            0);
}

TEST(CodeTree, EqualWeightsKeepThePreviousRebuildsOrderNotTheSymbolOrder) {
  auto tree = std::make_unique<built_tree>();
  reset_model(&tree->model);
  tree->model.frequency_table[300] = 3;
  tree->model.frequency_table[10] = 2;
  tree->build();
  ASSERT_LT(tree->model.order_table[300], tree->model.order_table[10]);
  // Both end with weight 4: 300 stays ahead, and so is joined as child0.
  tree->model.frequency_table[300] = 4;
  tree->model.frequency_table[10] = 4;
  tree->build();
  EXPECT_EQ(tree->model.order_table[300], 0);
  EXPECT_EQ(tree->model.order_table[10], 1);
  // Same weights in a fresh entry, where the order is the identity: 10 first.
  code_model fresh_counts = tree->model;
  reset_model(&tree->model);
  std::copy(std::begin(fresh_counts.frequency_table), std::end(fresh_counts.frequency_table),
            tree->model.frequency_table);
  tree->build();
  EXPECT_EQ(tree->model.order_table[10], 0);
  EXPECT_EQ(tree->model.order_table[300], 1);
}

// --- the fast builder against the rules step by step -----------------------

struct tree_pair {
  code_model fast, reference;
};

// The tree as indices: what a decoder or an encoder can see of it.
void expect_same_tree(const code_model& fast, const code_model& reference, const std::string& what) {
  for (int32_t s = 0; s < code_symbols; ++s) {
    ASSERT_EQ(fast.order_table[s], reference.order_table[s]) << what << ": order of " << s;
  }
  ASSERT_EQ(node_index(fast.node_table, fast.node_list[0]), node_index(reference.node_table, reference.node_list[0]))
      << what;
  for (int32_t n = 0; n < code_nodes; ++n) {
    const code_node& a = fast.node_table[n];
    const code_node& b = reference.node_table[n];
    ASSERT_EQ(a.weight, b.weight) << what << ": node " << n;
    ASSERT_EQ(a.child0 == nullptr, b.child0 == nullptr) << what << ": node " << n;
    if (a.child0 == nullptr) {
      ASSERT_EQ(a.symbol, b.symbol) << what << ": node " << n;
    } else {
      ASSERT_EQ(node_index(fast.node_table, a.child0), node_index(reference.node_table, b.child0))
          << what << ": node " << n;
      ASSERT_EQ(node_index(fast.node_table, a.child1), node_index(reference.node_table, b.child1))
          << what << ": node " << n;
    }
  }
}

void build_both(tree_pair& pair) {
  rebuild_model(&pair.fast);
  reference_build_code_tree(pair.reference.frequency_table, pair.reference.order_table, pair.reference.node_table,
                            pair.reference.node_list);
}

// Count tables of several shapes: few distinct small weights (many ties),
// skewed, Fibonacci-like (deep trees), large, and single heavy symbols.
void random_counts(std::mt19937& random, int shape, int32_t* counts) {
  for (int32_t s = 0; s < code_symbols; ++s) {
    switch (shape) {
      case 0: counts[s] = 1 + static_cast<int32_t>(random() % 2); break;
      case 1: counts[s] = 1 + static_cast<int32_t>(random() % 5); break;
      case 2: counts[s] = 1 + static_cast<int32_t>(std::geometric_distribution<int>(0.05)(random)); break;
      case 3: counts[s] = 1 + static_cast<int32_t>(random() % 1000000); break;
      case 4: counts[s] = s % 40 == 0 ? 1 + static_cast<int32_t>(random() % 100000) : 1; break;
      default: counts[s] = 1;
    }
  }
  if (shape == 5) {
    // Weights that grow like the Fibonacci numbers give codes of 40 bits and more.
    int32_t a = 1, b = 1;
    for (int i = 0; i < 42; ++i) {
      counts[random() % code_symbols] = a;
      int32_t c = a + b;
      a = b;
      b = c;
    }
  }
}

TEST(CodeTree, FastBuilderMatchesTheRulesOnRandomCountsAndOrders) {
  std::mt19937 random(20240611);
  auto pair = std::make_unique<tree_pair>();
  for (int round = 0; round < 600; ++round) {
    int shape = round % 6;
    random_counts(random, shape, pair->fast.frequency_table);
    std::iota(std::begin(pair->fast.order_table), std::end(pair->fast.order_table), 0);
    if (round % 3 != 0) std::shuffle(std::begin(pair->fast.order_table), std::end(pair->fast.order_table), random);
    pair->reference = pair->fast;
    build_both(*pair);
    expect_same_tree(pair->fast, pair->reference, "round " + std::to_string(round) + " shape " + std::to_string(shape));
  }
}

TEST(CodeTree, FastBuilderMatchesTheRulesAlongAnEntrysRebuilds) {
  // Counts that grow symbol by symbol, the order table carried from one
  // rebuild to the next, as a decoder does them.
  std::mt19937 random(99);
  auto pair = std::make_unique<tree_pair>();
  for (int entry = 0; entry < 6; ++entry) {
    reset_model(&pair->fast);
    pair->reference = pair->fast;
    std::geometric_distribution<int> skew(entry % 2 ? 0.3 : 0.02);
    for (int rebuild = 0; rebuild < 40; ++rebuild) {
      build_both(*pair);
      expect_same_tree(pair->fast, pair->reference,
                       "entry " + std::to_string(entry) + " rebuild " + std::to_string(rebuild));
      for (int k = 0; k < 1024; ++k) {
        int32_t s = (skew(random) * 37 + entry) % code_symbols;
        ++pair->fast.frequency_table[s];
        ++pair->reference.frequency_table[s];
      }
    }
  }
}

// The decoder's model keeps the sorted list itself from one rebuild to the
// next; along long runs of count increments (few symbols or many, skewed or
// flat, so that ties come and go) it must give the same order and tree as
// the rules applied step by step.
TEST(CodeTree, ListModelMatchesTheRulesAlongLongRunsOfIncrements) {
  std::mt19937 random(31);
  auto list = std::make_unique<list_model>();
  auto reference = std::make_unique<code_model>();
  for (int entry = 0; entry < 12; ++entry) {
    reset_list_model(list.get());
    reset_model(reference.get());
    int alphabet = entry % 3 == 0 ? 8 : entry % 3 == 1 ? 90 : code_symbols;
    std::geometric_distribution<int> skew(entry % 4 < 2 ? 0.02 : 0.4);
    int increments = entry % 2 ? 256 : 1024;
    for (int rebuild = 0; rebuild < 120; ++rebuild) {
      rebuild_list_model(list.get());
      reference_build_code_tree(reference->frequency_table, reference->order_table, reference->node_table,
                                reference->node_list);
      std::string what = "entry " + std::to_string(entry) + " rebuild " + std::to_string(rebuild);
      for (int32_t p = 0; p < code_symbols; ++p) {
        ASSERT_EQ(reference->order_table[list->leaf_list[p]], p) << what << ": position " << p;
      }
      for (int32_t k = 0; k < code_symbols - 1; ++k) {
        const code_node& node = reference->node_table[code_symbols + k];
        ASSERT_EQ(list->joined_children[k][0], node_index(reference->node_table, node.child0)) << what << ": node " << k;
        ASSERT_EQ(list->joined_children[k][1], node_index(reference->node_table, node.child1)) << what << ": node " << k;
      }
      for (int i = 0; i < increments; ++i) {
        int32_t s = (skew(random) * 7 + static_cast<int32_t>(random() % 3)) % alphabet * (code_symbols / alphabet);
        ++list->frequency_table[s];
        ++reference->frequency_table[s];
      }
    }
  }
}

TEST(CodeTree, NoCodeIsLongerThanFortyFourBits) {
  // The deepest tree: weights that grow like the Fibonacci numbers, as far as
  // a model's total weight can go (below 2^31 - 512).
  auto tree = std::make_unique<built_tree>();
  reset_model(&tree->model);
  int64_t total = code_symbols;
  int64_t a = 1, b = 1;
  for (int32_t s = 0; s < code_symbols && total + a - 1 < (int64_t{1} << 31) - 512; ++s) {
    tree->model.frequency_table[s] = static_cast<int32_t>(a);
    total += a - 1;
    int64_t c = a + b;
    a = b;
    b = c;
  }
  tree->build();
  int longest = *std::max_element(tree->paths.length, tree->paths.length + code_symbols);
  EXPECT_LE(longest, longest_code);
  EXPECT_GT(longest, 20);
}

TEST(CodeTable, EveryIndexLeadsWhereTheBitsWalkTheTree) {
  std::mt19937 random(5);
  auto model = std::make_unique<code_model>();
  auto table = std::make_unique<code_table>();
  auto paths = std::make_unique<code_paths>();
  for (int round = 0; round < 60; ++round) {
    reset_model(model.get());
    random_counts(random, round % 6, model->frequency_table);
    rebuild_model(model.get());
    fill_code_table(model->joined_children, table.get());
    trace_code_paths(model->node_table, paths.get());
    for (uint32_t index = 0; index < table_size; ++index) {
      const code_node* node = model->node_list[0];
      int depth = 0;
      while (node->child0 != nullptr && depth < table_bits) {
        node = (index >> depth) & 1 ? node->child1 : node->child0;
        ++depth;
      }
      uint16_t entry = table->entry[index];
      if (node->child0 == nullptr) {
        ASSERT_EQ(entry >> entry_length_shift, depth) << "index " << index;
        ASSERT_EQ(entry & 0x1FF, node->symbol) << "index " << index;
      } else {
        ASSERT_EQ(entry >> entry_length_shift, 0) << "index " << index;
        ASSERT_EQ(&model->node_table[entry & entry_value_mask], node) << "index " << index;
      }
    }
  }
}

}  // namespace
