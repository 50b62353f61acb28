// The one narrow interface through which the extractor's logic reaches the
// operating system and the user. The logic (archive/, decoder/, extract/ and
// the archive opening of app/) includes no OS header: it calls the two tables
// below, which an implementation installs with `install_platform`.
//
//   platform/win32/   the real Win32 calls, for the stub
//   platform/posix/   the same operations on Linux, for the portable tool
//   tests/            a scripted front and a fault-injecting file layer
//
// File layer model: every operation that can fail leaves an I/O result code
// (0 = none) that `io_result` returns and resets; the logic fetches it right
// after the operation it belongs to. Paths are code page 932 bytes with
// backslash separators, exactly as the archive stores them.
#pragma once
#include <stdint.h>

#include "platform/byte_string.h"

// The Windows FILETIME: 100-nanosecond intervals since 1601-01-01 UTC.
struct file_time {
  uint32_t low;
  uint32_t high;
};

// One file of the file layer. `handle` belongs to the implementation;
// `is_open` is what makes a second close fail.
struct platform_file {
  intptr_t handle;
  bool is_open;
};

enum path_kind : uint8_t { path_absent = 0, path_file = 1, path_folder = 2 };

struct file_layer {
  // Opens an existing file read-only, sharing reading and writing with others.
  void (*open_read)(platform_file* file, const char* path);
  // Creates or empties a file for reading and writing, same sharing.
  void (*create_write)(platform_file* file, const char* path);
  int32_t (*length)(platform_file* file);
  // An offset beyond the end is no error.
  void (*seek)(platform_file* file, int32_t offset);
  // Fewer than `count` bytes is an error; bytes not read keep their values.
  void (*read_exact)(platform_file* file, void* buffer, int32_t count);
  // Up to `count` bytes; returns how many (0 at the end). A short count is no
  // error; an outright failure returns -1 and leaves an I/O result.
  int32_t (*read_counted)(platform_file* file, void* buffer, int32_t count);
  void (*write_exact)(platform_file* file, const void* buffer, int32_t count);
  bool (*at_end)(platform_file* file);
  // On a file that is not open it only leaves an error in the I/O result.
  void (*close)(platform_file* file);
  void (*remove)(const char* path);
  int (*io_result)();

  // FindFirstFileA and FindClose: does something of that name exist, and is it
  // a folder? `path` has no trailing backslash.
  path_kind (*find_path)(const char* path);
  bool (*create_folder)(const char* path);
  bool (*set_times)(platform_file* file, const file_time* creation, const file_time* last_access,
                    const file_time* last_write);
  // The next character of a zero-terminated code page 932 text (CharNextA):
  // one byte, two for a double-byte character, none at the terminating zero.
  const char* (*char_next)(const char* position);
};

// Everything the logic shows or asks. Texts and flags of each message are in
// platform/texts.h; a front presents them its own way.
enum message_id : uint8_t {
  message_read_failure,
  message_write_failure,
  message_damaged,
  message_smaller,             // no owner
  message_larger,              // no owner
  message_wrong_password,
  message_create_folder,       // yes / no
  message_folder_not_made,     // the destination cannot be made
  message_folder_failure,      // + failing prefix
  message_overwrite,           // path + ..., yes / no / cancel
  message_cancelled,
  message_finished,
  message_launch_failed,       // launch target + ...
  message_unsafe_name,         // + name
  message_path_too_long,       // + path
  message_count
};

enum status_id : uint8_t { status_processing, status_extracting, status_skipping };

// Replies of a message box, as Win32 numbers them.
enum message_reply : int { reply_ok = 1, reply_cancel = 2, reply_yes = 6, reply_no = 7 };

struct user_front {
  // Shows a message; `detail` (may be null) is the path or name it names.
  int (*show_message)(message_id id, const char* detail);
  void (*show_status)(status_id id, const char* full_path);
  // Takes at most one queued window message and dispatches it.
  void (*pump_one_message)();
  // Ends the process with an exit code; must not return (see end_process).
  void (*end_process)(int exit_code);
  void (*show_comment)(const char* text);
  void (*mask_password)();
  void (*read_password)(byte_string* out);
  void (*focus_password)();
};

extern const file_layer* platform_files;
extern const user_front* platform_front;

void install_platform(const file_layer* files, const user_front* front);

// platform_front->end_process, for callers that rely on it not returning.
[[noreturn]] void end_process(int exit_code);
