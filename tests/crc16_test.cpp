#include <gtest/gtest.h>

#include <random>

#include "archive/archive.h"
#include "pack/container.h"

namespace {

uint32_t bitwise_crc(const std::string& bytes) {
  archive_stream.crc_register = 0;
  for (unsigned char b : bytes) crc16_update(b);
  return archive_stream.crc_register;
}

const std::string check_input = "123456789";

TEST(Crc16, BitwiseStepGivesTheCatalogueCheckValueAfterTwoZeroBytes) {
  EXPECT_EQ(bitwise_crc(check_input + std::string(2, '\0')), 0xFEE8u);
}

TEST(Crc16, TableStepAndWriterAgreeWithTheCheckValue) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(check_input.data());
  EXPECT_EQ(crc16_run(0, bytes, 9), bitwise_crc(check_input));
  EXPECT_EQ(quorvex::pack::crc16(check_input), 0xFEE8u);
}

TEST(Crc16, DataFollowedByItsCrcHighByteFirstLeavesZero) {
  uint16_t crc = quorvex::pack::crc16(check_input);
  std::string block = check_input + char(crc >> 8) + char(crc & 0xFF);
  EXPECT_EQ(bitwise_crc(block), 0u);
  std::string swapped = check_input + char(crc & 0xFF) + char(crc >> 8);
  EXPECT_NE(bitwise_crc(swapped), 0u);
}

TEST(Crc16, TableStepMatchesBitwiseStepOnRandomRuns) {
  std::mt19937 random(7);
  for (int run = 0; run < 200; ++run) {
    std::string bytes(random() % 600, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    uint32_t start = random() & 0xFFFF;
    archive_stream.crc_register = start;
    for (unsigned char b : bytes) crc16_update(b);
    EXPECT_EQ(crc16_run(start, reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size())),
              archive_stream.crc_register);
  }
}

TEST(Crc16, RunMatchesBitwiseStepAtEveryLengthAroundTheEightByteSteps) {
  // Runs of 0 and 1 byte, runs that end inside or right after an eight-byte
  // step, and the two bytes that end every run, each from several registers.
  std::mt19937 random(11);
  for (int32_t length = 0; length <= 40; ++length) {
    for (uint32_t start : {0u, 1u, 0x8000u, 0xFFFFu, static_cast<uint32_t>(random() & 0xFFFF)}) {
      std::string bytes(static_cast<size_t>(length), '\0');
      for (char& c : bytes) c = static_cast<char>(random());
      archive_stream.crc_register = start;
      for (unsigned char b : bytes) crc16_update(b);
      ASSERT_EQ(crc16_run(start, reinterpret_cast<const uint8_t*>(bytes.data()), length), archive_stream.crc_register)
          << "length " << length << " start " << start;
    }
  }
}

}  // namespace
