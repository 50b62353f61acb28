// The archive appended to the program image: its header, the block stream
// with its CRC-16 check and de-scrambling, and the password check.
//
//   offset 25600: total_size (u32 LE), comment\0, launch_target\0,
//                 protection_byte, [check_word (u16 LE) when protected],
//                 blocks: 4096 data bytes + CRC-16 (big-endian) each; the
//                 last block holds 1 to 4096 data bytes.
#pragma once
#include <stdint.h>

#include "archive/process_state.h"
#include "platform/byte_string.h"

constexpr int32_t stub_size = 25600;        // bytes of the program image
constexpr int32_t block_data_size = 4096;   // data bytes of every block but the last
constexpr int32_t block_crc_size = 2;
constexpr int32_t block_read_size = block_data_size + block_crc_size;

// The one reading state of the block stream.
struct archive_stream_state {
  uint8_t block_buffer[block_read_size];
  // Bytes the last block read returned, then, once verified, its data bytes
  // (-2 to 4096).
  int32_t block_length;
  // Payload bytes handed out so far; the next byte's offset in its block is
  // stream_position mod 4096.
  int32_t stream_position;
  // CRC-16 register, shared with the password check; 17 bits while stepping.
  uint32_t crc_register;
  // Number (from 1) of the next password byte to apply.
  int32_t key_position;
};

extern archive_stream_state archive_stream;
extern int32_t total_size;
extern byte_string launch_target;
extern uint8_t archive_protected;
extern uint16_t expected_check;
// The scrambling key, set by check_password; never empty when protected.
extern byte_string password;

// Header readers, straight from archive_file at its current position.
void read_header_text(byte_string* out);
void load_comment();
void read_protection();

// The bitwise CRC-16 step (polynomial 0x8005, initial 0, no reflection).
void crc16_update(uint8_t byte);
// The same division over a run of bytes, a table step per byte.
uint32_t crc16_run(uint32_t crc, const uint8_t* bytes, int32_t count);

// Reads, verifies and de-scrambles a new block when the stream stands at a
// block boundary, then hands out the next payload byte. Never returns on a
// damaged or exhausted stream.
uint8_t read_archive_byte();

// The same byte as read_archive_byte, inline while the next byte lies inside
// the current block and is not its last data byte.
inline uint8_t next_archive_byte() {
  int32_t offset = archive_stream.stream_position & (block_data_size - 1);
  if (offset != 0 && offset < archive_stream.block_length - 1) {
    ++archive_stream.stream_position;
    return archive_stream.block_buffer[offset];
  }
  return read_archive_byte();
}

// Plain payload bytes that can be read ahead without any platform call or
// end-of-archive test: the bytes from the next one up to, not including, the
// last data byte of the current block. Consumers that peek must advance
// stream_position by the bytes they take.
inline int32_t bytes_ahead_in_block() {
  int32_t offset = archive_stream.stream_position & (block_data_size - 1);
  if (offset == 0) return 0;
  int32_t ahead = archive_stream.block_length - 1 - offset;
  return ahead > 0 ? ahead : 0;
}

// True when the typed password may unlock the archive (always, when it is not
// protected); sets `password`. Shows the wrong-password message otherwise.
bool check_password();
