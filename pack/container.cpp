#include "pack/container.h"

#include <algorithm>
#include <stdexcept>

namespace quorvex::pack {

uint16_t crc16(const uint8_t* bytes, size_t count) {
  uint32_t crc = 0;
  for (size_t i = 0; i < count; ++i) {
    crc ^= static_cast<uint32_t>(bytes[i]) << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000u) ? ((crc << 1) ^ 0x8005u) : (crc << 1);
    crc &= 0xFFFFu;
  }
  return static_cast<uint16_t>(crc);
}

uint16_t check_word_of(const std::string& password, uint8_t protection_byte) {
  return static_cast<uint16_t>(crc16(password) ^ (protection_byte * 257u));
}

std::vector<uint8_t> make_block_stream(const std::vector<uint8_t>& payload, const std::string& password) {
  std::vector<uint8_t> out;
  out.reserve(payload.size() + (payload.size() / block_data_size + 1) * 2);
  size_t key = 0;
  for (size_t start = 0; start < payload.size(); start += block_data_size) {
    size_t count = std::min(block_data_size, payload.size() - start);
    uint16_t crc = crc16(payload.data() + start, count);
    for (size_t i = 0; i < count; ++i) {
      uint8_t byte = payload[start + i];
      if (!password.empty()) {
        byte ^= static_cast<uint8_t>(password[key]);
        key = (key + 1) % password.size();
      }
      out.push_back(byte);
    }
    out.push_back(static_cast<uint8_t>(crc >> 8));
    out.push_back(static_cast<uint8_t>(crc & 0xFF));
  }
  return out;
}

static void check_text(const std::string& text, const char* what) {
  if (text.find('\0') != std::string::npos) throw std::invalid_argument(std::string(what) + " holds a zero byte");
}

std::vector<uint8_t> make_header(const header_fields& header, size_t block_stream_size) {
  check_text(header.comment, "the comment");
  check_text(header.launch_target, "the launch target");
  bool is_protected = header.protection_byte != 0;
  if (is_protected && header.password.empty()) throw std::invalid_argument("a protected archive needs a password");
  size_t header_size = 4 + header.comment.size() + 1 + header.launch_target.size() + 1 + 1 + (is_protected ? 2 : 0);
  uint64_t total = stub_size + header_size + block_stream_size;
  if (total >= 0x80000000ull) throw std::invalid_argument("the archive would be 2 GiB or larger");

  std::vector<uint8_t> out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(total >> (8 * i)));
  out.insert(out.end(), header.comment.begin(), header.comment.end());
  out.push_back(0);
  out.insert(out.end(), header.launch_target.begin(), header.launch_target.end());
  out.push_back(0);
  out.push_back(header.protection_byte);
  if (is_protected) {
    uint16_t check = check_word_of(header.password, header.protection_byte);
    out.push_back(static_cast<uint8_t>(check & 0xFF));
    out.push_back(static_cast<uint8_t>(check >> 8));
  }
  return out;
}

std::vector<uint8_t> make_archive_file(const std::vector<uint8_t>& stub_image, const header_fields& header,
                                       const std::vector<uint8_t>& payload) {
  if (stub_image.size() != stub_size) throw std::invalid_argument("the stub must be exactly 25600 bytes");
  std::vector<uint8_t> blocks = make_block_stream(payload, header.protection_byte ? header.password : std::string());
  std::vector<uint8_t> head = make_header(header, blocks.size());
  std::vector<uint8_t> out;
  out.reserve(stub_image.size() + head.size() + blocks.size());
  out.insert(out.end(), stub_image.begin(), stub_image.end());
  out.insert(out.end(), head.begin(), head.end());
  out.insert(out.end(), blocks.begin(), blocks.end());
  return out;
}

}  // namespace quorvex::pack
