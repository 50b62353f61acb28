#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pack/container.h"
#include "pack/maker.h"
#include "pack/refusal.h"

namespace {

using namespace quorvex::pack;

std::vector<header_fields> headers() {
  header_fields plain;
  header_fields full;
  full.comment = "comment\r\nlines";
  full.launch_target = "dir\\readme.txt";
  full.protection_byte = 1;
  full.password = "pw";
  return {plain, full};
}

TEST(PackArchiveSize, IsTheLengthOfTheFileTheContainerWrites) {
  const std::vector<uint8_t> stub(stub_size, 0x4D);
  for (const header_fields& header : headers()) {
    for (size_t payload_size : {1u, 4095u, 4096u, 4097u, 8192u, 8193u, 10000u}) {
      std::vector<uint8_t> payload(payload_size, 0x61);
      EXPECT_EQ(archive_file_size(header, payload_size), make_archive_file(stub, header, payload).size())
          << payload_size;
    }
  }
}

TEST(PackArchiveSize, FilesOf2To31BytesOrMoreAreRefused) {
  const uint64_t limit = uint64_t{1} << 31;
  for (const header_fields& header : headers()) {
    // The largest payload whose file stays below the limit.
    uint64_t low = 0, high = limit;
    while (high - low > 1) {
      uint64_t middle = (low + high) / 2;
      (archive_file_size(header, middle) < limit ? low : high) = middle;
    }
    EXPECT_NO_THROW(check_archive_file_size(header, low));
    EXPECT_THROW(check_archive_file_size(header, low + 1), refusal);
    EXPECT_GE(archive_file_size(header, low + 1), limit);
  }
}

}  // namespace
