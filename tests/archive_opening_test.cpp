// Opening the program's own file: the bare stub, the size rule, the header
// fields, and headers cut short.
#include <gtest/gtest.h>

#include "app/archive_opening.h"
#include "archive/archive.h"
#include "support/archive_fixture.h"
#include "support/cp932.h"
#include "support/scripted_front.h"
#include "support/temp_dir.h"

using quorvex::pack::header_fields;

namespace {

struct opening {
  int exit_code;  // -1: open_archive returned
  bool bare;
};

opening open_file(const std::vector<uint8_t>& bytes) {
  temp_dir dir;
  write_file(dir / "sfx.exe", bytes);
  std::string path = logic_path(dir / "sfx.exe");
  opening result{-1, false};
  result.exit_code = run_until_exit([&] { result.bare = open_archive(path.c_str()); });
  platform_files->close(&archive_file);
  platform_files->io_result();
  return result;
}

void set_total_size(std::vector<uint8_t>& file, uint32_t value) {
  for (int i = 0; i < 4; ++i) file[25600 + i] = static_cast<uint8_t>(value >> (8 * i));
}

class ArchiveOpening : public ::testing::Test {
 protected:
  void SetUp() override { use_scripted_front(); }
};

TEST_F(ArchiveOpening, ExactlyTheProgramImageIsABareStubAndShowsNothing) {
  opening r = open_file(fake_stub_image());
  EXPECT_EQ(r.exit_code, -1);
  EXPECT_TRUE(r.bare);
  EXPECT_TRUE(scripted.messages.empty());
  EXPECT_EQ(scripted.comment, "");
}

TEST_F(ArchiveOpening, OneToThreeBytesAfterTheImageAreAReadFailure) {
  for (int extra = 1; extra <= 3; ++extra) {
    SCOPED_TRACE(extra);
    use_scripted_front();
    std::vector<uint8_t> file = fake_stub_image();
    file.resize(file.size() + extra, 0x20);
    opening r = open_file(file);
    EXPECT_EQ(r.exit_code, 1);
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].text, cp932("ファイルの読み込みに失敗しました。"));
    EXPECT_EQ(scripted.messages[0].flags, 0x10u);
    EXPECT_TRUE(scripted.messages[0].owned);
  }
}

TEST_F(ArchiveOpening, DeclaredSizeThatDiffersFromTheFileEndsWithItsMessageAndExitCodeZero) {
  const std::string smaller = cp932("ファイルのサイズが元々のファイルより小さいです。解凍できません。");
  const std::string larger = cp932(
      "ファイルのサイズが元々のファイルより大きいです。このファイルはウイルスに感染している可能性があります。"
      "解凍できません。");
  std::vector<uint8_t> good = archive_file_bytes(header_fields{}, std::vector<uint8_t>(100, 'x'));
  uint32_t length = static_cast<uint32_t>(good.size());
  struct {
    uint32_t declared;
    const std::string& expected;
  } cases[] = {
      {length + 1, smaller},
      {length - 1, larger},
      {0x80000000u, larger},  // compares as negative
      {0xFFFFFFFFu, larger},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.declared);
    use_scripted_front();
    std::vector<uint8_t> file = good;
    set_total_size(file, c.declared);
    opening r = open_file(file);
    EXPECT_EQ(r.exit_code, 0);
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].text, c.expected);
    EXPECT_EQ(scripted.messages[0].flags, 0x10u);
    EXPECT_FALSE(scripted.messages[0].owned);
    EXPECT_EQ(scripted.comment, "") << "the header is not read after a size mismatch";
  }
}

TEST_F(ArchiveOpening, HeaderFieldsReachTheFrontAndTheReader) {
  header_fields header;
  header.comment = cp932("説明 readme");
  header.launch_target = cp932("表示.txt");
  header.protection_byte = 0x03;
  header.password = "pw";
  opening r = open_file(archive_file_bytes(header, {1, 2, 3}));
  EXPECT_EQ(r.exit_code, -1);
  EXPECT_FALSE(r.bare);
  EXPECT_EQ(scripted.comment, header.comment);
  EXPECT_EQ(std::string(text_c_str(&launch_target)), header.launch_target);
  EXPECT_EQ(archive_protected, 1);
  EXPECT_TRUE(scripted.password_masked);
  EXPECT_EQ(archive_stream.key_position, 1);
  EXPECT_EQ(expected_check, quorvex::pack::crc16("pw"));
  EXPECT_EQ(archive_stream.stream_position, 0);
}

