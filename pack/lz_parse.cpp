#include "pack/lz_parse.h"

#include <algorithm>

namespace quorvex::pack {

namespace {

constexpr int hash_bits = 15;
constexpr uint32_t chain_mask = farthest_match_distance - 1;
constexpr uint32_t min_hashed_length = 3;
constexpr int32_t none = -1;

class lazy_parser {
 public:
  lazy_parser(const uint8_t* data, size_t size, const parse_limits& limits)
      : data_(data), size_(size), limits_(limits), head_(size_t{1} << hash_bits, none), chain_(farthest_match_distance),
        last_pair_(limits.pair_distance ? 65536 : 0, none) {}

  std::vector<lz_token> run();

 private:
  struct found {
    uint32_t length = 0;
    uint32_t distance = 0;
  };

  uint32_t hash_at(size_t pos) const {
    uint32_t v = data_[pos] | data_[pos + 1] << 8 | data_[pos + 2] << 16;
    return (v * 2654435761u) >> (32 - hash_bits);
  }

  // Enters `pos` into its chain; returns the previous head.
  int32_t insert(size_t pos) {
    if (last_pair_.size() && pos + 2 <= size_) {
      uint32_t pair = data_[pos] | data_[pos + 1] << 8;
      pair_head_ = last_pair_[pair];
      last_pair_[pair] = static_cast<int32_t>(pos);
    }
    if (pos + min_hashed_length > size_) return none;
    uint32_t h = hash_at(pos);
    int32_t previous = head_[h];
    chain_[pos & chain_mask] = previous;
    head_[h] = static_cast<int32_t>(pos);
    return previous;
  }

  found search(size_t pos, int32_t candidate, uint32_t better_than) const;

  const uint8_t* data_;
  size_t size_;
  parse_limits limits_;
  std::vector<int32_t> head_;
  std::vector<int32_t> chain_;
  std::vector<int32_t> last_pair_;
  int32_t pair_head_ = none;
};

lazy_parser::found lazy_parser::search(size_t pos, int32_t candidate, uint32_t better_than) const {
  found best;
  best.length = better_than;
  uint32_t reach = static_cast<uint32_t>(std::min<size_t>(longest_match_length, size_ - pos));
  if (reach <= better_than) return {};
  int chain = limits_.chain;
  if (better_than >= limits_.good_length) chain >>= 2;
  const uint8_t* here = data_ + pos;
  while (candidate != none && pos - static_cast<size_t>(candidate) <= farthest_match_distance && chain-- > 0) {
    const uint8_t* there = data_ + candidate;
    if (there[best.length] == here[best.length] && there[0] == here[0] && there[1] == here[1]) {
      uint32_t length = 2;
      while (length < reach && there[length] == here[length]) ++length;
      if (length > best.length && length >= min_hashed_length) {
        best.length = length;
        best.distance = static_cast<uint32_t>(pos - static_cast<size_t>(candidate));
        if (length >= limits_.nice_length || length == reach) break;
      }
    }
    int32_t next = chain_[static_cast<uint32_t>(candidate) & chain_mask];
    if (next >= candidate) break;  // the slot was reused by a newer position
    candidate = next;
  }
  if (best.length < min_hashed_length && pair_head_ != none && better_than < shortest_match_length &&
      pos - static_cast<size_t>(pair_head_) <= limits_.pair_distance && reach >= shortest_match_length) {
    best.length = shortest_match_length;
    best.distance = static_cast<uint32_t>(pos - static_cast<size_t>(pair_head_));
  }
  if (best.length == better_than) return {};
  return best;
}

std::vector<lz_token> lazy_parser::run() {
  std::vector<lz_token> tokens;
  tokens.reserve(size_ / 3 + 16);
  found deferred;  // the match found at pos - 1, not yet taken
  bool literal_pending = false;
  size_t pos = 0;
  while (pos < size_) {
    int32_t candidate = insert(pos);
    found current;
    if (deferred.length < limits_.lazy_length) current = search(pos, candidate, std::max<uint32_t>(deferred.length, 1));
    if (deferred.length >= shortest_match_length && current.length <= deferred.length) {
      // The match that starts one byte back is at least as good: take it.
      tokens.push_back(lz_token::match(deferred.length, deferred.distance));
      size_t end = pos - 1 + deferred.length;
      for (size_t p = pos + 1; p < end; ++p) insert(p);
      pos = end;
      deferred = {};
      literal_pending = false;
      continue;
    }
    if (literal_pending) tokens.push_back(lz_token::literal(data_[pos - 1]));
    deferred = current;
    literal_pending = true;
    ++pos;
  }
  if (literal_pending) tokens.push_back(lz_token::literal(data_[pos - 1]));
  return tokens;
}

}  // namespace

std::vector<lz_token> parse_lazy(const uint8_t* data, size_t size, const parse_limits& limits) {
  return lazy_parser(data, size, limits).run();
}

}  // namespace quorvex::pack
