// A whole extraction for a test: the payload is written as an archive file in
// a fresh folder, opened through the start-up path, and extracted into the
// folder's "out" with the scripted front answering.
#pragma once
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "pack/container.h"
#include "pack/payload.h"
#include "platform/platform.h"
#include "support/temp_dir.h"

class extraction_fixture {
 public:
  // Installs the scripted front over the POSIX file layer.
  extraction_fixture();

  // Runs open_archive, check_password (scripted.typed_password answers) and
  // extract_all over `files` (the POSIX layer when null) and `front` (the
  // scripted front when null); returns the exit code, or -1 when the run
  // returned.
  int extract(const std::vector<uint8_t>& payload, const file_layer* files = nullptr,
              const user_front* front = nullptr);

  const std::filesystem::path& root() const { return dir_.path(); }
  std::filesystem::path out() const { return dir_ / "out"; }
  // The destination as extract_all takes it: code page 932, backslashes,
  // ending in a backslash.
  std::string out_text() const;

  quorvex::pack::header_fields header;

 private:
  temp_dir dir_;
  std::string archive_text_, out_text_;
};

// A folder's contents: relative UTF-8 paths with '/'; folders end in '/' and
// map to "", files map to their bytes.
std::map<std::string, std::string> tree_of(const std::filesystem::path& folder);

// Windows FILETIMEs from Unix times and back.
uint64_t filetime_of(int64_t unix_seconds, int64_t nanoseconds = 0);
uint64_t filetime_of(const struct timespec& time);

// Hand-coded streams of single entries: the coded bytes and what they expand to.
struct coded_sample {
  std::vector<uint8_t> coded;
  std::string expanded;
};
// AE 01: one literal 0x41.
coded_sample coded_one_a();
// A6 57 A8 02: a literal 0x61, then a match of four more.
coded_sample coded_five_a();
