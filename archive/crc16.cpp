// CRC-16 with polynomial 0x8005, initial value 0, no reflection, no final XOR.
#include <stddef.h>

#include "archive/archive.h"

void crc16_update(uint8_t byte) {
  uint32_t crc = archive_stream.crc_register;
  for (int bit = 7; bit >= 0; --bit) {
    crc = (crc << 1) | ((byte >> bit) & 1u);
    if (crc & 0x10000u) crc ^= 0x18005u;
  }
  archive_stream.crc_register = crc;
}

// crc_slices[k][v]: the remainder of v * x^(16 + 8k) modulo the polynomial.
// Slice 0 is the classic byte table. Built once, on first use: 4 KB of data
// instead of code.
static uint16_t crc_slices[8][256];

static void build_crc_slices() {
  for (uint32_t v = 0; v < 256; ++v) {
    uint32_t crc = v << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000u) ? ((crc << 1) ^ 0x8005u) : (crc << 1);
    crc_slices[0][v] = static_cast<uint16_t>(crc);
  }
  for (int k = 1; k < 8; ++k) {
    for (uint32_t v = 0; v < 256; ++v) {
      uint32_t before = crc_slices[k - 1][v];
      crc_slices[k][v] = static_cast<uint16_t>(((before << 8) & 0xFFFFu) ^ crc_slices[0][before >> 8]);
    }
  }
}

// The register of crc16_update is the remainder of everything fed so far.
// Eight more bytes b0..b7 make it (r x^64 + b0 x^56 + ... + b6 x^8 + b7) mod P:
// the high and low byte of r and b0..b5 each through its slice, b6 and b7
// as they are (their terms are already below x^16). Left-over bytes take
// the byte step (r << 8 | b) mod P = ((r & 0xFF) << 8 | b) ^ slice0[r >> 8].
uint32_t crc16_run(uint32_t crc, const uint8_t* bytes, int32_t count) {
  if (crc_slices[0][1] == 0) build_crc_slices();
  for (; count >= 8; count -= 8, bytes += 8) {
    crc = crc_slices[7][crc >> 8] ^ crc_slices[6][crc & 0xFFu] ^ crc_slices[5][bytes[0]] ^ crc_slices[4][bytes[1]] ^
          crc_slices[3][bytes[2]] ^ crc_slices[2][bytes[3]] ^ crc_slices[1][bytes[4]] ^ crc_slices[0][bytes[5]] ^
          (static_cast<uint32_t>(bytes[6]) << 8 | bytes[7]);
  }
  for (; count > 0; --count, ++bytes) crc = (((crc & 0xFFu) << 8) | *bytes) ^ crc_slices[0][crc >> 8];
  return crc;
}
