// The password check: CRC-16 of the typed bytes against the check word.
#include <gtest/gtest.h>

#include "archive/archive.h"
#include "pack/container.h"
#include "support/cp932.h"
#include "support/scripted_front.h"

namespace {

// The state open_archive leaves for a protected archive whose password is
// `real`.
void protect_with(const std::string& real) {
  use_scripted_front();
  archive_protected = 1;
  expected_check = quorvex::pack::crc16(real);
  text_clear(&password);
}

TEST(PasswordCheck, TypedTextPassesExactlyWhenItsCrcMatches) {
  const std::string katakana = cp932("パスワード");
  struct {
    std::string real, typed;
    bool passes;
  } cases[] = {
      {"Secret", "Secret", true},
      {"Secret", "secret", false},  // letter case counts
      {"Secret", "SECRET", false},
      {"Secret", "Secret ", false},  // no trimming
      {katakana, katakana, true},
      {katakana, katakana.substr(0, katakana.size() - 1), false},
      {"a", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(utf8(c.typed));
    protect_with(c.real);
    scripted.typed_password = c.typed;
    EXPECT_EQ(check_password(), c.passes);
    if (c.passes) {
      EXPECT_EQ(std::string(text_c_str(&password)), c.typed);
      EXPECT_TRUE(scripted.messages.empty());
    } else {
      EXPECT_EQ(password.length, 0);
      ASSERT_EQ(scripted.messages.size(), 1u);
      EXPECT_EQ(scripted.messages[0].text, cp932("パスワードが違います。"));
      EXPECT_EQ(scripted.messages[0].flags, 0x30u);
      EXPECT_TRUE(scripted.messages[0].owned);
      EXPECT_EQ(scripted.password_focus_count, 1);
    }
  }
}

TEST(PasswordCheck, DoubleByteCharactersContributeBothBytesLeadFirst) {
  // The CRC of the two bytes of 表 in order differs from the swapped order.
  const std::string hyo = cp932("表");
  ASSERT_EQ(hyo, std::string("\x95\x5C"));
  protect_with(hyo);
  scripted.typed_password = std::string("\x5C\x95");
  EXPECT_FALSE(check_password());
  scripted.typed_password = hyo;
  EXPECT_TRUE(check_password());
}

TEST(PasswordCheck, EmptyTextIsRefusedEvenWhenTheCheckValueIsTheCrcOfNothing) {
  protect_with("");
  ASSERT_EQ(expected_check, 0);
  scripted.typed_password = "";
  EXPECT_FALSE(check_password());
  EXPECT_EQ(password.length, 0);
  ASSERT_EQ(scripted.messages.size(), 1u);
  EXPECT_EQ(scripted.messages[0].id, message_wrong_password);
}

TEST(PasswordCheck, UnprotectedArchivePassesWithoutReadingTheField) {
  use_scripted_front();
  archive_protected = 0;
  text_clear(&password);
  scripted.typed_password = "anything";
  EXPECT_TRUE(check_password());
  EXPECT_EQ(password.length, 0);
  EXPECT_TRUE(scripted.messages.empty());
}

TEST(PasswordCheck, RetryAfterAWrongTextUsesTheNewText) {
  protect_with("right");
  scripted.typed_password = "wrong";
  EXPECT_FALSE(check_password());
  scripted.typed_password = "right";
  EXPECT_TRUE(check_password());
  EXPECT_EQ(std::string(text_c_str(&password)), "right");
  EXPECT_EQ(scripted.messages.size(), 1u);
}

}  // namespace
