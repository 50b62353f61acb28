// The hot loop: symbols straight from the current block through the lookup
// tables. It looks ahead at bytes of the block that read_archive_byte would
// hand out without a platform call or the end-of-archive test, and counts as
// read only the bytes that hold bits it used, so the stream advances exactly
// as with read_bit.
#include <string.h>

#include "app/failure_exits.h"
#include "archive/archive.h"
#include "decoder/decoder_state.h"
#include "decoder/output_window.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "bits are taken from little-endian words");

namespace {

// A load yields at least 57 bits: enough for the longest main code and the
// 12 extra bits, and for the longest distance code and its 4.
constexpr int32_t load_bits = 57;
static_assert(longest_code + long_match_bits <= load_bits, "a main code and its extra bits fit one load");
// The second load starts at most 8 bytes after the first, and each reads 8:
// 16 bytes ahead of the cursor must lie before the block's last data byte.
constexpr int32_t bytes_per_symbol = 16;

inline uint64_t bits_at(const uint8_t* bytes, uint32_t cursor) {
  uint64_t word;
  memcpy(&word, bytes + (cursor >> 3), sizeof word);
  return word >> (cursor & 7);
}

// The symbol at the front of `bits`; adds its code length to `cursor`.
inline int32_t decode(const code_table& table, const list_model& model, uint64_t bits, uint32_t* cursor) {
  uint32_t entry = table.entry[bits & (table_size - 1)];
  uint32_t length = entry >> entry_length_shift;
  if (length != 0) {
    *cursor += length;
    return static_cast<int32_t>(entry & (code_symbols - 1));
  }
  int32_t node = static_cast<int32_t>(entry & entry_value_mask);
  length = table_bits;
  do {
    node = model.joined_children[node - code_symbols][(bits >> length) & 1];
    ++length;
  } while (node >= code_symbols);
  *cursor += length;
  return node;
}

// Leaves the block reader and the bit reader as read_bit would have: the
// bytes that hold used bits are read, the last of them is the byte in use.
void settle_input(int32_t block_start, uint32_t cursor) {
  archive_stream.stream_position = block_start + static_cast<int32_t>((cursor + 7) >> 3);
  bit_count = static_cast<uint8_t>(cursor & 7);
  bit_buffer = bit_count ? static_cast<uint8_t>(archive_stream.block_buffer[cursor >> 3] >> bit_count) : 0;
}

}  // namespace

bool decode_fast_symbols(int32_t expanded_size, int32_t stop_count) {
  archive_stream_state& in = archive_stream;
  int32_t offset = in.stream_position & (block_data_size - 1);
  // At offset 0 the next byte needs a block read (or the current byte was the
  // block's last): read_bit's business.
  if (offset == 0) return false;
  // Bit position in block_buffer of the next bit; the byte in use is the one
  // before `offset`.
  uint32_t cursor = bit_count ? static_cast<uint32_t>(offset - 1) * 8 + bit_count : static_cast<uint32_t>(offset) * 8;
  int32_t last_start = in.block_length - 1 - bytes_per_symbol;
  if (static_cast<int32_t>(cursor >> 3) > last_start) return false;

  const uint8_t* bytes = in.block_buffer;
  int32_t block_start = in.stream_position - offset;
  int32_t count = symbol_count;
  int32_t done = produced;
  do {
    uint64_t bits = bits_at(bytes, cursor);
    uint32_t before = cursor;
    int32_t s = decode(main_table, main_model, bits, &cursor);
    ++main_model.frequency_table[s];
    if (s < first_length_symbol) {
      window_put(static_cast<uint8_t>(s));
      ++done;
    } else {
      int32_t match_length = s - length_bias;
      if (s == long_match_symbol) {
        match_length += static_cast<int32_t>((bits >> (cursor - before)) & ((1u << long_match_bits) - 1));
        cursor += long_match_bits;
      }
      bits = bits_at(bytes, cursor);
      before = cursor;
      int32_t d = decode(distance_table, distance_model, bits, &cursor);
      ++distance_model.frequency_table[d];
      int32_t match_distance = (d << distance_bits) + static_cast<int32_t>((bits >> (cursor - before)) & 15) + 1;
      cursor += distance_bits;
      // Before the entry's first byte lies nothing a sound archive refers to.
      if (match_distance > done) {
        settle_input(block_start, cursor);
        report_damaged_archive();
      }
      window_copy(match_distance, match_length);
      done += match_length;
    }
    ++count;
  } while (count < stop_count && done < expanded_size && cancel_requested == 0 &&
           static_cast<int32_t>(cursor >> 3) <= last_start);

  symbol_count = count;
  produced = done;
  settle_input(block_start, cursor);
  return true;
}
