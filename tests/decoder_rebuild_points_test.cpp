// When the decoder rebuilds its trees and serves the user interface: the
// rebuild points, skipped entries, and a Cancel that lands at a pump.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "archive/process_state.h"
#include "decoder/decoder.h"
#include "decoder/output_window.h"
#include "pack/code_writer.h"
#include "pack/encoder.h"
#include "support/coded_stream.h"
#include "support/reference_decoder.h"

namespace {

using quorvex::pack::lz_token;
using quorvex::pack::write_coded_data;
using bytes = std::vector<uint8_t>;

// Literals only, so that bytes produced count symbols.
std::vector<lz_token> literals(size_t count) {
  std::mt19937 random(static_cast<uint32_t>(count));
  std::vector<lz_token> tokens;
  for (size_t i = 0; i < count; ++i) tokens.push_back(lz_token::literal(static_cast<uint8_t>(random() % 40 + 'A')));
  return tokens;
}

class RebuildPoints : public ::testing::TestWithParam<entry_decoder> {};

TEST_P(RebuildPoints, EveryTwoHundredFiftySixSymbolsThenEveryThousandTwentyFour) {
  bytes coded = write_coded_data(literals(5000));
  std::vector<entry_run> runs = expand_all(GetParam(), coded, {5000});
  ASSERT_EQ(runs.at(0).exit_code, -1);
  std::vector<int32_t> points;
  for (const pump_moment& m : runs[0].pumps) points.push_back(m.produced);
  EXPECT_EQ(points, (std::vector<int32_t>{0, 256, 512, 768, 1024, 1280, 1536, 1792, 2048, 3072, 4096}));
  // 2049 symbols: nine rebuilds, the last before symbol 2048.
  runs = expand_all(GetParam(), coded, {2049});
  EXPECT_EQ(runs.at(0).pumps.size(), 9u);
  EXPECT_EQ(runs[0].pumps.back().produced, 2048);
}

TEST_P(RebuildPoints, ASkippedEntryReadsTheSameBitsAndPumpsAlike) {
  std::mt19937 random(4);
  bytes data(90000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 1000 < 500 ? random() % 16 : i / 7);
  bytes coded = quorvex::pack::encode_entry(data.data(), data.size());
  coded.push_back(0x5A);
  coded_stream written_stream;
  written_stream.open(coded);
  entry_run written = written_stream.expand(GetParam(), static_cast<int32_t>(data.size()));
  coded_stream skipped_stream;
  skipped_stream.open(coded);
  entry_run skipped = skipped_stream.expand(GetParam(), static_cast<int32_t>(data.size()), true);
  EXPECT_TRUE(written.output == data);
  EXPECT_TRUE(skipped.pieces.empty());
  EXPECT_EQ(skipped.stream_position, written.stream_position);
  EXPECT_EQ(skipped.stream_position, static_cast<int32_t>(coded.size() - 1));
  EXPECT_EQ(skipped.pumps, written.pumps);
}

TEST_P(RebuildPoints, ACancelAtAPumpLetsThatSymbolFinish) {
  bytes coded = write_coded_data(literals(1000));
  coded_stream stream;
  stream.open(coded);
  // Cancel clicked in the pump before symbol 256.
  stream.on_pump = [] {
    if (output_position == 256) cancel_requested = 1;
  };
  entry_run run = stream.expand(GetParam(), 1000);
  EXPECT_EQ(run.exit_code, -1);
  EXPECT_EQ(run.produced, 257);
  EXPECT_EQ(run.output.size(), 257u);
  ASSERT_EQ(run.pumps.size(), 2u);
  // Symbol 256 was decoded in full and nothing after it: the stream stands
  // where an entry of 257 bytes ends.
  coded_stream whole;
  whole.open(coded);
  whole.on_pump = [] {};
  entry_run first_257 = whole.expand(GetParam(), 257);
  EXPECT_EQ(run.stream_position, first_257.stream_position);
  EXPECT_TRUE(run.output == first_257.output);
}

INSTANTIATE_TEST_SUITE_P(ProductionAndReference, RebuildPoints, ::testing::Values(expand_entry, reference_expand_entry),
                         [](const auto& info) { return info.index == 0 ? "production" : "reference"; });

}  // namespace