TEST_F(ArchiveOpening, ProtectionByteWithBitZeroClearProtectsWithoutMasking) {
  header_fields header;
  header.protection_byte = 0x02;
  header.password = "pw";
  open_file(archive_file_bytes(header, {1}));
  EXPECT_EQ(archive_protected, 1);
  EXPECT_FALSE(scripted.password_masked);
  EXPECT_EQ(expected_check, quorvex::pack::crc16("pw"));
}

TEST_F(ArchiveOpening, UnprotectedArchiveHasNoCheckWordAndEmptyTexts) {
  std::vector<uint8_t> file = archive_file_bytes(header_fields{}, {9});
  // total_size, empty comment, empty launch target, protection byte 0, then
  // the first block straight away.
  ASSERT_EQ(file.size(), 25600u + 4 + 1 + 1 + 1 + 3);
  EXPECT_EQ(file[25604], 0);
  EXPECT_EQ(file[25605], 0);
  EXPECT_EQ(file[25606], 0);
  EXPECT_EQ(file[25607], 9);
  opening r = open_file(file);
  EXPECT_EQ(r.exit_code, -1);
  EXPECT_EQ(archive_protected, 0);
  EXPECT_EQ(std::string(text_c_str(&launch_target)), "");
}

TEST_F(ArchiveOpening, HeaderCutShortByTheEndOfTheFileIsAReadFailure) {
  // The declared size matches each cut file, so only the missing field fails.
  std::vector<uint8_t> header_bytes = {'c', 'o', 'm', 0, 'l', 'a', 0, 0x01, 0x34};
  for (size_t keep = 0; keep < header_bytes.size(); ++keep) {
    SCOPED_TRACE(keep);
    use_scripted_front();
    std::vector<uint8_t> file = fake_stub_image();
    file.resize(file.size() + 4);
    file.insert(file.end(), header_bytes.begin(), header_bytes.begin() + static_cast<long>(keep));
    set_total_size(file, static_cast<uint32_t>(file.size()));
    opening r = open_file(file);
    EXPECT_EQ(r.exit_code, 1);
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].id, message_read_failure);
  }
}

TEST(ArchiveLayout, WorkedLayoutOfAProtectedArchive) {
  header_fields header;
  header.comment = "12345";
  header.launch_target = "0123456789";
  header.protection_byte = 1;
  header.password = "abc";
  std::vector<uint8_t> payload(10000);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i % 251);
  std::vector<uint8_t> file = archive_file_bytes(header, payload);
  ASSERT_EQ(file.size(), 35630u);
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 25600, file.begin() + 25604), (std::vector<uint8_t>{0x2E, 0x8B, 0, 0}));
  EXPECT_EQ(file[25609], 0);
  EXPECT_EQ(file[25620], 0);
  EXPECT_EQ(file[25621], 1);
  uint16_t check = static_cast<uint16_t>(file[25622] | file[25623] << 8);
  EXPECT_EQ(check, quorvex::pack::crc16("abc") ^ 0x0101);
  // Block 1 at 25624, its CRC at 29720; block 2 starts with payload byte 4096
  // scrambled by password byte 4096 mod 3 = 1 ('b').
  uint16_t crc1 = quorvex::pack::crc16(payload.data(), 4096);
  EXPECT_EQ(file[29720], crc1 >> 8);
  EXPECT_EQ(file[29721], crc1 & 0xFF);
  EXPECT_EQ(file[29722], payload[4096] ^ 'b');
  EXPECT_EQ(file[25624], payload[0] ^ 'a');
  // Block 3, the last: 1808 data bytes and the CRC end the file.
  uint16_t crc3 = quorvex::pack::crc16(payload.data() + 8192, 1808);
  EXPECT_EQ(file[35628], crc3 >> 8);
  EXPECT_EQ(file[35629], crc3 & 0xFF);

  header.protection_byte = 0;
  EXPECT_EQ(archive_file_bytes(header, payload).size(), 35628u);
}

TEST(ArchiveLayout, SameCrcWithOtherProtectionBytesGivesOtherCheckWords) {
  EXPECT_NE(quorvex::pack::check_word_of("secret", 1), quorvex::pack::check_word_of("secret", 3));
  EXPECT_EQ(quorvex::pack::check_word_of("secret", 1) ^ 0x0101, quorvex::pack::crc16("secret"));
}

}  // namespace
