// Writing the payload of the block stream: entry records, back to back, each
// file's coded data right behind its record.
//
//   name:  plain form   the bytes, 0x00 (first byte never 0x2A)
//          prefix form  0x2A, N, the rest, 0x00: the first N+2 bytes of the
//                       previous name (all of it when shorter), then the rest
//   a name ending in "\." (or the name ".") is a folder and ends there;
//   a file goes on with three FILETIMEs (u32 LE low, u32 LE high each:
//   creation, last access, last write), the expanded size (u32 LE) and,
//   unless that is 0, the coded data.
//
// Names are code page 932 bytes with backslash separators, as the extractor
// takes them. The writer is no safety layer: it writes what it is given, so
// that tests can build hostile archives with it; the maker checks the names of
// the trees it packs.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pack/encoder.h"

namespace quorvex::pack {

// Windows FILETIMEs: 100-nanosecond intervals since 1601-01-01 UTC.
struct file_times {
  uint64_t creation = 0;
  uint64_t last_access = 0;
  uint64_t last_write = 0;
};

class payload_writer {
 public:
  explicit payload_writer(level effort = level::normal) : effort_(effort) {}

  // A folder. `name` is its path without the final "\."; "" is the
  // destination folder itself (written as "."). A name that already ends in
  // "\." or is "." is taken as it stands.
  void add_folder(const std::string& name);
  // A file whose data is coded here.
  void add_file(const std::string& name, const file_times& times, const uint8_t* data, size_t size);
  void add_file(const std::string& name, const file_times& times, const std::vector<uint8_t>& data) {
    add_file(name, times, data.data(), data.size());
  }
  // A file whose coded data is given as it stands (hand-made streams).
  void add_coded_file(const std::string& name, const file_times& times, uint32_t expanded_size,
                      const std::vector<uint8_t>& coded);

  // The pieces, for fixtures that need a record exactly so.
  // The name in its shorter form (see name_record).
  void add_name(const std::string& name);
  // The name in the prefix form with this count byte, whatever it takes.
  void add_prefix_name(uint8_t count, const std::string& rest);
  void add_file_fields(const file_times& times, uint32_t expanded_size);
  void add_bytes(const std::vector<uint8_t>& bytes);

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t> take() { return std::move(bytes_); }
  // The name of the last record, as the extractor will have resolved it.
  const std::string& previous_name() const { return previous_; }

 private:
  level effort_;
  std::vector<uint8_t> bytes_;
  std::string previous_;
};

// The bytes of a name record after `previous`: the prefix form wherever it is
// shorter than the plain form, else the plain form. A name that begins with
// 0x2A has no plain form: it takes the prefix form, which needs an empty or
// one-byte previous name that it begins with, or at least two bytes in common
// with the previous name. Throws std::invalid_argument for such a name that
// cannot be written, and for a name holding a zero byte. ('*' cannot occur in
// a Windows file name, so real trees never need it.)
std::vector<uint8_t> name_record(const std::string& previous, const std::string& name);

// True when the extractor takes a record of this name for a folder.
bool names_folder(const std::string& name);

// One entry of a tree, for writing many at once.
struct payload_entry {
  std::string name;  // code page 932, backslashes; a folder's without "\."
  bool is_folder = false;
  file_times times;
  std::vector<uint8_t> data;  // a file's content
};

std::vector<uint8_t> make_payload(const std::vector<payload_entry>& entries, level effort = level::normal);

}  // namespace quorvex::pack
