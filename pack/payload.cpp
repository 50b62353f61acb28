#include "pack/payload.h"

#include <algorithm>
#include <stdexcept>

namespace quorvex::pack {

namespace {

constexpr uint8_t prefix_mark = 0x2A;
constexpr size_t longest_prefix = 255 + 2;

void put_u32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void put_u64(std::vector<uint8_t>& out, uint64_t value) {
  put_u32(out, static_cast<uint32_t>(value));
  put_u32(out, static_cast<uint32_t>(value >> 32));
}

// The name the extractor resolves from a prefix record.
std::string resolve_prefix(const std::string& previous, uint8_t count, const std::string& rest) {
  return previous.substr(0, std::min<size_t>(size_t{count} + 2, previous.size())) + rest;
}

void check_no_zero(const std::string& name) {
  if (name.find('\0') != std::string::npos) throw std::invalid_argument("an entry name holds a zero byte");
}

void check_file_name(const std::string& name) {
  if (names_folder(name)) throw std::invalid_argument("a file name that reads as a folder: " + name);
}

}  // namespace

bool names_folder(const std::string& name) {
  return name == "." || (name.size() >= 2 && name.compare(name.size() - 2, 2, "\\.") == 0);
}

std::vector<uint8_t> name_record(const std::string& previous, const std::string& name) {
  check_no_zero(name);
  size_t common = std::mismatch(previous.begin(), previous.end(), name.begin(), name.end()).first - previous.begin();
  // A prefix record takes N+2 bytes, or the whole previous name when that is
  // shorter: it can take 2 to 257 bytes, or all of a previous name of 0 or 1.
  size_t take = std::min(common, longest_prefix);
  bool prefix_possible = take >= 2 || take == previous.size();
  bool plain_possible = name.empty() || static_cast<uint8_t>(name[0]) != prefix_mark;
  // The prefix form costs two bytes; it pays from three bytes taken on.
  bool use_prefix = prefix_possible && (!plain_possible || take > 2);
  if (!use_prefix && !plain_possible) {
    throw std::invalid_argument("a name beginning with '*' cannot follow this previous name: " + name);
  }
  std::vector<uint8_t> out;
  if (use_prefix) {
    out.push_back(prefix_mark);
    out.push_back(static_cast<uint8_t>(take >= 2 ? take - 2 : 0));
    out.insert(out.end(), name.begin() + static_cast<std::ptrdiff_t>(take), name.end());
  } else {
    out.insert(out.end(), name.begin(), name.end());
  }
  out.push_back(0);
  return out;
}

void payload_writer::add_name(const std::string& name) {
  std::vector<uint8_t> record = name_record(previous_, name);
  bytes_.insert(bytes_.end(), record.begin(), record.end());
  previous_ = name;
}

void payload_writer::add_prefix_name(uint8_t count, const std::string& rest) {
  check_no_zero(rest);
  bytes_.push_back(prefix_mark);
  bytes_.push_back(count);
  bytes_.insert(bytes_.end(), rest.begin(), rest.end());
  bytes_.push_back(0);
  previous_ = resolve_prefix(previous_, count, rest);
}

void payload_writer::add_file_fields(const file_times& times, uint32_t expanded_size) {
  put_u64(bytes_, times.creation);
  put_u64(bytes_, times.last_access);
  put_u64(bytes_, times.last_write);
  put_u32(bytes_, expanded_size);
}

void payload_writer::add_bytes(const std::vector<uint8_t>& bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }

void payload_writer::add_folder(const std::string& name) {
  if (name.empty()) {
    add_name(".");
  } else {
    add_name(names_folder(name) ? name : name + "\\.");
  }
}

void payload_writer::add_coded_file(const std::string& name, const file_times& times, uint32_t expanded_size,
                                    const std::vector<uint8_t>& coded) {
  check_file_name(name);
  add_name(name);
  add_file_fields(times, expanded_size);
  add_bytes(coded);
}

}  // namespace quorvex::pack
