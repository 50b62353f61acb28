#include "pack/encoder.h"

#include "pack/code_writer.h"
#include "pack/lz_parse.h"
#include "pack/optimal_parse.h"

namespace quorvex::pack {

namespace {

// 2-byte matches pay off only near: measured on the corpus.
constexpr parse_limits fast_limits = {8, 8, 8, 32, 256};

// Measured on the corpus: one cost-based pass with a shallow search packs
// smaller than the lazy parse at any search depth, in the time gzip -9 takes;
// at max, three passes, a deeper search, other distances from the hash chain,
// and a whole parse done first to learn what each symbol costs over the entry.
constexpr optimal_limits normal_limits = {1, 64, 32, 0, 65536, outlook_source::lazy};
constexpr optimal_limits max_limits = {3, 256, 64, 8, 65536, outlook_source::rehearsal};

}  // namespace

std::vector<uint8_t> encode_entry(const uint8_t* data, size_t size, level effort) {
  switch (effort) {
    case level::fast: return write_coded_data(parse_lazy(data, size, fast_limits));
    case level::max: return write_coded_data(parse_optimal(data, size, max_limits));
    case level::normal:
    default: return write_coded_data(parse_optimal(data, size, normal_limits));
  }
}

}  // namespace quorvex::pack
