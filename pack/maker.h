// The maker: files and folders in, a complete self-extracting file out (the
// stub, exactly 25600 bytes, followed by the archive).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pack/container.h"
#include "pack/encoder.h"
#include "pack/tree_walk.h"

namespace quorvex::pack {

struct maker_options {
  std::string output;
  std::vector<pack_input> inputs;
  std::string stub;                          // "": the built stub (see find_stub)
  std::string comment;                       // UTF-8
  std::string launch;                        // UTF-8, '/' or '\' between folders; "": none
  std::optional<std::string> password;       // UTF-8
  std::optional<int> protection_byte;        // 1 to 255; 1 when not given
  level effort = level::normal;
  std::optional<uint64_t> fixed_time;        // FILETIME of every entry's three times
  std::vector<std::string> excludes;
  bool verbose = false;                      // list what goes in on stdout
  bool progress = false;                     // draw the progress bar on stderr
};

struct stub_choice {
  std::string path;
  bool placeholder = false;  // the stand-in of the build, not a program
};

// The stub to use: `given` when not empty; else the built stub, looked for
// next to this program, in the win32 build folder beside its own, and where
// the build put it; else the placeholder that the build makes.
stub_choice find_stub(const std::string& given);

// The length of the whole file for a header and a payload of this many
// bytes: stub, header, and 2 CRC bytes for every block of up to 4096.
uint64_t archive_file_size(const header_fields& header, uint64_t payload_size);

// Throws refusal when that length reaches 2^31 bytes: the extractor compares
// sizes and positions as signed 32-bit numbers.
void check_archive_file_size(const header_fields& header, uint64_t payload_size);

struct maker_result {
  size_t folders = 0;
  size_t files = 0;
  uint64_t bytes_in = 0;
  uint64_t bytes_out = 0;
};

// Makes options.output. Throws refusal, leaving no output file, for
// everything that would not make an archive that extracts as packed (and
// std::invalid_argument from the writers, which should not happen).
maker_result make_self_extractor(const maker_options& options);

}  // namespace quorvex::pack
