#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>

temp_dir::temp_dir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quorvex-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) ADD_FAILURE() << "mkdtemp failed";
  path_ = pattern;
}

temp_dir::~temp_dir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void write_file(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << file;
}

void write_file(const std::filesystem::path& file, const std::string& bytes) {
  write_file(file, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

std::vector<uint8_t> read_file(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) ADD_FAILURE() << "cannot read " << file;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
