// The tree rebuild, rule by rule.
#include "support/reference_decoder.h"

int reference_build_code_tree(const int32_t frequency_table[code_symbols], int32_t order_table[code_symbols],
                              code_node node_table[code_nodes], code_node* node_list[code_symbols]) {
  for (int32_t s = 0; s < code_symbols; ++s) {
    node_table[s].symbol = s;
    node_table[s].weight = frequency_table[s];
    node_table[s].child0 = nullptr;
    node_table[s].child1 = nullptr;
    node_list[order_table[s]] = &node_table[s];
  }
  int swaps = 0;
  int32_t start = 0;
  do {
    int32_t last = 511;
    for (int32_t j = 510; j >= start; --j) {
      if (node_list[j]->weight < node_list[j + 1]->weight) {
        code_node* t = node_list[j];
        node_list[j] = node_list[j + 1];
        node_list[j + 1] = t;
        last = j;
        ++swaps;
      }
    }
    start = last + 1;
  } while (start <= 510);
  for (int32_t p = 0; p < 512; ++p) order_table[node_list[p]->symbol] = p;
  for (int32_t m = 511; m >= 1; --m) {
    if (m < 511) {
      int32_t k = m;
      while (k > 0 && node_list[k - 1]->weight < node_list[k]->weight) {
        code_node* t = node_list[k - 1];
        node_list[k - 1] = node_list[k];
        node_list[k] = t;
        --k;
      }
    }
    code_node* made = &node_table[1023 - m];
    made->weight = node_list[m - 1]->weight + node_list[m]->weight;
    made->child0 = node_list[m - 1];
    made->child1 = node_list[m];
    node_list[m - 1] = made;
  }
  return swaps;
}
