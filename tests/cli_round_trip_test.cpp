// A tree packed by quorvex pack comes back through quorvex list, test and
// extract exactly: every name, size, byte and last-write time. The names
// share long beginnings, so most records take the prefix form.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <map>
#include <string>

#include "support/cli_run.h"
#include "support/extraction_fixture.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> text_like(size_t size, uint32_t seed) {
  static const char* const words[] = {"データ", "quorvex ", "表", "\r\n", "archive ", "0123 "};
  std::string text;
  while (text.size() < size) {
    seed = seed * 1103515245u + 12345u;
    text += words[(seed >> 16) % 6];
  }
  text.resize(size);
  return std::vector<uint8_t>(text.begin(), text.end());
}

struct source_file {
  std::string name;  // UTF-8, '/' separators
  size_t size;
};

const source_file source_files[] = {
    {"project/source/module_alpha/component_one.cpp", 12000},
    {"project/source/module_alpha/component_two.cpp", 0},
    {"project/source/module_alpha/component_three.cpp", 70001},
    {"project/source/module_beta/component_one.cpp", 1},
    {"資料/表/月次報告.txt", 4097},
    {"資料/表/月次集計.txt", 300},
    {"資料/ソフト/readme", 40961},
};

class round_trip : public ::testing::Test {
 protected:
  void SetUp() override {
    time_t when = 1500000000;
    for (const source_file& f : source_files) {
      write_file(tree / f.name, text_like(f.size, static_cast<uint32_t>(f.size)));
      timespec times[2] = {{when, 0}, {when += 86399, 987654300}};
      ASSERT_EQ(utimensat(AT_FDCWD, (tree / f.name).c_str(), times, 0), 0);
    }
    fs::create_directories(tree / "空のフォルダ");
    cli_result packed = run_cli({"pack", "-o", archive.string(), "-C", tree.string(), "."});
    ASSERT_EQ(packed.exit_code, 0) << packed.err;
  }
  uint64_t last_write_of(const fs::path& file) {
    struct stat st;
    EXPECT_EQ(stat(file.c_str(), &st), 0) << file;
    return filetime_of(st.st_mtim);
  }

  temp_dir dir;
  fs::path tree = dir / "tree";
  fs::path archive = dir / "made.exe";
};

TEST_F(round_trip, list_names_every_file_with_its_size_and_last_write_time) {
  cli_result listed = run_cli({"list", "--json", archive.string()});
  ASSERT_EQ(listed.exit_code, 0) << listed.err;
  for (const source_file& f : source_files) {
    std::string line = "{\"name\":\"" + f.name + "\",\"type\":\"file\",\"size\":" + std::to_string(f.size) + ",";
    size_t at = listed.out.find(line);
    ASSERT_NE(at, std::string::npos) << line << "\n" << listed.out;
    std::string write = "\"write\":" + std::to_string(last_write_of(tree / f.name)) + "}";
    EXPECT_EQ(listed.out.substr(listed.out.find('\n', at) - write.size(), write.size()), write) << f.name;
  }
  EXPECT_NE(listed.out.find("{\"name\":\"空のフォルダ\",\"type\":\"dir\""), std::string::npos) << listed.out;
}

TEST_F(round_trip, test_finds_the_archive_sound_with_every_file_and_byte) {
  cli_result tested = run_cli({"test", archive.string()});
  ASSERT_EQ(tested.exit_code, 0) << tested.err;
  size_t bytes = 0;
  for (const source_file& f : source_files) bytes += f.size;
  std::string counts = ": sound: " + std::to_string(std::size(source_files)) + " files, ";
  EXPECT_NE(tested.out.find(counts), std::string::npos) << tested.out;
  EXPECT_NE(tested.out.find(std::to_string(bytes) + " bytes\n"), std::string::npos) << tested.out;
}

TEST_F(round_trip, extract_restores_every_byte_and_last_write_time) {
  cli_result extracted = run_cli({"extract", archive.string(), "-d", (dir / "restored").string()});
  ASSERT_EQ(extracted.exit_code, 0) << extracted.err;
  std::map<std::string, std::string> source = tree_of(tree), restored = tree_of(dir / "restored");
  EXPECT_EQ(restored, source);
  for (const source_file& f : source_files) {
    EXPECT_EQ(last_write_of(dir / "restored" / f.name), last_write_of(tree / f.name)) << f.name;
  }
}

}  // namespace
