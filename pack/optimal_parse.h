// A parse that minimises the coded size: a shortest path over the positions
// of the data, where a literal or a match costs the bits of its codes. The
// codes adapt to the parse itself, so each piece of the data is parsed a few
// times, each time priced by the trees that the parse before it gave, starting
// from the exact trees that the pieces before it left; the cheapest parse of
// the piece is kept.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pack/lz_parse.h"

namespace quorvex::pack {

// Where the prices learn what each symbol costs over the whole entry (a
// symbol used now is also cheaper later): nowhere (the trees in force alone),
// the counts of a quick lazy parse, or those of a whole cost-based parse with
// lighter limits done first.
enum class outlook_source { none, lazy, rehearsal };

struct optimal_limits {
  int passes;            // cost-based parses per piece
  uint32_t nice_length;  // a match this long is taken without weighing the bytes it covers
  int depth;             // tree nodes looked at per position
  int chain;             // hash chain positions looked at per position for cheaper distances
  size_t piece;          // bytes parsed together (up to 1 MiB)
  outlook_source outlook;
};

std::vector<lz_token> parse_optimal(const uint8_t* data, size_t size, const optimal_limits& limits);

// The size in bits of the coded data of `tokens`, as the parse prices it: by
// the models run as the decoder runs them.
uint64_t coded_bits(const std::vector<lz_token>& tokens);

}  // namespace quorvex::pack
