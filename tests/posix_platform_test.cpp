// The file layer on Linux: code page 932 paths, the character step, I/O
// results, file times.
#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/posix/posix_files.h"
#include "support/archive_fixture.h"
#include "support/cp932.h"
#include "support/temp_dir.h"

namespace {

const file_layer& fl = posix_file_layer;

TEST(Cp932CharacterStep, MovesAsCharNextADoesOnCodePage932) {
  struct {
    std::string text;
    int step;
  } cases[] = {
      {"a", 1},         {"\\", 1},        {"\x95\x5C", 2},  // 表: its trail byte is no separator
      {"\x81\x40", 2},  {"\x9F\xFC", 2},  {"\xE0\x40", 2},  {"\xFC\x40", 2},
      {"\x80", 1},      {"\xA0", 1},      {"\xA1", 1},      {"\xDF", 1},  // half-width katakana
      {"\xFD", 1},      {"\xFF", 1},      {"\x95", 1},      // a lead byte before the terminating zero
      {"", 0},          // the terminating zero: no move
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(cp932_char_next(c.text.c_str()) - c.text.c_str(), c.step);
  }
}

TEST(PosixPaths, BackslashesBecomeSlashesOnlyWhereTheyAreCharacters) {
  byte_string out = {};
  ASSERT_TRUE(utf8_path_from_archive(cp932("dir\\表\\a.txt").c_str(), &out));
  EXPECT_EQ(std::string(text_c_str(&out)), "dir/表/a.txt");
  ASSERT_TRUE(utf8_path_from_archive(cp932("表\\ソ").c_str(), &out));
  EXPECT_EQ(std::string(text_c_str(&out)), "表/ソ");
  // A lead byte followed by a byte that no code page 932 character has.
  EXPECT_FALSE(utf8_path_from_archive("bad\x81\x20name", &out));
  text_release(&out);
}

TEST(PosixPaths, NameThatDoesNotConvertIsAClearErrorNotAMangledFile) {
  temp_dir dir;
  std::string bad = logic_path(dir.path()) + "\\bad\x81\x20name";
  platform_file file = {};
  fl.create_write(&file, bad.c_str());
  EXPECT_FALSE(file.is_open);
  EXPECT_EQ(fl.io_result(), EILSEQ);
  EXPECT_EQ(fl.find_path(bad.c_str()), path_absent);
  EXPECT_FALSE(fl.create_folder(bad.c_str()));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(PosixFiles, ExactAndCountedReadsAndTheIoResult) {
  temp_dir dir;
  write_file(dir / "f", std::string("0123456789"));
  std::string path = logic_path(dir / "f");
  platform_file file = {};
  fl.open_read(&file, path.c_str());
  ASSERT_EQ(fl.io_result(), 0);
  EXPECT_EQ(fl.length(&file), 10);
  char buffer[16] = "xxxxxxxxxxxxxxx";
  fl.read_exact(&file, buffer, 4);
  EXPECT_EQ(fl.io_result(), 0);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(fl.read_counted(&file, buffer, 16), 6);
  EXPECT_EQ(fl.io_result(), 0) << "a short counted read is no error";
  EXPECT_TRUE(fl.at_end(&file));
  EXPECT_EQ(fl.read_counted(&file, buffer, 16), 0);
  fl.seek(&file, 8);
  EXPECT_FALSE(fl.at_end(&file));
  fl.read_exact(&file, buffer, 4);
  EXPECT_NE(fl.io_result(), 0) << "a short exact read is an error";
  EXPECT_EQ(fl.io_result(), 0) << "fetching the result resets it";
  fl.seek(&file, 100);
  EXPECT_EQ(fl.io_result(), 0) << "seeking beyond the end is no error";
  fl.close(&file);
  EXPECT_EQ(fl.io_result(), 0);
  fl.close(&file);
  EXPECT_NE(fl.io_result(), 0) << "closing a file that is not open fails";
}

TEST(PosixFiles, CreateEmptiesAnExistingFileAndFindTellsFilesFromFolders) {
  temp_dir dir;
  write_file(dir / "f", std::string("old content"));
  std::filesystem::create_directory(dir / "d");
  std::string base = logic_path(dir.path());
  EXPECT_EQ(fl.find_path((base + "\\f").c_str()), path_file);
  EXPECT_EQ(fl.find_path((base + "\\d").c_str()), path_folder);
  EXPECT_EQ(fl.find_path((base + "\\none").c_str()), path_absent);
  platform_file file = {};
  fl.create_write(&file, (base + "\\f").c_str());
  fl.write_exact(&file, "new", 3);
  fl.close(&file);
  EXPECT_EQ(fl.io_result(), 0);
  EXPECT_EQ(read_file(dir / "f"), (std::vector<uint8_t>{'n', 'e', 'w'}));
  EXPECT_TRUE(fl.create_folder((base + "\\d2").c_str()));
  EXPECT_FALSE(fl.create_folder((base + "\\d2").c_str()));
  fl.remove((base + "\\f").c_str());
  EXPECT_EQ(fl.io_result(), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "f"));
}

TEST(PosixFiles, FileTimesSetLastAccessAndLastWrite) {
  temp_dir dir;
  std::string path = logic_path(dir / "t");
  platform_file file = {};
  fl.create_write(&file, path.c_str());
  // 2001-09-09 01:46:40 UTC (Unix 1000000000) and one second later, plus 0.5 s.
  uint64_t write_ticks = 116444736000000000ULL + 1000000000ULL * 10000000ULL + 5000000ULL;
  uint64_t access_ticks = write_ticks + 10000000ULL;
  file_time creation = {1, 0};
  file_time access = {static_cast<uint32_t>(access_ticks), static_cast<uint32_t>(access_ticks >> 32)};
  file_time write = {static_cast<uint32_t>(write_ticks), static_cast<uint32_t>(write_ticks >> 32)};
  EXPECT_TRUE(fl.set_times(&file, &creation, &access, &write));
  fl.close(&file);
  struct stat st;
  ASSERT_EQ(stat((dir / "t").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 500000000);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000001);
}

}  // namespace
