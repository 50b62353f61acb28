// The encoder: the coded bytes it writes for known entries, every kind of
// symbol it can write, and the soundness of its parse.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "pack/code_writer.h"
#include "pack/encoder.h"
#include "pack/lz_parse.h"
#include "support/coded_stream.h"
#include "support/reference_decoder.h"

namespace {

using namespace quorvex::pack;
using bytes = std::vector<uint8_t>;

bytes encode(const std::string& text, level effort = level::normal) {
  return encode_entry(reinterpret_cast<const uint8_t*>(text.data()), text.size(), effort);
}

TEST(EncoderCodedData, WritesTheKnownCodedBytes) {
  std::string alternating;
  for (int i = 0; i < 302; ++i) alternating += i % 2 ? 'b' : 'a';
  for (level effort : {level::fast, level::normal, level::max}) {
    EXPECT_EQ(encode("", effort), bytes{});
    EXPECT_EQ(encode("A", effort), (bytes{0xAE, 0x01}));
    EXPECT_EQ(encode("aaaaa", effort), (bytes{0xA6, 0x57, 0xA8, 0x02}));
    EXPECT_EQ(encode(alternating, effort), (bytes{0xA6, 0x4D, 0x54, 0x5D, 0x01, 0x55, 0x01}));
  }
}

// The bytes a parse stands for.
bytes expand_tokens(const std::vector<lz_token>& tokens) {
  bytes out;
  for (const lz_token& t : tokens) {
    if (t.is_literal()) {
      out.push_back(static_cast<uint8_t>(t.value));
    } else {
      for (int k = 0; k < t.length; ++k) out.push_back(out[out.size() - t.value]);
    }
  }
  return out;
}

// Literals 0 and 255 and each end of every range: lengths 2, 256 (the last
// plain length symbol), 257 and 4352 (the escape with E = 0 and 4095),
// distances 1, 16, 17 and 8192, and a long code or two from skewed counts.
std::vector<lz_token> every_kind_of_symbol() {
  std::mt19937 random(3);
  std::vector<lz_token> tokens;
  for (int i = 0; i < 9000; ++i) tokens.push_back(lz_token::literal(static_cast<uint8_t>(random() % 7 == 0 ? 255 : random())));
  tokens.push_back(lz_token::literal(0));
  for (uint32_t length : {2u, 3u, 255u, 256u, 257u, 258u, 4351u, 4352u}) {
    for (uint32_t distance : {1u, 2u, 16u, 17u, 4096u, 8191u, 8192u}) tokens.push_back(lz_token::match(length, distance));
  }
  for (int i = 0; i < 3000; ++i) tokens.push_back(lz_token::match(2 + random() % 3, 1 + random() % 20));
  tokens.push_back(lz_token::match(4352, 8192));
  return tokens;
}

class EncoderSymbols : public ::testing::TestWithParam<entry_decoder> {};

TEST_P(EncoderSymbols, EveryKindOfSymbolComesBackThroughTheDecoder) {
  std::vector<lz_token> tokens = every_kind_of_symbol();
  bytes expected = expand_tokens(tokens);
  bytes coded = write_coded_data(tokens);
  coded.push_back(0x5A);
  std::vector<entry_run> runs = expand_all(GetParam(), coded, {static_cast<int32_t>(expected.size())});
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs[0].exit_code, -1);
  EXPECT_TRUE(runs[0].output == expected);
  EXPECT_EQ(runs[0].stream_position, static_cast<int32_t>(coded.size() - 1));
}

INSTANTIATE_TEST_SUITE_P(ProductionAndReference, EncoderSymbols, ::testing::Values(expand_entry, reference_expand_entry),
                         [](const auto& info) { return info.index == 0 ? "production" : "reference"; });

// Data where every limit of the parse is met: runs longer than the longest
// match, repeats at the farthest distance and just beyond it, 2-byte repeats.
bytes parse_workout() {
  std::mt19937 random(17);
  bytes data;
  bytes block(8192);
  for (uint8_t& b : block) b = static_cast<uint8_t>(random());
  data.insert(data.end(), block.begin(), block.end());
  data.insert(data.end(), block.begin(), block.end());  // distance exactly 8192
  data.push_back(1);
  data.insert(data.end(), block.begin(), block.end());  // distance 8193: out of reach
  data.insert(data.end(), 10000, 'x');
  for (int i = 0; i < 5000; ++i) data.push_back(static_cast<uint8_t>("abcab"[random() % 5]));
  for (int i = 0; i < 3000; ++i) data.push_back(static_cast<uint8_t>(random() % 4));
  return data;
}

TEST(EncoderParse, TokensStayWithinTheDataAndReproduceIt) {
  bytes data = parse_workout();
  for (size_t cut : {data.size(), data.size() - 1, size_t{8193}, size_t{3}, size_t{2}, size_t{1}}) {
    for (level effort : {level::fast, level::normal, level::max}) {
      SCOPED_TRACE("cut " + std::to_string(cut) + " level " + std::to_string(static_cast<int>(effort)));
      // Every level's parse, written and read back.
      bytes coded = encode_entry(data.data(), cut, effort);
      coded.push_back(0x5A);
      std::vector<entry_run> runs = expand_all(expand_entry, coded, {static_cast<int32_t>(cut)});
      ASSERT_EQ(runs.at(0).exit_code, -1);
      EXPECT_TRUE(runs[0].output == bytes(data.begin(), data.begin() + cut));
      EXPECT_EQ(runs[0].produced, static_cast<int32_t>(cut));
      EXPECT_EQ(runs[0].stream_position, static_cast<int32_t>(coded.size() - 1));
    }
  }
}

TEST(EncoderParse, MatchesRespectTheFormatsLimits) {
  bytes data = parse_workout();
  parse_limits limits = {4096, 64, longest_match_length, longest_match_length, 16};
  std::vector<lz_token> tokens = parse_lazy(data.data(), data.size(), limits);
  size_t position = 0;
  size_t matches = 0, longest = 0, farthest = 0, pairs = 0;
  for (const lz_token& t : tokens) {
    if (!t.is_literal()) {
      ASSERT_GE(t.length, shortest_match_length);
      ASSERT_LE(t.length, longest_match_length);
      ASSERT_GE(t.value, 1);
      ASSERT_LE(t.value, farthest_match_distance);
      ASSERT_LE(t.value, position);
      ++matches;
      longest = std::max<size_t>(longest, t.length);
      farthest = std::max<size_t>(farthest, t.value);
      pairs += t.length == 2;
    }
    position += t.length;
  }
  EXPECT_EQ(position, data.size());
  EXPECT_TRUE(expand_tokens(tokens) == data);
  // The workout gives the parse a reason for each extreme.
  EXPECT_GT(matches, 0u);
  EXPECT_EQ(longest, longest_match_length);
  EXPECT_EQ(farthest, farthest_match_distance);
  EXPECT_GT(pairs, 0u);
}

TEST(EncoderParse, RepetitiveDataShrinks) {
  bytes data;
  const std::string line = "The extractor keeps 8192 bytes of history for its matches.\r\n";
  while (data.size() < 200000) data.insert(data.end(), line.begin(), line.end());
  bytes coded = encode_entry(data.data(), data.size());
  EXPECT_LT(coded.size(), data.size() / 50);
}

}  // namespace
