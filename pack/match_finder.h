// The matches a cost-based parse weighs at a position: for every length the
// nearest distance, from a binary tree over the history sorted by the bytes
// that follow each position (one walk from the root meets the candidates in
// order of increasing common length), and besides, from a hash chain, other
// distances whose codes may be cheaper. A distance code covers 16 distances,
// so one candidate per code is kept: the longest.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pack/lz_parse.h"

namespace quorvex::pack {

struct match_candidate {
  uint16_t length;
  uint16_t distance;
};

// Enough room for the candidates of one position: the tree's have lengths
// that keep growing (2 to 4352), the chain's have codes of their own (512).
constexpr size_t most_candidates = longest_match_length;

class match_finder {
 public:
  // `nice_length`: a match this long ends the search (and is not extended);
  // `depth`: tree nodes looked at per position; `chain`: positions of the
  // hash chain looked at for other distances (0: none).
  match_finder(const uint8_t* data, size_t size, uint32_t nice_length, int depth, int chain);

  // Enters `pos` (each position once, in order) and writes to `out` the
  // matches that reach back from it, at most one per distance code, sorted
  // by length and, for equal lengths, nearest last: the last is the longest.
  size_t find(size_t pos, match_candidate* out);

  // Enters `pos` without looking for matches.
  void skip(size_t pos);

 private:
  size_t walk(size_t pos, match_candidate* out, uint32_t longest);
  size_t add_chain_candidates(size_t pos, match_candidate* out, size_t count);
  // Enters `pos` as the latest of its 3-byte hash; returns the one before.
  int32_t enter_triple(size_t pos);

  const uint8_t* data_;
  size_t size_;
  uint32_t nice_length_;
  int depth_;
  int chain_;
  std::vector<int32_t> pair_head_;    // latest position of each 2-byte value
  std::vector<int32_t> triple_head_;  // latest position of each 3-byte hash
  std::vector<int32_t> triple_older_; // the previous position of the same 3-byte hash, per slot
  std::vector<int32_t> tree_head_;    // latest position of each 3-byte hash: root of its tree
  std::vector<int32_t> children_;     // smaller, larger: two per history slot
  std::vector<int32_t> older_;        // the previous position of the same hash, per slot
  std::vector<uint16_t> code_entry_;  // per distance code: 1 + its index in the output, while one position is searched
};

}  // namespace quorvex::pack
