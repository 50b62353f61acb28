// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // `name` relative to the folder, with '/' separators.
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void write_file(const std::filesystem::path& file, const std::vector<uint8_t>& bytes);
void write_file(const std::filesystem::path& file, const std::string& bytes);
std::vector<uint8_t> read_file(const std::filesystem::path& file);
