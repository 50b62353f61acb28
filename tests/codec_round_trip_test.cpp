// Encoder and decoder together: entries coded by the encoder, stored back to
// back in a block stream (plain or scrambled), expanded by the extractor's
// decoder to the same bytes, each entry ending exactly where the next begins.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "pack/encoder.h"
#include "support/coded_stream.h"
#include "support/reference_decoder.h"
#include "support/sample_data.h"

namespace {

using quorvex::pack::encode_entry;
using quorvex::pack::level;
using bytes = std::vector<uint8_t>;

// Packs `entries` into one payload, decodes it, and checks each entry.
void expect_round_trip(const std::vector<bytes>& entries, const std::string& password = "",
                       level effort = level::normal, entry_decoder decoder = expand_entry) {
  bytes payload;
  std::vector<int32_t> sizes;
  std::vector<int32_t> ends;
  for (const bytes& entry : entries) {
    bytes coded = encode_entry(entry.data(), entry.size(), effort);
    payload.insert(payload.end(), coded.begin(), coded.end());
    sizes.push_back(static_cast<int32_t>(entry.size()));
    ends.push_back(static_cast<int32_t>(payload.size()));
  }
  payload.push_back(0x5A);  // what follows the last entry
  std::vector<entry_run> runs = expand_all(decoder, payload, sizes, password);
  ASSERT_EQ(runs.size(), entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE("entry " + std::to_string(i) + " of " + std::to_string(entries[i].size()) + " bytes");
    ASSERT_EQ(runs[i].exit_code, -1);
    ASSERT_EQ(runs[i].output.size(), entries[i].size());
    EXPECT_TRUE(runs[i].output == entries[i]);
    EXPECT_EQ(runs[i].produced, sizes[i]);
    EXPECT_EQ(runs[i].stream_position, ends[i]);
  }
}

struct named_data {
  const char* name;
  bytes data;
};

std::vector<named_data> single_entries() {
  return {
      {"empty", {}},
      {"one byte", {0x41}},
      {"random bytes", random_bytes(100000, 1)},
      {"text", text_like(300000, 2)},
      {"long runs", long_runs(400000, 3)},
      {"one byte repeated", bytes(100000, 0xFF)},
      {"every byte value", [] {
         bytes b(256 * 40);
         for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 97 + i / 256);
         return b;
       }()},
  };
}

TEST(CodecRoundTrip, SingleEntriesOfEveryKindAtEveryLevel) {
  for (level effort : {level::fast, level::normal, level::max}) {
    for (const named_data& d : single_entries()) {
      SCOPED_TRACE(std::string(d.name) + " at level " + std::to_string(static_cast<int>(effort)));
      expect_round_trip({d.data}, "", effort);
    }
  }
}

TEST(CodecRoundTrip, SizesAroundTheWindowPieces) {
  bytes text = text_like(73729 + 10, 4);
  bytes noise = random_bytes(73729 + 10, 5);
  for (size_t size : {32767u, 32768u, 32769u, 40959u, 40960u, 40961u, 73727u, 73728u, 73729u}) {
    SCOPED_TRACE(size);
    expect_round_trip({bytes(text.begin(), text.begin() + size), bytes(noise.begin(), noise.begin() + size)});
  }
}

TEST(CodecRoundTrip, AFileOfSeveralMegabytes) {
  bytes big = text_like(3 << 20, 6);
  bytes noise = random_bytes(1 << 20, 7);
  big.insert(big.begin() + (1 << 20), noise.begin(), noise.end());
  expect_round_trip({big});
}

TEST(CodecRoundTrip, ManyEntriesBackToBackEachStartingAfresh) {
  std::vector<bytes> entries;
  std::mt19937 random(8);
  for (int i = 0; i < 40; ++i) {
    size_t size = random() % 3 == 0 ? random() % 20 : random() % 30000;
    switch (i % 3) {
      case 0: entries.push_back(text_like(size, static_cast<uint32_t>(i))); break;
      case 1: entries.push_back(random_bytes(size, static_cast<uint32_t>(i))); break;
      default: entries.push_back(long_runs(size, static_cast<uint32_t>(i)));
    }
  }
  // The same bytes twice in a row: the second entry may not refer to the first.
  entries.push_back(entries[0]);
  expect_round_trip(entries);
}

TEST(CodecRoundTrip, ThroughAScrambledBlockStream) {
  for (const char* password : {"k", "pass word", "\x83\x70\x83\x58"}) {
    SCOPED_TRACE(password);
    expect_round_trip({text_like(50000, 9), bytes{}, random_bytes(9000, 10), long_runs(70000, 11)}, password);
  }
}

TEST(CodecRoundTrip, TheReferenceDecoderReadsTheEncodersOutputToo) {
  expect_round_trip({text_like(60000, 12), random_bytes(5000, 13), long_runs(50000, 14)}, "", level::max,
                    reference_expand_entry);
}

}  // namespace
