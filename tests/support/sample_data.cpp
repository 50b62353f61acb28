#include "support/sample_data.h"

#include <cstring>
#include <random>

std::vector<uint8_t> random_bytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> data(size);
  for (uint8_t& b : data) b = static_cast<uint8_t>(random());
  return data;
}

std::vector<uint8_t> text_like(size_t size, uint32_t seed) {
  static const char* words[] = {"the ",  "of ",     "and ",   "extract ", "window ", "folder ", "quorvex ",
                                "tree ", "symbol ", "match ", "entry ",   "\r\n",    "block ",  "stream ",
                                "code ", "a ",      "is ",    "to ",      "in ",     ", ",      ". "};
  std::mt19937 random(seed);
  std::geometric_distribution<int> pick(0.15);
  std::vector<uint8_t> data;
  while (data.size() < size) {
    const char* w = words[pick(random) % (sizeof words / sizeof *words)];
    data.insert(data.end(), w, w + strlen(w));
  }
  data.resize(size);
  return data;
}

std::vector<uint8_t> long_runs(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> data;
  while (data.size() < size) {
    size_t run = 1 + random() % (random() % 4 == 0 ? 20000 : 300);
    data.insert(data.end(), run, static_cast<uint8_t>(random() % 3));
    for (int i = random() % 5; i > 0; --i) data.push_back(static_cast<uint8_t>(random()));
  }
  data.resize(size);
  return data;
}
