// The block stream: CRC check before any byte of a block is handed out,
// de-scrambling that runs across blocks, the end of the stream.
#include <gtest/gtest.h>

#include <memory>

#include "app/archive_opening.h"
#include "archive/archive.h"
#include "support/archive_fixture.h"
#include "support/cp932.h"
#include "support/faulty_files.h"
#include "support/scripted_front.h"
#include "support/temp_dir.h"

using quorvex::pack::header_fields;

namespace {

std::vector<uint8_t> counting_payload(size_t size) {
  std::vector<uint8_t> payload(size);
  for (size_t i = 0; i < size; ++i) payload[i] = static_cast<uint8_t>((i * 31 + i / 256) & 0xFF);
  return payload;
}

class BlockReader : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_faults();
    use_scripted_front();
  }
  void TearDown() override {
    platform_files->close(&archive_file);
    platform_files->io_result();
  }

  // Writes the file and opens it; `password` is what the user typed.
  void open(const std::vector<uint8_t>& file, const std::string& typed = "") {
    write_file(dir_ / "sfx.exe", file);
    path_ = logic_path(dir_ / "sfx.exe");
    ASSERT_EQ(run_until_exit([&] { open_archive(path_.c_str()); }), -1);
    scripted.typed_password = typed;
    ASSERT_TRUE(check_password());
    end_of_archive = 0;
  }

  // Reads up to `count` bytes; returns the exit code (-1 when all were read)
  // and leaves the bytes handed out in `got_` and the end flag per byte.
  int read(size_t count) {
    got_.assign(count, 0);
    ends_.assign(count, 0);
    handed_ = 0;
    return run_until_exit([&] {
      for (size_t i = 0; i < count; ++i) {
        got_[i] = read_archive_byte();
        ends_[i] = end_of_archive;
        handed_ = i + 1;
      }
    });
  }

  temp_dir dir_;
  std::string path_;
  std::vector<uint8_t> got_, ends_;
  size_t handed_ = 0;
};

TEST_F(BlockReader, PayloadSizesAroundBlockBoundariesEndExactlyWithTheLastByte) {
  for (size_t size : {1u, 4095u, 4096u, 4097u, 8192u, 8193u}) {
    SCOPED_TRACE(size);
    std::vector<uint8_t> payload = counting_payload(size);
    open(archive_file_bytes(header_fields{}, payload));
    ASSERT_EQ(read(size), -1);
    EXPECT_EQ(got_, payload);
    for (size_t i = 0; i + 1 < size; ++i) ASSERT_EQ(ends_[i], 0) << "end flag early at byte " << i;
    EXPECT_EQ(ends_[size - 1], 1);
    // One byte more is a read failure.
    EXPECT_EQ(run_until_exit([] { read_archive_byte(); }), 1);
    EXPECT_EQ(scripted.messages.back().text, cp932("ファイルの読み込みに失敗しました。"));
    TearDown();
    use_scripted_front();
  }
}

TEST_F(BlockReader, EmptyBlockStreamFailsAtTheFirstRead) {
  open(archive_file_bytes(header_fields{}, {}));
  EXPECT_EQ(read(1), 1);
  EXPECT_EQ(handed_, 0u);
  ASSERT_EQ(scripted.messages.size(), 1u);
  EXPECT_EQ(scripted.messages[0].id, message_read_failure);
}

TEST_F(BlockReader, FlippedBitInBlockNHandsOutEveryEarlierBlockAndNoByteOfBlockN) {
  const std::vector<uint8_t> payload = counting_payload(3 * 4096 + 100);
  const size_t stream_start = 25600 + 7;  // unprotected, empty texts
  struct {
    size_t block;      // from 0
    size_t offset;     // inside the 4098 stored bytes
    uint8_t mask;
  } cases[] = {
      {0, 0, 0x01}, {0, 4095, 0x80}, {1, 4096, 0x10}, {1, 4097, 0x01}, {2, 17, 0x40}, {3, 99, 0x02}, {3, 101, 0x08},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "block " << c.block << " offset " << c.offset);
    use_scripted_front();
    std::vector<uint8_t> file = archive_file_bytes(header_fields{}, payload);
    file[stream_start + c.block * 4098 + c.offset] ^= c.mask;
    open(file);
    EXPECT_EQ(read(payload.size()), 1);
    EXPECT_EQ(handed_, c.block * 4096);
    EXPECT_TRUE(std::equal(got_.begin(), got_.begin() + static_cast<long>(handed_), payload.begin()));
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].text, cp932("ファイルが壊れています。"));
    EXPECT_EQ(scripted.messages[0].flags, 0x10u);
    TearDown();
  }
}

