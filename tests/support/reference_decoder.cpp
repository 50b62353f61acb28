// The symbol decoder, step by step.
#include "support/reference_decoder.h"

#include "app/failure_exits.h"
#include "archive/archive.h"
#include "decoder/decoder.h"
#include "decoder/output_window.h"

namespace {

code_model main_tree;
code_model distance_tree;
uint8_t bit_buffer;
uint8_t bit_count;

int read_bit() {
  if (bit_count == 0) bit_buffer = read_archive_byte();
  int bit = bit_buffer & 1;
  bit_buffer >>= 1;
  bit_count = (bit_count + 1) % 8;
  return bit;
}

int32_t decode(const code_model& model) {
  const code_node* node = model.node_list[0];
  do {
    node = read_bit() == 1 ? node->child1 : node->child0;
  } while (node->child0 != nullptr);
  return node->symbol;
}

void reset(code_model& model) {
  for (int32_t s = 0; s < 512; ++s) {
    model.frequency_table[s] = 1;
    model.order_table[s] = s;
  }
}

void build(code_model& model) {
  reference_build_code_tree(model.frequency_table, model.order_table, model.node_table, model.node_list);
}

}  // namespace

void reference_expand_entry(int32_t expanded_size) {
  bit_count = 0;
  window_reset();
  reset(main_tree);
  reset(distance_tree);
  int32_t produced = 0;
  int32_t symbol_count = 0;
  while (produced < expanded_size && cancel_requested == 0) {
    if (symbol_count % 256 == 0 && (symbol_count < 2048 || symbol_count % 1024 == 0)) {
      build(main_tree);
      build(distance_tree);
      pump_one_message();
    }
    int32_t s = decode(main_tree);
    main_tree.frequency_table[s] += 1;
    if (s < 256) {
      window_put(static_cast<uint8_t>(s));
      produced += 1;
    } else {
      int32_t match_length = s - 254;
      if (s == 511) {
        for (int i = 0; i <= 11; ++i) match_length += read_bit() << i;
      }
      int32_t d = decode(distance_tree);
      distance_tree.frequency_table[d] += 1;
      int32_t match_distance = 16 * d + 1;
      for (int i = 0; i <= 3; ++i) match_distance += read_bit() << i;
      if (match_distance > produced) report_damaged_archive();
      for (int32_t k = 0; k < match_length; ++k) window_put(window_byte(produced - match_distance + k));
      produced += match_length;
    }
    symbol_count += 1;
  }
}
