#include "pack/optimal_parse.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "decoder/code_tree.h"
#include "decoder/coded_data.h"
#include "pack/match_finder.h"

namespace quorvex::pack {

namespace {

// The code lengths in force from one rebuild point to the next.
struct code_lengths {
  uint8_t main[code_symbols];
  uint8_t distance[code_symbols];
};

// Both models as the decoder holds them between two symbols.
struct model_state {
  code_model main;
  code_model distance;
  int32_t symbol_count;
};

std::unique_ptr<model_state> fresh_state() {
  auto state = std::make_unique<model_state>();
  reset_model(&state->main);
  reset_model(&state->distance);
  state->symbol_count = 0;
  return state;
}

void trace_lengths(const code_model& model, uint8_t* lengths) {
  uint8_t depth[code_nodes];
  depth[root_node] = 0;
  for (int32_t n = root_node; n >= code_symbols; --n) {
    uint8_t below = static_cast<uint8_t>(depth[n] + 1);
    depth[model.joined_children[n - code_symbols][0]] = below;
    depth[model.joined_children[n - code_symbols][1]] = below;
  }
  memcpy(lengths, depth, code_symbols);
}

inline int32_t length_symbol(uint32_t length) {
  return length <= static_cast<uint32_t>(longest_plain_length) ? static_cast<int32_t>(length) + length_bias
                                                                : long_match_symbol;
}

inline uint32_t distance_symbol(uint32_t distance) { return (distance - 1) >> distance_bits; }

// The trees of each stretch of a parse between rebuild points, by the
// position where the stretch begins.
struct model_trace {
  std::vector<size_t> starts;
  std::vector<int32_t> symbol_counts;  // at each start
  std::vector<code_lengths> codes;
};

// Runs `tokens`, which begin at `start`, through the models as the decoder
// would; returns their size in bits and, when asked, the trees along the way.
uint64_t run_models(model_state& state, const std::vector<lz_token>& tokens, size_t start, model_trace* trace) {
  code_lengths codes;
  auto new_stretch = [&](size_t pos) {
    trace_lengths(state.main, codes.main);
    trace_lengths(state.distance, codes.distance);
    if (trace) {
      trace->starts.push_back(pos);
      trace->symbol_counts.push_back(state.symbol_count);
      trace->codes.push_back(codes);
    }
  };
  if (trace) {
    trace->starts.clear();
    trace->symbol_counts.clear();
    trace->codes.clear();
  }
  if (!is_rebuild_point(state.symbol_count)) new_stretch(start);
  uint64_t bits = 0;
  size_t pos = start;
  for (const lz_token& token : tokens) {
    if (is_rebuild_point(state.symbol_count)) {
      rebuild_model(&state.main);
      rebuild_model(&state.distance);
      new_stretch(pos);
    }
    if (token.is_literal()) {
      bits += codes.main[token.value];
      ++state.main.frequency_table[token.value];
    } else {
      int32_t symbol = length_symbol(token.length);
      uint32_t distance = distance_symbol(token.value);
      bits += codes.main[symbol] + codes.distance[distance] + distance_bits;
      if (symbol == long_match_symbol) bits += long_match_bits;
      ++state.main.frequency_table[symbol];
      ++state.distance.frequency_table[distance];
    }
    ++state.symbol_count;
    pos += token.length;
  }
  return bits;
}

// The trees in force at `start` as the only stretch; `state` is left as the
// next symbol would find it.
void trace_in_force(model_state& state, size_t start, model_trace* trace) {
  if (is_rebuild_point(state.symbol_count)) {
    rebuild_model(&state.main);
    rebuild_model(&state.distance);
  }
  trace->starts.assign(1, start);
  trace->symbol_counts.assign(1, state.symbol_count);
  trace->codes.resize(1);
  trace_lengths(state.main, trace->codes[0].main);
  trace_lengths(state.distance, trace->codes[0].distance);
}

// Costs of a piece stay below 2^32 sixteenths of a bit: a literal's code is
// at most 44 bits, and the cheapest way to a position costs no more than
// literals all the way.
constexpr size_t longest_piece = size_t{1} << 20;

// From here on the trees are rebuilt every 1024 symbols.
constexpr int32_t settled_count = 2048;

// Prices are in sixteenths of a bit.
constexpr uint32_t bit_price = 16;

// 16 log2(x) for x >= 1, rounded down; integers only, so that the parse is the
// same on every machine.
uint32_t log2_sixteenths(uint64_t x) {
  // 2^31 * 2^(k/16)
  static const uint32_t steps[16] = {2147483648u, 2242560872u, 2341847524u, 2445529972u,
                                     2553802834u, 2666869345u, 2784941738u, 2908241642u,
                                     3037000500u, 3171459999u, 3311872529u, 3458501653u,
                                     3611622603u, 3771522796u, 3938502376u, 4112874773u};
  uint32_t whole = 63 - static_cast<uint32_t>(__builtin_clzll(x));
  uint32_t top = static_cast<uint32_t>(whole >= 31 ? x >> (whole - 31) : x << (31 - whole));
  uint32_t fraction = 15;
  while (top < steps[fraction]) --fraction;
  return whole * bit_price + fraction;
}

struct symbol_prices {
  uint32_t main[code_symbols];
  uint32_t distance[code_symbols];
};

// What each symbol costs over the whole entry: its ideal code length by the
// counts a whole parse of the entry ends with. With counts that only grow, a
// symbol used now shortens its own later codes, so over the whole entry its
// cost tends to this, as long as trees are still to be built.
struct entry_outlook {
  symbol_prices prices;
  int32_t symbols;  // in that parse
};

void price_by_counts(const model_state& end, entry_outlook* outlook) {
  symbol_prices* prices = &outlook->prices;
  outlook->symbols = end.symbol_count;
  auto fill = [](const code_model& model, uint32_t* out) {
    uint64_t total = 0;
    for (int32_t s = 0; s < code_symbols; ++s) total += static_cast<uint32_t>(model.frequency_table[s]);
    uint32_t whole = log2_sixteenths(total);
    for (int32_t s = 0; s < code_symbols; ++s) {
      out[s] = whole - log2_sixteenths(static_cast<uint32_t>(model.frequency_table[s]));
    }
  };
  fill(end.main, prices->main);
  fill(end.distance, prices->distance);
}

class optimal_parser {
 public:
  // `outlook`: what each symbol costs over the whole entry (may be null).
  optimal_parser(const uint8_t* data, size_t size, const optimal_limits& limits, const entry_outlook* outlook)
      : data_(data),
        size_(size),
        limits_(limits),
        nice_length_(std::clamp<uint32_t>(limits.nice_length, 3, longest_match_length)),
        finder_(data, size, nice_length_, limits.depth, limits.chain),
        state_(fresh_state()),
        trial_(fresh_state()),
        outlook_(outlook) {}

