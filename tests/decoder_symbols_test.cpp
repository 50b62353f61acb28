// The symbol decoder on hand-coded data: literals, matches, the long-match
// escape, the bytes an entry takes from the stream, damaged matches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/archive.h"
#include "decoder/decoder.h"
#include "support/coded_stream.h"
#include "support/cp932.h"
#include "support/reference_decoder.h"

namespace {

struct coded_case {
  const char* what;
  std::vector<uint8_t> coded;
  std::string expanded;
};

std::string alternating(size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i) text += i % 2 ? 'b' : 'a';
  return text;
}

const std::vector<coded_case>& coded_cases() {
  static const std::vector<coded_case> cases = {
      {"one literal 0x41", {0xAE, 0x01}, "A"},
      {"a literal, then a match of length 4 at distance 1", {0xA6, 0x57, 0xA8, 0x02}, "aaaaa"},
      {"two literals, then the escape with E = 43 at distance 2",
       {0xA6, 0x4D, 0x54, 0x5D, 0x01, 0x55, 0x01},
       alternating(302)},
  };
  return cases;
}

class Decoder : public ::testing::TestWithParam<entry_decoder> {};

TEST_P(Decoder, ExpandsTheHandCodedEntriesAndStopsAtTheirLastByte) {
  for (const coded_case& c : coded_cases()) {
    SCOPED_TRACE(c.what);
    // The next record's first byte follows the coded data.
    std::vector<uint8_t> payload = c.coded;
    payload.push_back(0x5A);
    coded_stream stream;
    stream.open(payload);
    entry_run run = stream.expand(GetParam(), static_cast<int32_t>(c.expanded.size()));
    ASSERT_EQ(run.exit_code, -1);
    EXPECT_EQ(std::string(run.output.begin(), run.output.end()), c.expanded);
    EXPECT_EQ(run.stream_position, static_cast<int32_t>(c.coded.size()));
    EXPECT_EQ(read_archive_byte(), 0x5A);
    // One rebuild point, at symbol 0, before anything was read.
    ASSERT_EQ(run.pumps.size(), 1u);
    EXPECT_EQ(run.pumps[0], (pump_moment{0, 0}));
  }
}

TEST_P(Decoder, AnEmptyEntryReadsNothingAndPumpsNothing) {
  coded_stream stream;
  stream.open({0x5A});
  entry_run run = stream.expand(GetParam(), 0);
  EXPECT_EQ(run.exit_code, -1);
  EXPECT_TRUE(run.output.empty());
  EXPECT_TRUE(run.pumps.empty());
  EXPECT_EQ(run.stream_position, 0);
}

TEST_P(Decoder, ANegativeSizeDecodesNothing) {
  coded_stream stream;
  stream.open({0xAE, 0x01});
  entry_run run = stream.expand(GetParam(), INT32_MIN);
  EXPECT_TRUE(run.output.empty());
  EXPECT_EQ(run.stream_position, 0);
}

TEST_P(Decoder, AMatchCrossingTheSizeIsCopiedWhole) {
  // "aaaaa" coded, but the entry claims 3 bytes: the match of 4 is copied
  // whole because the size is tested between symbols only.
  coded_stream stream;
  stream.open({0xA6, 0x57, 0xA8, 0x02});
  entry_run run = stream.expand(GetParam(), 3);
  EXPECT_EQ(std::string(run.output.begin(), run.output.end()), "aaaaa");
  EXPECT_EQ(run.produced, 5);
}

TEST_P(Decoder, AMatchReachingBeforeTheEntryIsADamagedArchive) {
  // 0xA6 0x57 codes literal 'a' and symbol 258 (length 4); the distance
  // symbol 0 with F = 1 then asks for distance 2 with one byte produced.
  coded_stream stream;
  stream.open({0xA6, 0x57, 0xA8, 0x0A});
  entry_run run = stream.expand(GetParam(), 5);
  EXPECT_EQ(run.exit_code, 1);
  ASSERT_EQ(run.messages.size(), 1u);
  EXPECT_EQ(run.messages[0].text, cp932("ファイルが壊れています。"));
  EXPECT_TRUE(run.output.empty());  // the half-written file is deleted
}

TEST_P(Decoder, CodedDataCutShortIsAReadFailure) {
  coded_stream stream;
  stream.open({0xA6, 0x57, 0xA8});
  entry_run run = stream.expand(GetParam(), 5);
  EXPECT_EQ(run.exit_code, 1);
  ASSERT_EQ(run.messages.size(), 1u);
  EXPECT_EQ(run.messages[0].text, cp932("ファイルの読み込みに失敗しました。"));
}

TEST_P(Decoder, ACancelBeforeTheEntryDecodesNothing) {
  coded_stream stream;
  stream.open({0xAE, 0x01});
  cancel_requested = 1;
  entry_run run = stream.expand(GetParam(), 1);
  EXPECT_TRUE(run.output.empty());
  EXPECT_TRUE(run.pumps.empty());
  EXPECT_EQ(run.stream_position, 0);
}

INSTANTIATE_TEST_SUITE_P(ProductionAndReference, Decoder, ::testing::Values(expand_entry, reference_expand_entry),
                         [](const auto& info) { return info.index == 0 ? "production" : "reference"; });

}  // namespace
