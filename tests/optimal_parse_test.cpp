// The cost-based parse: tokens that rebuild the data within the format's
// limits whatever the settings, coded data that the extractor's decoder reads
// back, a count of bits that matches the writer's, and sizes that beat the
// cheaper parses.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "pack/code_writer.h"
#include "pack/encoder.h"
#include "pack/lz_parse.h"
#include "pack/optimal_parse.h"
#include "support/coded_stream.h"
#include "support/sample_data.h"

namespace {

using namespace quorvex::pack;
using bytes = std::vector<uint8_t>;

bytes joined(std::initializer_list<bytes> parts) {
  bytes out;
  for (const bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Fixed-size records with a counter and a few varying fields, as in tables
// of binaries: matches at many distances, short and long.
bytes records(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  bytes data;
  for (uint32_t n = 0; data.size() < size; ++n) {
    uint8_t record[24] = {0x4D, 0x5A, 0, 0, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)};
    record[8 + random() % 8] = static_cast<uint8_t>(random());
    record[16] = static_cast<uint8_t>(random() % 4);
    data.insert(data.end(), record, record + sizeof record);
  }
  data.resize(size);
  return data;
}

// Each part of the parse gets work: a block repeated at exactly the farthest
// distance and just beyond it, runs past the longest match, text, noise.
bytes workout() {
  bytes block = random_bytes(8192, 21);
  return joined({block, block, {1}, block, bytes(10000, 'x'), text_like(20000, 22), random_bytes(3000, 23),
                 records(20000, 24), long_runs(30000, 25)});
}

struct setting {
  const char* name;
  optimal_limits limits;
};

const setting settings[] = {
    {"one pass, shallow", {1, 32, 12, 0, 65536, outlook_source::lazy}},
    {"three passes, chain, rehearsal", {3, 256, 64, 8, 65536, outlook_source::rehearsal}},
    // Every symbol count starts a piece, rebuild points included.
    {"a piece per byte", {2, 16, 8, 4, 1, outlook_source::lazy}},
    {"every match of 3 taken whole", {1, 3, 4, 0, 777, outlook_source::none}},
    {"deep search, all lengths weighed", {2, 4352, 1000, 64, 100000, outlook_source::none}},
};

// Checks the tokens against the data itself: each literal is its byte, each
// match repeats the bytes its distance back, within the format's limits.
void expect_tokens_rebuild(const bytes& data, const std::vector<lz_token>& tokens) {
  size_t pos = 0;
  for (const lz_token& t : tokens) {
    ASSERT_LT(pos, data.size());
    if (t.is_literal()) {
      ASSERT_EQ(t.value, data[pos]) << "at " << pos;
    } else {
      ASSERT_GE(t.length, shortest_match_length) << "at " << pos;
      ASSERT_LE(t.length, longest_match_length) << "at " << pos;
      ASSERT_GE(t.value, 1) << "at " << pos;
      ASSERT_LE(t.value, std::min<size_t>(farthest_match_distance, pos)) << "at " << pos;
      ASSERT_LE(pos + t.length, data.size()) << "at " << pos;
      for (size_t k = 0; k < t.length; ++k) ASSERT_EQ(data[pos + k], data[pos + k - t.value]) << "at " << pos;
    }
    pos += t.length;
  }
  EXPECT_EQ(pos, data.size());
}

TEST(OptimalParse, TokensRebuildTheDataWithinTheFormatsLimits) {
  const std::pair<const char*, bytes> inputs[] = {
      {"empty", {}},
      {"one byte", {7}},
      {"two equal bytes", {7, 7}},
      {"three equal bytes", {7, 7, 7}},
      {"noise", random_bytes(3000, 1)},
      {"workout", workout()},
  };
  for (const setting& s : settings) {
    for (const auto& [name, data] : inputs) {
      SCOPED_TRACE(std::string(s.name) + ", " + name);
      expect_tokens_rebuild(data, parse_optimal(data.data(), data.size(), s.limits));
    }
  }
}

TEST(OptimalParse, ItsCountOfBitsIsWhatTheWriterWrites) {
  bytes data = workout();
  for (const setting& s : settings) {
    SCOPED_TRACE(s.name);
    std::vector<lz_token> tokens = parse_optimal(data.data(), data.size(), s.limits);
    EXPECT_EQ((coded_bits(tokens) + 7) / 8, write_coded_data(tokens).size());
  }
  // Escapes and the farthest distance, which the data above may not need.
  std::vector<lz_token> tokens(300, lz_token::literal(0));
  tokens.insert(tokens.end(), {lz_token::match(257, 1), lz_token::match(4352, 8192), lz_token::match(256, 17)});
  EXPECT_EQ((coded_bits(tokens) + 7) / 8, write_coded_data(tokens).size());
  EXPECT_EQ(coded_bits({}), 0u);
}

// A size of noise whose parse takes exactly `symbols` symbols (0: none
// found). Noise has few matches: the size is near the count.
size_t size_with_symbols(const bytes& noise, size_t symbols, const optimal_limits& limits) {
  for (size_t size = symbols; size < symbols + 64 && size <= noise.size(); ++size) {
    if (parse_optimal(noise.data(), size, limits).size() == symbols) return size;
  }
  return 0;
}

TEST(OptimalParse, CodedDataComesBackThroughTheDecoder) {
  const optimal_limits& limits = settings[1].limits;
  bytes text = text_like(73729, 31);
  bytes noise = random_bytes(73729, 32);
  std::vector<bytes> entries;
  // Entries that end just before, at and after a piece of the output window.
  for (size_t size : {40959u, 40960u, 40961u, 73727u, 73728u, 73729u}) {
    entries.emplace_back(text.begin(), text.begin() + size);
    entries.emplace_back(noise.begin(), noise.begin() + size);
  }
  // Entries whose last symbol comes just before, at and after a rebuild point.
  for (size_t point : {256u, 2048u, 3072u}) {
    for (size_t symbols : {point - 1, point, point + 1}) {
      size_t size = size_with_symbols(noise, symbols, limits);
      ASSERT_GT(size, 0u);
      entries.emplace_back(noise.begin(), noise.begin() + size);
    }
  }
  entries.push_back(workout());
  entries.push_back({});

  bytes payload;
  std::vector<int32_t> sizes;
  for (const bytes& entry : entries) {
    bytes coded = write_coded_data(parse_optimal(entry.data(), entry.size(), limits));
    payload.insert(payload.end(), coded.begin(), coded.end());
    sizes.push_back(static_cast<int32_t>(entry.size()));
  }
  std::vector<entry_run> runs = expand_all(expand_entry, payload, sizes);
  ASSERT_EQ(runs.size(), entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE("entry " + std::to_string(i) + " of " + std::to_string(entries[i].size()) + " bytes");
    ASSERT_EQ(runs[i].exit_code, -1);
    EXPECT_TRUE(runs[i].output == entries[i]);
  }
}

std::vector<std::pair<const char*, bytes>> realistic_inputs() {
  return {
      {"text", text_like(200000, 41)},
      {"records", records(150000, 42)},
      {"runs and noise", long_runs(120000, 43)},
      {"mixed", joined({text_like(50000, 44), records(50000, 45), random_bytes(20000, 46), text_like(50000, 47)})},
  };
}

TEST(OptimalParse, MaxIsNeverLargerThanNormal) {
  for (const auto& [name, data] : realistic_inputs()) {
    SCOPED_TRACE(name);
    EXPECT_LE(encode_entry(data.data(), data.size(), level::max).size(),
              encode_entry(data.data(), data.size(), level::normal).size());
  }
}

TEST(OptimalParse, NormalPacksSmallerThanAThoroughLazyParse) {
  const parse_limits thorough = {4096, 64, longest_match_length, longest_match_length, 1024};
  // Not the runs: they pack into fewer than 256 symbols, whose codes are all
  // of 9 bits, so there is nothing to weigh, only the odd match to find.
  std::vector<std::pair<const char*, bytes>> inputs = realistic_inputs();
  inputs.erase(inputs.begin() + 2);
  for (const auto& [name, data] : inputs) {
    SCOPED_TRACE(name);
    EXPECT_LT(encode_entry(data.data(), data.size(), level::normal).size(),
              write_coded_data(parse_lazy(data.data(), data.size(), thorough)).size());
  }
}

TEST(OptimalParse, SameBytesWhateverWasPackedBefore) {
  bytes first = workout();
  bytes other = joined({random_bytes(5000, 51), text_like(60000, 52)});
  for (level effort : {level::normal, level::max}) {
    bytes alone = encode_entry(first.data(), first.size(), effort);
    encode_entry(other.data(), other.size(), effort);
    EXPECT_TRUE(encode_entry(first.data(), first.size(), effort) == alone);
  }
}

}  // namespace
