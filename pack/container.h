// Writing the archive container: the header and the block stream.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace quorvex::pack {

constexpr size_t stub_size = 25600;
constexpr size_t block_data_size = 4096;

// CRC-16/UMTS: polynomial 0x8005, initial 0, no reflection, no final XOR.
uint16_t crc16(const uint8_t* bytes, size_t count);
inline uint16_t crc16(const std::string& text) {
  return crc16(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

struct header_fields {
  std::string comment;        // code page 932, no zero byte
  std::string launch_target;  // code page 932, no zero byte; empty: none
  uint8_t protection_byte = 0;  // 0: not protected; bit 0: mask while typed
  std::string password;       // code page 932; required when protected
};

// The check word that proves a password: its CRC-16 masked by the
// protection byte in both halves.
uint16_t check_word_of(const std::string& password, uint8_t protection_byte);

// Splits the payload into blocks of 4096 data bytes, each followed by the
// CRC-16 of its plain bytes, high byte first; scrambles the data bytes with
// `password` (empty: not scrambled), the key running across blocks.
std::vector<uint8_t> make_block_stream(const std::vector<uint8_t>& payload, const std::string& password);

// The header from total_size to the check word. `block_stream_size` is the
// size of what follows it, for total_size.
std::vector<uint8_t> make_header(const header_fields& header, size_t block_stream_size);

// The whole self-extracting file: stub image (exactly 25600 bytes), header,
// block stream. Throws std::invalid_argument on a stub of another size, a
// protected header without a password, a text with a zero byte, and a file of
// 2^31 bytes or more.
std::vector<uint8_t> make_archive_file(const std::vector<uint8_t>& stub_image, const header_fields& header,
                                       const std::vector<uint8_t>& payload);

}  // namespace quorvex::pack
