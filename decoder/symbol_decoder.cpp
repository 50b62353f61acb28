// The entry's state machine: reset, rebuild points with the message pump, and
// symbol after symbol, through the lookup tables where the input allows and
// bit by bit through the tree where it does not (at block ends).
#include <string.h>

#include "app/failure_exits.h"
#include "archive/archive.h"
#include "decoder/decoder.h"
#include "decoder/decoder_state.h"
#include "decoder/output_window.h"

list_model main_model;
list_model distance_model;
code_table main_table;
code_table distance_table;
int32_t produced;
int32_t symbol_count;
uint8_t bit_buffer;
uint8_t bit_count;

uint8_t read_bit() {
  if (bit_count == 0) bit_buffer = next_archive_byte();
  uint8_t bit = bit_buffer & 1;
  bit_buffer >>= 1;
  bit_count = (bit_count + 1) & 7;
  return bit;
}

void pump_one_message() { platform_front->pump_one_message(); }

namespace {

// The total count each model's tree was last built from. Counts only grow
// within an entry, and every entry starts from the same counts and order
// (total 512), so an equal total means the same counts and order, hence the
// same tree: the rebuild is skipped.
int32_t built_total[2];

// The tree of the first rebuild of every entry (all counts 1, the identity
// order), the same for both models: made once, then copied.
list_model first_model;
code_table first_table;
bool first_tree_made;

void rebuild(list_model* model, code_table* table, int32_t* total_built_from) {
  int32_t total = 0;
  for (int32_t count : model->frequency_table) total += count;
  if (total == *total_built_from) return;
  if (total == code_symbols) {
    if (!first_tree_made) {
      reset_list_model(&first_model);
      rebuild_list_model(&first_model);
      fill_code_table(first_model.joined_children, &first_table);
      first_tree_made = true;
    }
    // Counts 1 and the order of a fresh entry: a sort would leave the list
    // as it is, and the tree is the first one.
    memcpy(model->joined_children, first_model.joined_children, sizeof first_model.joined_children);
    *table = first_table;
  } else {
    rebuild_list_model(model);
    fill_code_table(model->joined_children, table);
  }
  *total_built_from = total;
}

int32_t walk_tree(const list_model& model) {
  int32_t node = root_node;
  do {
    node = model.joined_children[node - code_symbols][read_bit()];
  } while (node >= code_symbols);
  return node;
}

int32_t read_extra_bits(int count) {
  int32_t value = 0;
  for (int i = 0; i < count; ++i) value |= read_bit() << i;
  return value;
}

void decode_symbol_bitwise() {
  int32_t s = walk_tree(main_model);
  ++main_model.frequency_table[s];
  if (s < first_length_symbol) {
    window_put(static_cast<uint8_t>(s));
    ++produced;
  } else {
    int32_t match_length = s - length_bias;
    if (s == long_match_symbol) match_length += read_extra_bits(long_match_bits);
    int32_t d = walk_tree(distance_model);
    ++distance_model.frequency_table[d];
    int32_t match_distance = (d << distance_bits) + read_extra_bits(distance_bits) + 1;
    // Before the entry's first byte lies nothing a sound archive refers to.
    if (match_distance > produced) report_damaged_archive();
    window_copy(match_distance, match_length);
    produced += match_length;
  }
  ++symbol_count;
}

}  // namespace

void expand_entry(int32_t expanded_size) {
  bit_count = 0;
  window_reset();
  reset_list_model(&main_model);
  reset_list_model(&distance_model);
  produced = 0;
  symbol_count = 0;
  while (produced < expanded_size && cancel_requested == 0) {
    if (is_rebuild_point(symbol_count)) {
      rebuild(&main_model, &main_table, &built_total[0]);
      rebuild(&distance_model, &distance_table, &built_total[1]);
      pump_one_message();
    }
    if (!decode_fast_symbols(expanded_size, next_rebuild_point(symbol_count))) decode_symbol_bitwise();
  }
}
