// The match finder of the cost-based parse: what it offers at a position
// against a search of the whole history by brute force.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "pack/match_finder.h"
#include "support/sample_data.h"

namespace {

using namespace quorvex::pack;
using bytes = std::vector<uint8_t>;

// Few byte values, so that there are many matches of every length, and a
// stretch repeated at the farthest distance.
bytes matchy(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  bytes data(size);
  for (uint8_t& b : data) b = static_cast<uint8_t>('a' + random() % 4);
  for (size_t i = 0; i < 500 && 9000 + i < size; ++i) data[9000 + i] = data[9000 + i - farthest_match_distance];
  return data;
}

uint32_t common_length(const bytes& data, size_t pos, size_t distance, uint32_t limit) {
  uint32_t length = 0;
  while (length < limit && data[pos + length] == data[pos + length - distance]) ++length;
  return length;
}

struct finder_setting {
  uint32_t nice;
  int chain;
};

TEST(MatchFinder, OffersTheLongestMatchInReachAndTrueLengths) {
  bytes data = matchy(12000, 1);
  for (finder_setting s : {finder_setting{40, 0}, finder_setting{600, 0}, finder_setting{40, 16}}) {
    SCOPED_TRACE("nice " + std::to_string(s.nice) + " chain " + std::to_string(s.chain));
    // A depth that never cuts the walk short.
    match_finder finder(data.data(), data.size(), s.nice, 1 << 20, s.chain);
    match_candidate out[most_candidates];
    for (size_t pos = 0; pos < data.size(); ++pos) {
      size_t count = finder.find(pos, out);
      uint32_t limit = static_cast<uint32_t>(std::min<size_t>(s.nice, data.size() - pos));
      uint32_t longest = 0;
      for (size_t d = 1; d <= std::min<size_t>(pos, farthest_match_distance); ++d) {
        longest = std::max(longest, common_length(data, pos, d, limit));
      }
      if (longest < 2) {
        ASSERT_EQ(count, 0u) << "at " << pos;
        continue;
      }
      ASSERT_GT(count, 0u) << "at " << pos;
      ASSERT_EQ(out[count - 1].length, longest) << "at " << pos;
      std::set<uint32_t> codes;
      for (size_t i = 0; i < count; ++i) {
        ASSERT_GE(out[i].distance, 1) << "at " << pos;
        ASSERT_LE(out[i].distance, std::min<size_t>(pos, farthest_match_distance)) << "at " << pos;
        ASSERT_GE(out[i].length, 2) << "at " << pos;
        ASSERT_EQ(out[i].length, common_length(data, pos, out[i].distance, limit)) << "at " << pos;
        if (i > 0) ASSERT_LE(out[i - 1].length, out[i].length) << "at " << pos;
        codes.insert((out[i].distance - 1u) >> 4);
      }
      if (s.chain) ASSERT_EQ(codes.size(), count) << "one candidate per distance code, at " << pos;
    }
  }
}

TEST(MatchFinder, TheChainOffersFartherDistancesTheTreeDoesNot) {
  // The same 6 bytes far back and near; the near copy goes on matching for
  // one more byte. The tree offers the near, longer match; the chain adds the
  // far one, whose distance code may be the cheaper.
  bytes data = random_bytes(6000, 2);
  const bytes word = {'q', 'u', 'o', 'r', 'v', 'x'};
  std::copy(word.begin(), word.end(), data.begin() + 1000);
  data[1006] = 'B';
  std::copy(word.begin(), word.end(), data.begin() + 5000);
  data[5006] = 'A';
  std::copy(word.begin(), word.end(), data.begin() + 5100);
  data[5106] = 'A';
  for (int chain : {0, 8}) {
    match_finder finder(data.data(), data.size(), 64, 64, chain);
    match_candidate out[most_candidates];
    size_t count = 0;
    for (size_t pos = 0; pos <= 5100; ++pos) count = finder.find(pos, out);
    ASSERT_GT(count, 0u);
    EXPECT_EQ(out[count - 1].distance, 100) << "chain " << chain;
    EXPECT_EQ(out[count - 1].length, 7) << "chain " << chain;
    bool far = std::any_of(out, out + count, [](const match_candidate& c) { return c.distance == 4100 && c.length == 6; });
    EXPECT_EQ(far, chain > 0) << "chain " << chain;
  }
}

TEST(MatchFinder, SkippedPositionsAreFoundLater) {
  bytes block = random_bytes(300, 3);
  bytes data = block;
  data.insert(data.end(), block.begin(), block.end());
  match_finder finder(data.data(), data.size(), 4352, 16, 0);
  for (size_t pos = 0; pos < 300; ++pos) finder.skip(pos);
  match_candidate out[most_candidates];
  size_t count = finder.find(300, out);
  ASSERT_GT(count, 0u);
  EXPECT_EQ(out[count - 1].distance, 300);
  EXPECT_EQ(out[count - 1].length, 300);
}

}  // namespace
