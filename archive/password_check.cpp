#include "archive/archive.h"

bool check_password() {
  if (!archive_protected) return true;
  byte_string typed = {};
  platform_front->read_password(&typed);
  archive_stream.crc_register = 0;
  for (int32_t i = 0; i < typed.length; ++i) crc16_update(static_cast<uint8_t>(typed.bytes[i]));
  crc16_update(0);
  crc16_update(0);
  // An empty text has no key byte to de-scramble with: it is refused even
  // when the archive's check value happens to be the CRC of nothing (0).
  bool passed = typed.length > 0 && archive_stream.crc_register == expected_check;
  if (passed) {
    text_assign_c_str(&password, text_c_str(&typed));
  } else {
    platform_front->show_message(message_wrong_password, nullptr);
    platform_front->focus_password();
  }
  text_release(&typed);
  return passed;
}
