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

// crc_table[i]: the register after shifting the 8 bits of i out of the top of
// a register that held i << 8, the low byte being zero. Built once, on first
// use: 512 bytes of data instead of as many bytes of code.
static uint16_t crc_table[256];

static void build_crc_table() {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = i << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000u) ? ((crc << 1) ^ 0x8005u) : (crc << 1);
    crc_table[i] = static_cast<uint16_t>(crc);
  }
}

// Feeding bytes into the unaugmented register of crc16_update is the same as
// the table step on the augmented form: register r and byte b give
// (r << 8 | b) mod P = ((r & 0xFF) << 8 | b) ^ table[r >> 8].
uint32_t crc16_run(uint32_t crc, const uint8_t* bytes, int32_t count) {
  if (crc_table[1] == 0) build_crc_table();
  for (int32_t i = 0; i < count; ++i) {
    crc = (((crc & 0xFFu) << 8) | bytes[i]) ^ crc_table[crc >> 8];
  }
  return crc;
}
