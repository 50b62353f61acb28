// The production decoder against the reference on random coded data: the
// same output, the same writes, the same pumps, the same bytes taken from the
// stream, the same messages and exit, entry after entry.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "archive/process_state.h"
#include "decoder/decoder.h"
#include "pack/code_writer.h"
#include "support/coded_stream.h"
#include "support/reference_decoder.h"

namespace {

using quorvex::pack::lz_token;
using bytes = std::vector<uint8_t>;

struct stream_case {
  bytes payload;
  std::vector<int32_t> sizes;
  std::string password;
  int cancel_at_pump = -1;  // the pump (from 0) whose message is a Cancel click
};

std::vector<entry_run> run_case(entry_decoder decoder, const stream_case& c) {
  coded_stream stream;
  stream.open(c.payload, c.password);
  int pumps = 0;
  stream.on_pump = [&] {
    if (pumps++ == c.cancel_at_pump) cancel_requested = 1;
  };
  std::vector<entry_run> runs;
  for (int32_t size : c.sizes) {
    runs.push_back(stream.expand(decoder, size));
    if (runs.back().exit_code != -1 || cancel_requested) break;
  }
  return runs;
}

void expect_same_runs(const stream_case& c, const std::string& what) {
  std::vector<entry_run> production = run_case(expand_entry, c);
  std::vector<entry_run> reference = run_case(reference_expand_entry, c);
  ASSERT_EQ(production.size(), reference.size()) << what;
  for (size_t i = 0; i < production.size(); ++i) {
    const entry_run& a = production[i];
    const entry_run& b = reference[i];
    ASSERT_EQ(a.exit_code, b.exit_code) << what << " entry " << i;
    ASSERT_EQ(a.stream_position, b.stream_position) << what << " entry " << i;
    ASSERT_EQ(a.produced, b.produced) << what << " entry " << i;
    ASSERT_EQ(a.pieces, b.pieces) << what << " entry " << i;
    ASSERT_TRUE(a.pumps == b.pumps) << what << " entry " << i;
    ASSERT_TRUE(a.output == b.output) << what << " entry " << i;
    ASSERT_TRUE(a == b) << what << " entry " << i << ": messages differ";
  }
}

// Random tokens from skewed distributions, so that codes of every length
// from 1 bit to well beyond the lookup tables occur.
std::vector<lz_token> random_tokens(std::mt19937& random, size_t count) {
  double skew = 0.02 + (random() % 50) / 100.0;
  std::geometric_distribution<int> pick(skew);
  std::vector<lz_token> tokens;
  size_t position = 0;
  while (tokens.size() < count) {
    bool match = position >= 2 && random() % 3 != 0;
    if (!match) {
      tokens.push_back(lz_token::literal(static_cast<uint8_t>(pick(random) * 13)));
      position += 1;
      continue;
    }
    uint32_t length = random() % 50 == 0 ? 2 + random() % 4351 : 2 + pick(random) % 300;
    uint32_t reach = static_cast<uint32_t>(std::min<size_t>(position, 8192));
    uint32_t distance = 1 + (random() % 2 ? pick(random) % reach : random() % reach);
    tokens.push_back(lz_token::match(length, distance));
    position += length;
  }
  return tokens;
}

int32_t expanded_size_of(const std::vector<lz_token>& tokens) {
  int32_t size = 0;
  for (const lz_token& t : tokens) size += t.length;
  return size;
}

TEST(DecoderDifferential, RandomTokenStreamsEntryAfterEntry) {
  std::mt19937 random(2024);
  for (int round = 0; round < 30; ++round) {
    stream_case c;
    int entries = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < entries; ++e) {
      std::vector<lz_token> tokens = random_tokens(random, random() % 3 == 0 ? random() % 40 : random() % 12000);
      bytes coded = quorvex::pack::write_coded_data(tokens);
      c.payload.insert(c.payload.end(), coded.begin(), coded.end());
      int32_t size = expanded_size_of(tokens);
      // Now and then an entry that claims fewer bytes: it stops early, and the
      // next one is read from wherever the stream then stands.
      if (random() % 8 == 0 && size > 0) size = static_cast<int32_t>(random() % size);
      c.sizes.push_back(size);
    }
    for (int tail = random() % 6; tail > 0; --tail) c.payload.push_back(static_cast<uint8_t>(random()));
    if (random() % 3 == 0) c.password = std::string(1 + random() % 5, static_cast<char>('a' + random() % 26));
    if (random() % 4 == 0) c.cancel_at_pump = static_cast<int>(random() % 12);
    expect_same_runs(c, "round " + std::to_string(round));
  }
}

TEST(DecoderDifferential, RandomBytesAsCodedData) {
  // Every bit sequence decodes to something; most soon ask for a match
  // before the entry's start, or run out of stream.
  std::mt19937 random(77);
  for (int round = 0; round < 200; ++round) {
    stream_case c;
    c.payload.resize(1 + random() % 9000);
    int32_t zero_bias = static_cast<int32_t>(random() % 4);
    for (uint8_t& b : c.payload) {
      b = static_cast<uint8_t>(random());
      for (int32_t k = 0; k < zero_bias; ++k) b &= static_cast<uint8_t>(random());
    }
    c.sizes = {static_cast<int32_t>(random() % 50000), static_cast<int32_t>(random() % 500)};
    expect_same_runs(c, "round " + std::to_string(round));
  }
}

}  // namespace
