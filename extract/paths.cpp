// Folders and paths. Texts are code page 932: every search for a backslash
// steps character by character, so the trail byte 0x5C of a double-byte
// character (表 is 0x95 0x5C) is never taken for a separator.
#include "archive/process_state.h"
#include "extract/extract.h"

static const char* next_char(const char* position) { return platform_files->char_next(position); }

void with_trailing_backslash(const char* text, byte_string* out) {
  if (*text == 0) {
    text_assign_c_str(out, ".\\");
    return;
  }
  const char* last = text;
  for (const char* p = text; *p; p = next_char(p)) last = p;
  text_assign_c_str(out, text);
  if (*last != '\\') text_append_byte(out, '\\');
}

folder_state_value folder_state(const char* folder_text) {
  const char* t = folder_text;
  // A drive root counts as existing without asking the file system.
  bool letter = (t[0] >= 'A' && t[0] <= 'Z') || (t[0] >= 'a' && t[0] <= 'z');
  if (letter && t[1] == ':' && t[2] != 0 && t[3] == 0) return folder_ok;

  byte_string folder = {};
  text_assign_c_str(&folder, folder_text);
  if (folder.length > 0) text_truncate(&folder, folder.length - 1);
  path_kind kind = platform_files->find_path(text_c_str(&folder));
  text_release(&folder);
  if (kind == path_absent) return folder_missing;
  return kind == path_folder ? folder_ok : folder_is_file;
}

void directory_part(const char* path, byte_string* out) {
  const char* end = path;
  for (const char* p = path; *p; p = next_char(p)) {
    if (*p == '\\') end = p + 1;
  }
  text_clear(out);
  text_append(out, path, static_cast<int32_t>(end - path));
}

void make_folder_chain(const char* folder_text, byte_string* failing_prefix) {
  text_clear(failing_prefix);
  byte_string prefix = {};
  const char* previous = nullptr;
  const char* p = folder_text;
  while (*p) {
    while (*p && *p != '\\') {
      previous = p;
      p = next_char(p);
    }
    if (!*p) break;  // a last component with no backslash after it is left alone
    // Nothing before the backslash, or a colon (a drive root): nothing to make.
    if (previous && *previous != ':') {
      text_clear(&prefix);
      text_append(&prefix, folder_text, static_cast<int32_t>(p - folder_text));
      path_kind kind = platform_files->find_path(text_c_str(&prefix));
      bool made = kind == path_folder || (kind == path_absent && platform_files->create_folder(text_c_str(&prefix)));
      if (!made) {
        text_assign_c_str(failing_prefix, text_c_str(&prefix));
        break;
      }
    }
    previous = p;
    p = next_char(p);
  }
  text_release(&prefix);
}

void folder_failure(const char* failing_prefix) {
  platform_front->show_message(message_folder_failure, failing_prefix);
  platform_files->close(&archive_file);
  platform_files->io_result();
  end_process(0);
}