TEST_F(BlockReader, CrcStoredLowByteFirstIsDamagedUnlessBothBytesAreEqual) {
  const size_t crc_at = 25600 + 7 + 4096;
  // A payload whose CRC has two different bytes, and one whose bytes agree.
  std::vector<uint8_t> payload = counting_payload(4096);
  std::vector<uint8_t> file = archive_file_bytes(header_fields{}, payload);
  ASSERT_NE(file[crc_at], file[crc_at + 1]);
  std::swap(file[crc_at], file[crc_at + 1]);
  open(file);
  EXPECT_EQ(read(1), 1);
  EXPECT_EQ(scripted.messages.back().id, message_damaged);

  use_scripted_front();
  std::vector<uint8_t> zeros(4096, 0);  // CRC 0x0000: both bytes equal
  std::vector<uint8_t> same = archive_file_bytes(header_fields{}, zeros);
  ASSERT_EQ(same[crc_at], same[crc_at + 1]);
  std::swap(same[crc_at], same[crc_at + 1]);
  open(same);
  EXPECT_EQ(read(4096), -1);
}

TEST_F(BlockReader, LastBlockOfOneOrTwoStoredBytesIsDamagedOrAReadFailure) {
  std::vector<uint8_t> base = archive_file_bytes(header_fields{}, counting_payload(4096));
  struct {
    std::vector<uint8_t> tail;
    message_id expected;
  } cases[] = {{{0x00}, message_read_failure},
               {{0x00, 0x00}, message_read_failure},
               {{0x12}, message_damaged},
               {{0x00, 0x01}, message_damaged}};
  for (const auto& c : cases) {
    use_scripted_front();
    std::vector<uint8_t> file = base;
    file.insert(file.end(), c.tail.begin(), c.tail.end());
    uint32_t size = static_cast<uint32_t>(file.size());
    for (int i = 0; i < 4; ++i) file[25600 + i] = static_cast<uint8_t>(size >> (8 * i));
    open(file);
    EXPECT_EQ(read(4097), 1);
    EXPECT_EQ(handed_, 4096u);
    EXPECT_EQ(scripted.messages.back().id, c.expected);
    TearDown();
  }
}

TEST_F(BlockReader, PasswordKeyRunsOnAcrossBlocksAndSkipsCrcBytes) {
  for (const std::string& key : std::vector<std::string>{"k", "xyz", cp932("表計算")}) {
    SCOPED_TRACE(key);
    use_scripted_front();
    header_fields header;
    header.protection_byte = 1;
    header.password = key;
    std::vector<uint8_t> payload = counting_payload(2 * 4096 + 5);
    std::vector<uint8_t> file = archive_file_bytes(header, payload);
    const size_t stream_start = 25600 + 7 + 2;
    // The stored bytes: data byte k is XORed with key byte k mod L.
    for (size_t k : {size_t(0), size_t(1), size_t(4095), size_t(4096), size_t(8192)}) {
      size_t stored = stream_start + k + (k / 4096) * 2;
      EXPECT_EQ(file[stored], payload[k] ^ static_cast<uint8_t>(key[k % key.size()])) << k;
    }
    open(file, key);
    EXPECT_EQ(read(payload.size()), -1);
    EXPECT_EQ(got_, payload);
    TearDown();
  }
}

TEST_F(BlockReader, UnprotectedArchiveHandsOutStoredBytesUnchanged) {
  std::vector<uint8_t> payload = counting_payload(5000);
  open(archive_file_bytes(header_fields{}, payload), "ignored");
  EXPECT_EQ(read(5000), -1);
  EXPECT_EQ(got_, payload);
}

TEST_F(BlockReader, PlatformReadErrorEndsTheRunWithAMessageAndExitCodeOne) {
  std::vector<uint8_t> payload = counting_payload(3 * 4096);
  for (int failing_read : {1, 2, 3}) {
    SCOPED_TRACE(failing_read);
    reset_faults();
    use_scripted_front(&faulty_file_layer);
    faults.fail_read_counted = failing_read;
    open(archive_file_bytes(header_fields{}, payload));
    EXPECT_EQ(read(payload.size()), 1);
    EXPECT_EQ(handed_, static_cast<size_t>(failing_read - 1) * 4096);
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].id, message_read_failure);
    TearDown();
  }
}

}  // namespace