  std::vector<lz_token> run();
  // The models after the whole parse.
  const model_state& end_state() const { return *state_; }

 private:
  void find_matches(size_t start);
  std::vector<lz_token> parse_greedy() const;
  void price_stretches(const model_trace& trace);
  std::vector<lz_token> parse_cheapest(const std::vector<size_t>& starts);

  const uint8_t* data_;
  size_t size_;
  optimal_limits limits_;
  uint32_t nice_length_;
  match_finder finder_;
  std::unique_ptr<model_state> state_;  // after the pieces parsed so far
  std::unique_ptr<model_state> trial_;
  const entry_outlook* outlook_;

  // The piece at hand: positions start_ to end_, the matches at each.
  size_t start_ = 0;
  size_t end_ = 0;
  std::vector<match_candidate> found_;
  std::vector<uint32_t> first_;  // per position of the piece: its first entry in found_, then the end
  std::vector<symbol_prices> prices_;  // per stretch
  std::vector<uint32_t> cost_;         // sixteenths of bits to reach each position of the piece
  std::vector<lz_token> step_;         // the last token on the cheapest way there
};

// Looks for matches at every position of the next piece, except inside a
// match of at least the nice length, which is taken as it stands.
void optimal_parser::find_matches(size_t start) {
  start_ = start;
  found_.clear();
  first_.clear();
  size_t stop = start + std::clamp<size_t>(limits_.piece, 1, longest_piece);
  size_t pos = start;
  match_candidate at[most_candidates];
  while (pos < size_ && pos < stop) {
    first_.push_back(static_cast<uint32_t>(found_.size()));
    size_t count = finder_.find(pos, at);
    if (count > 0 && at[count - 1].length >= nice_length_) {
      match_candidate longest = at[count - 1];
      size_t reach = std::min<size_t>(longest_match_length, size_ - pos);
      const uint8_t* here = data_ + pos;
      const uint8_t* there = here - longest.distance;
      while (longest.length < reach && here[longest.length] == there[longest.length]) ++longest.length;
      found_.push_back(longest);
      for (size_t p = pos + 1; p < pos + longest.length; ++p) {
        first_.push_back(static_cast<uint32_t>(found_.size()));
        finder_.skip(p);
      }
      pos += longest.length;
      continue;
    }
    found_.insert(found_.end(), at, at + count);
    ++pos;
  }
  first_.push_back(static_cast<uint32_t>(found_.size()));
  end_ = pos;
}

// The longest match wherever there is one of 3 bytes or more: a parse whose
// trees are a first guess at the prices.
std::vector<lz_token> optimal_parser::parse_greedy() const {
  std::vector<lz_token> tokens;
  size_t pos = start_;
  while (pos < end_) {
    size_t i = pos - start_;
    if (first_[i + 1] > first_[i]) {
      match_candidate longest = found_[first_[i + 1] - 1];
      uint32_t length = static_cast<uint32_t>(std::min<size_t>(longest.length, end_ - pos));
      if (length >= 3) {
        tokens.push_back(lz_token::match(length, longest.distance));
        pos += length;
        continue;
      }
    }
    tokens.push_back(lz_token::literal(data_[pos]));
    ++pos;
  }
  return tokens;
}

// The prices of each stretch: the trees in force, blended half and half with
// the outlook while the entry (as the outlook's parse counts its symbols) goes
// on past the next rebuild point; after the last one, a symbol's count no
// longer changes any code.
void optimal_parser::price_stretches(const model_trace& trace) {
  prices_.resize(trace.codes.size());
  for (size_t k = 0; k < prices_.size(); ++k) {
    const code_lengths& codes = trace.codes[k];
    symbol_prices& prices = prices_[k];
    bool blend = outlook_ && outlook_->symbols > next_rebuild_point(trace.symbol_counts[k]);
    for (int32_t s = 0; s < code_symbols; ++s) {
      prices.main[s] = codes.main[s] * bit_price;
      prices.distance[s] = codes.distance[s] * bit_price;
      if (blend) {
        prices.main[s] = (prices.main[s] + outlook_->prices.main[s]) / 2;
        prices.distance[s] = (prices.distance[s] + outlook_->prices.distance[s]) / 2;
      }
    }
  }
}

// The shortest path from the start of the piece to its end, each token
// priced in the stretch (of the parse before) where it begins.
std::vector<lz_token> optimal_parser::parse_cheapest(const std::vector<size_t>& starts) {
  size_t span = end_ - start_;
  cost_.assign(span + 1, UINT32_MAX);
  step_.resize(span + 1);
  cost_[0] = 0;
  size_t stretch = 0;
  size_t pos = start_;
  while (pos < end_) {
    while (stretch + 1 < starts.size() && starts[stretch + 1] <= pos) ++stretch;
    const symbol_prices& prices = prices_[stretch];
    size_t i = pos - start_;
    uint32_t here = cost_[i];
    uint32_t literal = here + prices.main[data_[pos]];
    if (literal < cost_[i + 1]) {
      cost_[i + 1] = literal;
      step_[i + 1] = lz_token::literal(data_[pos]);
    }
    const match_candidate* first = found_.data() + first_[i];
    const match_candidate* last = found_.data() + first_[i + 1];
    if (first == last) {
      ++pos;
      continue;
    }
    auto offer = [&](uint32_t length, uint32_t distance, uint32_t distance_price) {
      uint32_t bits = distance_price + prices.main[length_symbol(length)];
      if (length > static_cast<uint32_t>(longest_plain_length)) bits += long_match_bits * bit_price;
      if (bits < cost_[i + length]) {
        cost_[i + length] = bits;
        step_[i + length] = lz_token::match(length, distance);
      }
    };
    auto distance_price = [&](uint32_t distance) {
      return here + prices.distance[distance_symbol(distance)] + distance_bits * bit_price;
    };
    if (last[-1].length >= nice_length_) {
      // Taken as it stands: the positions it covers were not searched.
      offer(last[-1].length, last[-1].distance, distance_price(last[-1].distance));
      pos += last[-1].length;
      continue;
    }
    // For each length the cheapest distance among the candidates that reach
    // it: from the longest down, the candidates cheaper than all longer ones.
    struct reach {
      uint32_t length;
      uint32_t distance;
      uint32_t price;
    };
    reach cheapest[most_candidates];
    size_t count = 0;
    for (const match_candidate* c = last; c != first;) {
      --c;
      uint32_t price = distance_price(c->distance);
      if (count == 0 || price < cheapest[count - 1].price) cheapest[count++] = {c->length, c->distance, price};
    }
    uint32_t room = static_cast<uint32_t>(std::min<size_t>(end_ - pos, longest_match_length));
    uint32_t length = shortest_match_length;
    while (count > 0) {
      const reach& r = cheapest[--count];
      uint32_t top = std::min(r.length, room);
      for (; length <= top; ++length) offer(length, r.distance, r.price);
    }
    ++pos;
  }
  std::vector<lz_token> tokens;
  for (size_t i = span; i > 0; i -= step_[i].length) tokens.push_back(step_[i]);
  std::reverse(tokens.begin(), tokens.end());
  return tokens;
}

std::vector<lz_token> optimal_parser::run() {
  std::vector<lz_token> out;
  model_trace trace;
  size_t pos = 0;
  while (pos < size_) {
    find_matches(pos);
    // The first prices: while the trees still change every 256 symbols, those
    // of a greedy parse; later, the trees in force, which change slowly.
    // Each pass is priced by the trees of the one before; the last is kept.
    std::vector<lz_token> tokens;
    *trial_ = *state_;
    if (state_->symbol_count < settled_count) {
      tokens = parse_greedy();
      run_models(*trial_, tokens, start_, &trace);
    } else {
      trace_in_force(*trial_, start_, &trace);
    }
    for (int pass = 0; pass < limits_.passes; ++pass) {
      price_stretches(trace);
      tokens = parse_cheapest(trace.starts);
      *trial_ = *state_;
      run_models(*trial_, tokens, start_, &trace);
    }
    std::swap(state_, trial_);
    out.insert(out.end(), tokens.begin(), tokens.end());
    pos = end_;
  }
  return out;
}

}  // namespace

uint64_t coded_bits(const std::vector<lz_token>& tokens) {
  return run_models(*fresh_state(), tokens, 0, nullptr);
}

std::vector<lz_token> parse_optimal(const uint8_t* data, size_t size, const optimal_limits& limits) {
  if (limits.outlook == outlook_source::none) return optimal_parser(data, size, limits, nullptr).run();
  // The counts of a quick lazy parse, or of a whole cost-based parse with
  // lighter limits, priced in turn by those of a lazy parse.
  std::unique_ptr<model_state> whole = fresh_state();
  run_models(*whole, parse_lazy(data, size, {4, 16, 64, 256, 256}), 0, nullptr);
  auto outlook = std::make_unique<entry_outlook>();
  price_by_counts(*whole, outlook.get());
  if (limits.outlook == outlook_source::rehearsal) {
    optimal_limits light = {1, 32, 16, 0, limits.piece, outlook_source::lazy};
    optimal_parser rehearsal(data, size, light, outlook.get());
    rehearsal.run();
    price_by_counts(rehearsal.end_state(), outlook.get());
  }
  return optimal_parser(data, size, limits, outlook.get()).run();
}

}  // namespace quorvex::pack
