#include <gtest/gtest.h>

#include <string>

#include "pack/progress_bar.h"

namespace {

using quorvex::pack::progress_line;

// Columns of a text whose non-ASCII characters are all double width, as in
// the names below.
size_t columns(const std::string& text) {
  size_t total = 0;
  for (unsigned char c : text) {
    if (c < 0x80) {
      total += 1;
    } else if (c >= 0xC0) {
      total += 2;
    }
  }
  return total;
}

TEST(PackProgress, LineShowsShareAmountsRateAndName) {
  std::string line = progress_line(512 * 1024, 2 * 1024 * 1024, 1.5 * 1024 * 1024, "docs/表.txt", 100);
  EXPECT_EQ(line.rfind("[##--------]  25% ", 0), 0u) << line;
  EXPECT_NE(line.find("512.0 KiB / 2.0 MiB"), std::string::npos) << line;
  EXPECT_NE(line.find("1.5 MiB/s"), std::string::npos) << line;
  EXPECT_EQ(line.substr(line.size() - std::string("docs/表.txt").size()), "docs/表.txt") << line;
}

TEST(PackProgress, LongNamesAreCutAtTheFrontToFitTheWidth) {
  const std::string name = "フォルダ/とても長い名前のファイルです.txt";
  for (size_t width : {30u, 40u, 60u, 70u}) {
    std::string line = progress_line(1, 3, 0, name, width);
    EXPECT_LE(columns(line), width) << line;
    EXPECT_GE(columns(line), width - 1) << line;  // a double-width character may not fit the last column
    EXPECT_NE(line.find("..."), std::string::npos) << line;
    EXPECT_EQ(line.substr(line.size() - 4), ".txt") << line;
  }
}

TEST(PackProgress, NarrowTerminalsKeepTheShareAndSomeOfTheName) {
  std::string line = progress_line(3, 4, 1, "name.txt", 24);
  EXPECT_EQ(line.rfind(" 75% ", 0), 0u) << line;
  EXPECT_EQ(line.substr(line.size() - 8), "name.txt") << line;
}

TEST(PackProgress, EmptyTotalsShowAsComplete) {
  EXPECT_NE(progress_line(0, 0, 0, "empty", 80).find("100%"), std::string::npos);
}

}  // namespace
