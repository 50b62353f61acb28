// The block stream reader: one platform read per 4098-byte block, verified and
// de-scrambled in place before any of its bytes is handed out.
#include "app/failure_exits.h"
#include "archive/archive.h"

archive_stream_state archive_stream;
byte_string password;

// XORs the data bytes with the password, which runs on across blocks.
static void descramble(uint8_t* data, int32_t count) {
  const uint8_t* key = reinterpret_cast<const uint8_t*>(password.bytes);
  int32_t key_length = password.length;
  int32_t position = archive_stream.key_position;
  for (int32_t i = 0; i < count; ++i) {
    data[i] ^= key[position - 1];
    position = position == key_length ? 1 : position + 1;
  }
  archive_stream.key_position = position;
}

static void read_next_block() {
  archive_stream_state& s = archive_stream;
  int32_t count = platform_files->read_counted(&archive_file, s.block_buffer, block_read_size);
  // A read that fails outright ends the run like a stream that ran out.
  if (count < 0 || platform_files->io_result() != 0) report_read_failure();
  s.block_length = count;
  int32_t data_count = count - block_crc_size;
  if (archive_protected && data_count > 0) descramble(s.block_buffer, data_count);
  // The data bytes, then the stored CRC high byte first, leave the register
  // at zero exactly when the block is sound.
  s.crc_register = crc16_run(0, s.block_buffer, count);
  if (s.crc_register != 0) report_damaged_archive();
  s.block_length = data_count;
}

uint8_t read_archive_byte() {
  archive_stream_state& s = archive_stream;
  int32_t offset = s.stream_position & (block_data_size - 1);
  if (offset == 0) read_next_block();
  if (offset >= s.block_length) report_read_failure();
  if (offset == s.block_length - 1 && platform_files->at_end(&archive_file)) end_of_archive = 1;
  ++s.stream_position;
  return s.block_buffer[offset];
}
