#include "pack/code_writer.h"

#include <memory>

#include "decoder/code_table.h"
#include "decoder/code_tree.h"
#include "decoder/coded_data.h"

namespace quorvex::pack {

namespace {

class bit_sink {
 public:
  explicit bit_sink(size_t expected_bytes) { bytes_.reserve(expected_bytes); }

  // `bits` holds `count` bits (at most 57), the first to be read in bit 0.
  void put(uint64_t bits, int count) {
    pending_ |= bits << filled_;
    filled_ += count;
    while (filled_ >= 8) {
      bytes_.push_back(static_cast<uint8_t>(pending_));
      pending_ >>= 8;
      filled_ -= 8;
    }
  }

  std::vector<uint8_t> finish() {
    if (filled_ > 0) bytes_.push_back(static_cast<uint8_t>(pending_));
    return std::move(bytes_);
  }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t pending_ = 0;
  int filled_ = 0;
};

// A model with the codes of its current tree.
struct coding_model {
  code_model model;
  code_paths codes;

  void rebuild() {
    rebuild_model(&model);
    trace_code_paths(model.node_table, &codes);
  }
  void put(bit_sink& sink, int32_t symbol) {
    sink.put(codes.bits[symbol], codes.length[symbol]);
    ++model.frequency_table[symbol];
  }
};

}  // namespace

std::vector<uint8_t> write_coded_data(const std::vector<lz_token>& tokens) {
  auto main = std::make_unique<coding_model>();
  auto distance = std::make_unique<coding_model>();
  reset_model(&main->model);
  reset_model(&distance->model);
  bit_sink sink(tokens.size() + 16);
  int32_t symbol_count = 0;
  for (const lz_token& token : tokens) {
    if (is_rebuild_point(symbol_count)) {
      main->rebuild();
      distance->rebuild();
    }
    if (token.is_literal()) {
      main->put(sink, token.value);
    } else {
      int32_t length = token.length;
      if (length <= longest_plain_length) {
        main->put(sink, length + length_bias);
      } else {
        main->put(sink, long_match_symbol);
        sink.put(static_cast<uint64_t>(length - long_match_base), long_match_bits);
      }
      int32_t d = token.value - 1;
      distance->put(sink, d >> distance_bits);
      sink.put(static_cast<uint64_t>(d & ((1 << distance_bits) - 1)), distance_bits);
    }
    ++symbol_count;
  }
  return sink.finish();
}

}  // namespace quorvex::pack
