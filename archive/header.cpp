// The archive header fields after total_size, read straight from archive_file.
#include "app/failure_exits.h"
#include "archive/archive.h"

int32_t total_size;
byte_string launch_target;
uint8_t archive_protected;
uint16_t expected_check;

// One header byte. A header cut short by the end of the file is a read
// failure, never a text that grows without end or a field left undefined.
static uint8_t read_header_byte() {
  uint8_t byte = 0;
  platform_files->read_exact(&archive_file, &byte, 1);
  if (platform_files->io_result() != 0) report_read_failure();
  return byte;
}

void read_header_text(byte_string* out) {
  text_clear(out);
  for (uint8_t byte = read_header_byte(); byte != 0; byte = read_header_byte()) {
    text_append_byte(out, static_cast<char>(byte));
  }
}

void load_comment() {
  byte_string comment = {};
  read_header_text(&comment);
  platform_front->show_comment(text_c_str(&comment));
  text_release(&comment);
}

void read_protection() {
  uint8_t protection_byte = read_header_byte();
  if (protection_byte == 0) {
    archive_protected = 0;
    return;
  }
  archive_protected = 1;
  if (protection_byte & 1) platform_front->mask_password();
  archive_stream.key_position = 1;
  uint16_t check_word = read_header_byte();
  check_word |= static_cast<uint16_t>(read_header_byte() << 8);
  expected_check = static_cast<uint16_t>(check_word ^ (protection_byte * 257u));
}
