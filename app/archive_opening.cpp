#include "app/archive_opening.h"

#include "app/failure_exits.h"
#include "archive/archive.h"

// The size rule: the file's length, taken anew, against total_size, both as
// signed numbers. A mismatch ends the run with exit code 0.
static void check_declared_size() {
  message_id mismatch;
  if (platform_files->length(&archive_file) < total_size) {
    mismatch = message_smaller;
  } else if (platform_files->length(&archive_file) > total_size) {
    mismatch = message_larger;
  } else {
    return;
  }
  platform_front->show_message(mismatch, nullptr);
  platform_files->close(&archive_file);
  platform_files->io_result();
  end_process(0);
}

bool open_archive(const char* own_path) {
  platform_files->open_read(&archive_file, own_path);
  if (platform_files->io_result() != 0) report_read_failure();
  if (platform_files->length(&archive_file) == stub_size) return true;

  platform_files->seek(&archive_file, stub_size);
  if (platform_files->io_result() != 0) report_read_failure();
  uint8_t size_bytes[4] = {};
  platform_files->read_exact(&archive_file, size_bytes, 4);
  if (platform_files->io_result() != 0) report_read_failure();
  total_size = static_cast<int32_t>(size_bytes[0] | size_bytes[1] << 8 | size_bytes[2] << 16 |
                                    static_cast<uint32_t>(size_bytes[3]) << 24);

  archive_stream.stream_position = 0;
  archive_stream.block_length = 0;
  end_of_archive = 0;
  check_declared_size();

  load_comment();
  read_header_text(&launch_target);
  read_protection();
  return false;
}
