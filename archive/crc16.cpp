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

// crc_slices[k][v]: the remainder of v * x^(16 + 8k) modulo the polynomial,
// that is the register contribution of byte v when 7 - k bytes follow it in
// a run of eight. Slice 0 is the classic byte table. Built once, on first
// use: 4 KB of data instead of code.
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

// One byte into the unaugmented register of crc16_update:
// (r << 8 | b) mod P = ((r & 0xFF) << 8 | b) ^ table[r >> 8].
static inline uint32_t unaugmented_step(uint32_t crc, uint8_t byte) {
  return (((crc & 0xFFu) << 8) | byte) ^ crc_slices[0][crc >> 8];
}

// The register of crc16_update after a run of bytes. With r the register
// before, M all bytes but the last two and L those two (high byte first):
// (r x^8n + M x^16 + L) mod P = ((r x^16 mod P) x^8m + M x^16) mod P + L,
// the usual augmented CRC of M, started from r x^16 mod P, then L XORed in.
// The augmented form takes eight bytes per step through the slices.
uint32_t crc16_run(uint32_t crc, const uint8_t* bytes, int32_t count) {
  if (crc_slices[0][1] == 0) build_crc_slices();
  if (count < 2) {
    for (int32_t i = 0; i < count; ++i) crc = unaugmented_step(crc, bytes[i]);
    return crc;
  }
  crc = unaugmented_step(unaugmented_step(crc, 0), 0);  // r x^16 mod P
  int32_t body = count - 2;
  const uint8_t* p = bytes;
  const uint8_t* eights_end = bytes + (body & ~7);
  for (; p < eights_end; p += 8) {
    crc = crc_slices[7][(crc >> 8) ^ p[0]] ^ crc_slices[6][(crc & 0xFFu) ^ p[1]] ^ crc_slices[5][p[2]] ^
          crc_slices[4][p[3]] ^ crc_slices[3][p[4]] ^ crc_slices[2][p[5]] ^ crc_slices[1][p[6]] ^
          crc_slices[0][p[7]];
  }
  for (; p < bytes + body; ++p) crc = ((crc << 8) & 0xFFFFu) ^ crc_slices[0][(crc >> 8) ^ *p];
  return crc ^ (static_cast<uint32_t>(p[0]) << 8 | p[1]);
}
