#include "pack/match_finder.h"

#include <algorithm>
#include <cstring>

namespace quorvex::pack {

namespace {

constexpr int tree_hash_bits = 16;
// Twice the reach: a slot is reused only after its position is out of reach.
constexpr uint32_t slot_mask = 2 * farthest_match_distance - 1;
constexpr int32_t none = -1;
constexpr uint32_t distance_codes = farthest_match_distance / 16;

inline uint32_t distance_code(uint32_t distance) { return (distance - 1) >> 4; }

// How far `here` and `there` agree, from `length` (known to agree before it)
// up to at most `limit`; eight bytes at a time while that stays in bounds.
inline uint32_t common_length(const uint8_t* here, const uint8_t* there, uint32_t length, uint32_t limit) {
  while (length + 8 <= limit) {
    uint64_t a, b;
    memcpy(&a, here + length, 8);
    memcpy(&b, there + length, 8);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    if (a != b) return length + static_cast<uint32_t>(__builtin_clzll(a ^ b) >> 3);
#else
    if (a != b) return length + static_cast<uint32_t>(__builtin_ctzll(a ^ b) >> 3);
#endif
    length += 8;
  }
  while (length < limit && here[length] == there[length]) ++length;
  return length;
}

}  // namespace

match_finder::match_finder(const uint8_t* data, size_t size, uint32_t nice_length, int depth, int chain)
    : data_(data),
      size_(size),
      nice_length_(std::clamp<uint32_t>(nice_length, 3, longest_match_length)),
      depth_(depth),
      chain_(chain),
      pair_head_(65536, none),
      triple_head_(size_t{1} << tree_hash_bits, none),
      triple_older_(slot_mask + 1, none),
      tree_head_(size_t{1} << tree_hash_bits, none),
      children_(2 * (slot_mask + 1), none),
      older_(slot_mask + 1, none),
      code_entry_(distance_codes, 0) {}

// Inserts `pos` at the root of its tree, splitting the old tree into the
// positions whose bytes sort below it and those that sort above, and records
// each candidate longer than `longest` on the way (when `out` is given).
size_t match_finder::walk(size_t pos, match_candidate* out, uint32_t longest) {
  const uint8_t* here = data_ + pos;
  uint32_t limit = static_cast<uint32_t>(std::min<size_t>(nice_length_, size_ - pos));
  uint32_t key;
  memcpy(&key, here, 4);
  uint32_t hash = (key * 2654435761u) >> (32 - tree_hash_bits);
  int32_t candidate = tree_head_[hash];
  tree_head_[hash] = static_cast<int32_t>(pos);
  older_[pos & slot_mask] = candidate;

  int32_t* below = &children_[2 * (pos & slot_mask)];
  int32_t* above = below + 1;
  uint32_t below_length = 0;  // bytes in common with every position below
  uint32_t above_length = 0;
  size_t count = 0;
  for (int depth = depth_;; --depth) {
    if (candidate == none || pos - static_cast<size_t>(candidate) > farthest_match_distance || depth == 0) {
      // The rest of the tree is older (or not worth the time): cut it off.
      *below = *above = none;
      break;
    }
    const uint8_t* there = data_ + candidate;
    int32_t* pair = &children_[2 * (static_cast<uint32_t>(candidate) & slot_mask)];
    uint32_t length = std::min(below_length, above_length);
    if (there[length] == here[length]) {
      length = common_length(here, there, length + 1, limit);
      if (length > longest) {
        longest = length;
        if (out) out[count++] = {static_cast<uint16_t>(length), static_cast<uint16_t>(pos - candidate)};
      }
      if (length == limit) {
        // As good as equal: `pos` takes the candidate's place and children.
        *below = pair[0];
        *above = pair[1];
        break;
      }
    }
    if (there[length] < here[length]) {
      *below = candidate;
      below = pair + 1;
      candidate = *below;
      below_length = length;
    } else {
      *above = candidate;
      above = pair;
      candidate = *above;
      above_length = length;
    }
  }
  return count;
}

// Adds, for distance codes the tree walk did not offer, the longest match the
// chain of the position's hash finds in them; keeps one candidate per code.
size_t match_finder::add_chain_candidates(size_t pos, match_candidate* out, size_t count) {
  // A match taken whole needs no others. (The tree's candidates come by
  // increasing length: the last is the longest.)
  bool taken_whole = count > 0 && out[count - 1].length >= nice_length_;
  // The tree's candidates first, one per code: within a code the longer one
  // costs the same and reaches further.
  size_t kept = 0;
  for (size_t i = 0; i < count; ++i) {
    uint16_t& entry = code_entry_[distance_code(out[i].distance)];
    if (entry) {
      out[entry - 1] = out[i];  // longer, as the walk finds them
    } else {
      out[kept] = out[i];
      entry = static_cast<uint16_t>(++kept);
    }
  }
  count = kept;
  const uint8_t* here = data_ + pos;
  uint32_t limit = static_cast<uint32_t>(std::min<size_t>(nice_length_, size_ - pos));
  // Positions of 4 bytes or more have a chain.
  int32_t candidate = taken_whole || size_ - pos < 4 ? none : older_[pos & slot_mask];
  for (int steps = chain_; steps > 0 && candidate != none; --steps) {
    size_t distance = pos - static_cast<size_t>(candidate);
    if (distance > farthest_match_distance) break;
    uint16_t& entry = code_entry_[distance_code(static_cast<uint32_t>(distance))];
    uint32_t known = entry ? out[entry - 1].length : 2;
    const uint8_t* there = here - distance;
    if (known < limit && there[known] == here[known]) {
      uint32_t length = common_length(here, there, 0, limit);
      if (length > known) {
        match_candidate found = {static_cast<uint16_t>(length), static_cast<uint16_t>(distance)};
        if (entry) {
          out[entry - 1] = found;
        } else {
          out[count] = found;
          entry = static_cast<uint16_t>(++count);
        }
      }
    }
    candidate = older_[static_cast<uint32_t>(candidate) & slot_mask];
  }
  for (size_t i = 0; i < count; ++i) code_entry_[distance_code(out[i].distance)] = 0;
  // By length, the nearer of equal lengths last.
  for (size_t i = 1; i < count; ++i) {
    match_candidate c = out[i];
    size_t j = i;
    for (; j > 0 && (out[j - 1].length > c.length ||
                     (out[j - 1].length == c.length && out[j - 1].distance < c.distance));
         --j) {
      out[j] = out[j - 1];
    }
    out[j] = c;
  }
  return count;
}

size_t match_finder::find(size_t pos, match_candidate* out) {
  size_t count = 0;
  uint32_t longest = 1;
  if (size_ - pos >= 2) {
    uint32_t pair = data_[pos] | data_[pos + 1] << 8;
    int32_t previous = pair_head_[pair];
    pair_head_[pair] = static_cast<int32_t>(pos);
    if (previous != none && pos - static_cast<size_t>(previous) <= farthest_match_distance) {
      out[count++] = {2, static_cast<uint16_t>(pos - previous)};
      longest = 2;
    }
  }
  if (size_ - pos >= 3) {
    // The nearest 3-byte match: the first position of the same hash with the
    // same bytes (another value of the hash may have come in between).
    const uint8_t* here = data_ + pos;
    int32_t previous = enter_triple(pos);
    for (int steps = 0; steps < 4 && previous != none; ++steps) {
      size_t distance = pos - static_cast<size_t>(previous);
      if (distance > farthest_match_distance) break;
      const uint8_t* there = here - distance;
      if (there[0] == here[0] && there[1] == here[1] && there[2] == here[2]) {
        uint32_t limit = static_cast<uint32_t>(std::min<size_t>(nice_length_, size_ - pos));
        uint32_t length = common_length(here, there, 3, limit);
        if (longest == 2 && out[count - 1].distance == distance) --count;
        out[count++] = {static_cast<uint16_t>(length), static_cast<uint16_t>(distance)};
        longest = length;
        break;
      }
      previous = triple_older_[static_cast<uint32_t>(previous) & slot_mask];
    }
  }
  if (size_ - pos >= 4) count += walk(pos, out + count, longest);
  if (chain_ > 0) count = add_chain_candidates(pos, out, count);
  return count;
}

int32_t match_finder::enter_triple(size_t pos) {
  uint32_t key = data_[pos] | data_[pos + 1] << 8 | data_[pos + 2] << 16;
  int32_t& head = triple_head_[(key * 2654435761u) >> (32 - tree_hash_bits)];
  int32_t previous = head;
  triple_older_[pos & slot_mask] = previous;
  head = static_cast<int32_t>(pos);
  return previous;
}

void match_finder::skip(size_t pos) {
  if (size_ - pos >= 2) pair_head_[data_[pos] | data_[pos + 1] << 8] = static_cast<int32_t>(pos);
  if (size_ - pos >= 3) enter_triple(pos);
  if (size_ - pos >= 4) walk(pos, nullptr, UINT32_MAX);
}

}  // namespace quorvex::pack
