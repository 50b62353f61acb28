#include "pack/encoder.h"

#include "pack/code_writer.h"
#include "pack/lz_parse.h"

namespace quorvex::pack {

namespace {

parse_limits limits_of(level effort) {
  switch (effort) {
    // 2-byte matches pay off only near: measured on the corpus.
    case level::fast: return {8, 8, 8, 32, 256};
    case level::max: return {4096, 64, longest_match_length, longest_match_length, 1024};
    case level::normal:
    default: return {128, 16, 64, 256, 256};
  }
}

}  // namespace

std::vector<uint8_t> encode_entry(const uint8_t* data, size_t size, level effort) {
  return write_coded_data(parse_lazy(data, size, limits_of(effort)));
}

}  // namespace quorvex::pack
