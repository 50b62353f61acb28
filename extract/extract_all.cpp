// The extraction run: entry records, one after the other, from the first byte
// of the block stream to its last.
#include "app/failure_exits.h"
#include "archive/archive.h"
#include "decoder/decoder.h"
#include "decoder/output_window.h"
#include "extract/extract.h"
#include "extract/name_check.h"
#include "extract/run_state.h"

byte_string previous_name;
byte_string full_path;
file_time creation_time;
file_time last_access_time;
file_time last_write_time;
int32_t expanded_size;
void (*entry_observer)(bool is_folder);

namespace {

constexpr uint8_t prefix_mark = 0x2A;

byte_string failing_prefix;
byte_string folder_part;

uint32_t read_u32() {
  uint32_t value = read_archive_byte();
  value |= static_cast<uint32_t>(read_archive_byte()) << 8;
  value |= static_cast<uint32_t>(read_archive_byte()) << 16;
  value |= static_cast<uint32_t>(read_archive_byte()) << 24;
  return value;
}

void read_file_time(file_time* time) {
  time->low = read_u32();
  time->high = read_u32();
}

[[noreturn]] void refuse(message_id id, const char* detail) {
  platform_front->show_message(id, detail);
  abort_run();
}

// A path longer than the file calls take is reported before anything is made
// for it. Reading stops at its first byte too many: the run ends all the same,
// and the message shows the whole characters that fit, then "...".
[[noreturn]] void refuse_long_path() {
  const char* start = text_c_str(&full_path);
  const char* end = start;
  for (const char* p = start; *p;) {
    const char* next = platform_files->char_next(p);
    if (next - start > longest_full_path) break;
    end = p = next;
  }
  text_truncate(&full_path, static_cast<int32_t>(end - start));
  text_append_c_str(&full_path, "...");
  refuse(message_path_too_long, text_c_str(&full_path));
}

// Plain form: the bytes up to a zero. Prefix form: 0x2A, N, then the first
// N+2 bytes of the previous name (all of it when shorter) and the rest.
void read_name(const char* destination_folder) {
  uint8_t byte = read_archive_byte();
  if (byte == prefix_mark) {
    int32_t keep = read_archive_byte() + 2;
    if (keep < previous_name.length) text_truncate(&previous_name, keep);
    byte = read_archive_byte();
  } else {
    text_clear(&previous_name);
  }
  text_assign_c_str(&full_path, destination_folder);
  text_append(&full_path, text_c_str(&previous_name), previous_name.length);
  if (full_path.length > longest_full_path) refuse_long_path();
  while (byte != 0) {
    text_append_byte(&previous_name, static_cast<char>(byte));
    text_append_byte(&full_path, static_cast<char>(byte));
    if (full_path.length > longest_full_path) refuse_long_path();
    byte = read_archive_byte();
  }
}

void make_folders(const char* folder_text) {
  make_folder_chain(folder_text, &failing_prefix);
  if (failing_prefix.length > 0) folder_failure(text_c_str(&failing_prefix));
}

void extract_folder() {
  // The full path less its final ".": a folder text.
  text_truncate(&full_path, full_path.length - 1);
  make_folders(text_c_str(&full_path));
}

// Skipped files are decoded all the same: the next record follows their data.
void extract_file() {
  const char* path = text_c_str(&full_path);
  platform_front->show_status(status_processing, path);
  skip_flag = 0;
  if (platform_files->find_path(path) != path_absent) {
    int reply = platform_front->show_message(message_overwrite, path);
    if (reply == reply_no) {
      skip_flag = 1;
    } else if (reply != reply_yes) {
      cancel_requested = 1;
      return;
    }
  }
  platform_front->show_status(skip_flag ? status_skipping : status_extracting, path);

  directory_part(path, &folder_part);
  make_folders(text_c_str(&folder_part));
  if (!skip_flag) {
    text_assign_c_str(&output_path, path);
    platform_files->create_write(&output_file, path);
    if (platform_files->io_result() != 0) report_write_failure();
  }
  expand_entry(expanded_size);
  if (skip_flag) return;

  window_flush();
  if (!platform_files->set_times(&output_file, &creation_time, &last_access_time, &last_write_time)) {
    report_write_failure();
  }
  platform_files->close(&output_file);
  if (platform_files->io_result() != 0) report_write_failure();
  if (cancel_requested) {
    platform_files->remove(path);
    platform_files->io_result();
  }
}

void extract_record(const char* destination_folder) {
  read_name(destination_folder);
  if (!name_is_safe(text_c_str(&previous_name))) refuse(message_unsafe_name, text_c_str(&previous_name));
  bool is_folder = text_ends_with(&full_path, "\\.");
  if (!is_folder) {
    read_file_time(&creation_time);
    read_file_time(&last_access_time);
    read_file_time(&last_write_time);
    expanded_size = static_cast<int32_t>(read_u32());
  }
  if (entry_observer) entry_observer(is_folder);
  if (is_folder) {
    extract_folder();
  } else {
    extract_file();
  }
}

}  // namespace

void extract_all(const char* destination_folder) {
  cancel_requested = 0;
  text_clear(&previous_name);
  end_of_archive = 0;
  while (!end_of_archive && !cancel_requested) extract_record(destination_folder);
  platform_files->close(&archive_file);
  if (platform_files->io_result() != 0) report_read_failure();
}
