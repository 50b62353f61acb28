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

// After a refill the bit window holds at least 56 bits: enough for the
// longest main code and the 12 extra bits, and after the next refill for the
// longest distance code and its 4.
constexpr uint32_t refilled_bits = 56;
static_assert(longest_code + long_match_bits <= refilled_bits, "a main code and its extra bits fit one refill");
// One symbol uses at most 44 + 12 + 44 + 4 bits, so its last bit lies at
// most 13 bytes after the byte of its first bit. A refill starts at the byte
// `count` bits after the cursor (count at most 63), while the cursor moves at
// most those 104 bits within the symbol: no byte loaded lies more than
// (104 + 63) / 8 + 7 = 27 bytes after the byte of the symbol's first bit.
constexpr int32_t symbol_bytes = 13;
constexpr int32_t refill_reach = 27;
// Wide copies of a match write up to this many bytes past its end.
constexpr int32_t copy_overrun = 16;

inline uint64_t load_word(const uint8_t* bytes) {
  uint64_t word;
  memcpy(&word, bytes, sizeof word);
  return word;
}

// The bits of the stream from the cursor on, in the order they are read, the
// first in bit 0: `count` of them are valid, and `ahead` points at the byte
// whose first bit follows them. The bits above `count` are either zero or
// the stream's own, so a refill may OR the same bits in again.
struct bit_window {
  uint64_t bits;
  uint32_t count;
  const uint8_t* ahead;
};

inline void refill(bit_window* in) {
  in->bits |= load_word(in->ahead) << in->count;
  in->ahead += (63 - in->count) >> 3;
  in->count |= refilled_bits;
}

inline void drop(bit_window* in, uint32_t n) {
  in->bits >>= n;
  in->count -= n;
}

// The symbol whose table entry `entry` is (looked up with the window's
// first bits), which the window then drops. A code longer than the table
// goes on through the tree from the node the entry names.
inline int32_t finish_decode(uint32_t entry, const list_model& model, bit_window* in) {
  uint32_t length = entry >> entry_length_shift;
  if (length != 0) {
    drop(in, length);
    return static_cast<int32_t>(entry & (code_symbols - 1));
  }
  int32_t node = static_cast<int32_t>(entry & entry_value_mask);
  length = table_bits;
  do {
    node = model.joined_children[node - code_symbols][(in->bits >> length) & 1];
    ++length;
  } while (node >= code_symbols);
  drop(in, length);
  return node;
}

inline uint32_t table_entry(const code_table& table, const bit_window& in) {
  return table.entry[in.bits & (table_size - 1)];
}

// Appends a match that ends at least copy_overrun bytes before the end of
// the window buffer. Wide steps never read a byte that the same step writes.
inline void copy_match(uint8_t* out, int32_t distance, int32_t length) {
  const uint8_t* from = out - distance;
  if (distance >= 16) {
    memcpy(out, from, 16);
    for (int32_t k = 16; k < length; k += 16) memcpy(out + k, from + k, 16);
  } else if (distance >= 8) {
    for (int32_t k = 0; k < length; k += 8) memcpy(out + k, from + k, 8);
  } else if (distance == 1) {
    memset(out, *from, static_cast<size_t>(length));
  } else {
    for (int32_t k = 0; k < length; ++k) out[k] = from[k];
  }
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
  archive_stream_state& stream = archive_stream;
  int32_t offset = stream.stream_position & (block_data_size - 1);
  // At offset 0 the next byte needs a block read (or the current byte was the
  // block's last): read_bit's business.
  if (offset == 0) return false;
  // Bit position in block_buffer of the next bit; the byte in use is the one
  // before `offset`.
  uint32_t cursor = bit_count ? static_cast<uint32_t>(offset - 1) * 8 + bit_count : static_cast<uint32_t>(offset) * 8;
  const uint8_t* bytes = stream.block_buffer;
  // A symbol may start at most in byte `last_start`: then all its bits lie
  // before the block's last data byte, and every byte loaded in the buffer.
  int32_t last_start = stream.block_length - 1 - 1 - symbol_bytes;
  if (last_start > block_read_size - 1 - refill_reach) last_start = block_read_size - 1 - refill_reach;
  if (static_cast<int32_t>(cursor >> 3) > last_start) return false;
  // The cursor lies at most `count` bits before the refill pointer, so a
  // refill pointer up to here keeps the next symbol's start within bounds.
  const uint8_t* const ahead_limit = bytes + last_start;

  bit_window in = {0, 0, bytes + (cursor >> 3)};
  refill(&in);
  drop(&in, cursor & 7);

  int32_t* main_counts = main_model.frequency_table;
  int32_t* distance_counts = distance_model.frequency_table;
  int32_t block_start = stream.stream_position - offset;
  int32_t count = symbol_count;
  int32_t done = produced;
  uint8_t* out = window_buffer + (output_position - window_base);
  uint8_t* const window_end = window_buffer + window_size;
  // At the top of the loop the window holds at least 10 valid bits, so the
  // main table is read before the refill, which then runs alongside: a
  // literal leaves at least 56 - 44, a match ends with a refill.
  for (;;) {
    uint32_t entry = table_entry(main_table, in);
    refill(&in);
    int32_t s = finish_decode(entry, main_model, &in);
    ++main_counts[s];
    if (s < first_length_symbol) {
      if (out == window_end) {
        output_position = done;
        window_shift();
        out = window_buffer + (done - window_base);
      }
      *out++ = static_cast<uint8_t>(s);
      ++done;
    } else {
      int32_t match_length = s - length_bias;
      if (s == long_match_symbol) {
        match_length += static_cast<int32_t>(in.bits & ((1u << long_match_bits) - 1));
        drop(&in, long_match_bits);
        refill(&in);
      }
      // At least 10 bits are left here too (56 - 44, or a fresh refill), so
      // the distance table is read before the refill as well.
      entry = table_entry(distance_table, in);
      refill(&in);
      int32_t d = finish_decode(entry, distance_model, &in);
      ++distance_counts[d];
      int32_t match_distance = (d << distance_bits) + static_cast<int32_t>(in.bits & 15) + 1;
      drop(&in, distance_bits);
      refill(&in);
      // Before the entry's first byte lies nothing a sound archive refers to.
      if (match_distance > done) {
        symbol_count = count;
        produced = output_position = done;
        settle_input(block_start, static_cast<uint32_t>(in.ahead - bytes) * 8 - in.count);
        report_damaged_archive();
      }
      if (window_end - out >= match_length + copy_overrun) {
        copy_match(out, match_distance, match_length);
        out += match_length;
      } else {
        output_position = done;
        window_copy(match_distance, match_length);
        out = window_buffer + (output_position - window_base);
      }
      done += match_length;
    }
    ++count;
    if (count >= stop_count || done >= expanded_size || cancel_requested != 0 || in.ahead > ahead_limit) break;
  }

  symbol_count = count;
  produced = output_position = done;
  settle_input(block_start, static_cast<uint32_t>(in.ahead - bytes) * 8 - in.count);
  return true;
}
