#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pack/archive_names.h"
#include "pack/refusal.h"
#include "support/cp932.h"

namespace {

using namespace quorvex::pack;

std::string refusal_text(const std::string& component) {
  try {
    archive_component(component, "dir/" + component);
  } catch (const refusal& error) {
    return error.what();
  }
  return "";
}

TEST(PackNames, ComponentsBecomeCodePage932Bytes) {
  for (const std::string name : {"readme.txt", "表.txt", "ポスター", "データ 2024"}) {
    EXPECT_EQ(archive_component(name, name), cp932(name)) << name;
  }
}

TEST(PackNames, ComponentsThatCannotComeBackAsTheSameNameAreRefused) {
  struct {
    std::string component;
    std::string said;
  } cases[] = {
      {"smile\xF0\x9F\x98\x80.txt", "U+1F600"},
      {"caf\xC3\xA9\xCC\x81", "has no code page 932 form"},
      {"bad\xFF", "the byte 0xFF (not UTF-8)"},
      {"a\\b", "folder separator"},
      {"price\xC2\xA5", "folder separator"},  // the yen sign is 0x5C in code page 932
  };
  for (const auto& c : cases) {
    std::string text = refusal_text(c.component);
    EXPECT_NE(text.find("'dir/" + c.component + "'"), std::string::npos) << text;
    EXPECT_NE(text.find(c.said), std::string::npos) << text;
  }
}

TEST(PackNames, NamesTheExtractorOrWindowsWouldRefuseHaveAProblem) {
  for (const std::string name : {"..\\a", "a\\..\\b", "...", " ", ". .", "\\a", "a:b", "x\x01y", "CON", "con.txt",
                                 "LPT1.log", "com9", "a\\NUL", "aux .txt", "a?b", "a*b", "a<b", "a>b", "a|b",
                                 "a\"b", "name.", "name ", "dir.\\x", "dir \\x"}) {
    EXPECT_NE(name_problem(name), "") << name;
  }
}

TEST(PackNames, OrdinaryNamesAndDoubleByteTrailBytesAreFine) {
  // 表 ends in 0x5C and ポ in 0x7C ('|'): trail bytes, not characters.
  for (const std::string name : {"表\\a.txt", "ポスター.txt", "表", "CONSOLE.txt", "COM10", "LPT", ".hidden", "a b.txt",
                                 "a..b", "x\\y\\z"}) {
    std::string bytes = name.find_first_of("\x80") == std::string::npos ? name : cp932(name);
    EXPECT_EQ(name_problem(bytes), "") << name;
  }
}

TEST(PackNames, FoldersComeRightBeforeTheirContents) {
  std::vector<std::vector<std::string>> sorted = {{"a"}, {"a", "z"}, {"a b"}, {"b"}, {cp932("表")}, {cp932("表"), "x"}};
  for (size_t i = 0; i + 1 < sorted.size(); ++i) {
    EXPECT_TRUE(comes_before(sorted[i], sorted[i + 1])) << i;
    EXPECT_FALSE(comes_before(sorted[i + 1], sorted[i])) << i;
  }
}

TEST(PackNames, WindowsKeyFoldsAsciiLettersButNotTrailBytes) {
  EXPECT_EQ(windows_key("README.Txt"), windows_key("readme.TXT"));
  // ャ is 0x83 0x61 and ア is 0x83 0x41: their trail bytes are 'a' and 'A'.
  EXPECT_NE(windows_key(cp932("ャ")), windows_key(cp932("ア")));
}

TEST(PackNames, CommentLinesEndInCarriageReturnLineFeed) {
  EXPECT_EQ(comment_text("一行目\n二行目\r\n三行目\rend"), cp932("一行目\r\n二行目\r\n三行目\r\nend"));
  EXPECT_EQ(comment_text("\xEF\xBB\xBFwith a byte order mark"), "with a byte order mark");
  EXPECT_EQ(comment_text(""), "");
}

TEST(PackNames, CommentsWithoutACodePage932FormAreRefusedWithTheirLine) {
  try {
    comment_text("first\nsecond \xF0\x9F\x98\x80\n");
    FAIL() << "no refusal";
  } catch (const refusal& error) {
    std::string text = error.what();
    EXPECT_NE(text.find("U+1F600"), std::string::npos) << text;
    EXPECT_NE(text.find("line 2"), std::string::npos) << text;
  }
  EXPECT_THROW(comment_text(std::string("zero\0byte", 9)), refusal);
}

}  // namespace
