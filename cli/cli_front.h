// The terminal front of the portable tool. Messages are English, on stderr,
// each naming the file or entry concerned; the last one chooses the exit
// code. Questions and the password are asked on the terminal, or answered by
// the command line when there is none; a progress line shows how far the
// archive has been read.
#pragma once
#include <cstdio>
#include <optional>
#include <string>

#include "platform/platform.h"

enum cli_exit : int {
  exit_success = 0,
  exit_damaged = 1,      // damaged or truncated archive
  exit_usage = 2,        // usage error, or no archive attached
  exit_password = 3,     // wrong or missing password
  exit_length = 4,       // the file's length differs from the recorded size
  exit_not_written = 5,  // a file or folder could not be written
  exit_unsafe_name = 6,  // an entry name was refused as unsafe
  exit_cancelled = 7,
};

enum class overwrite_policy { ask, always, never };

struct cli_session {
  std::string archive_shown;  // the archive's path as given
  overwrite_policy overwrite = overwrite_policy::ask;
  std::optional<std::string> password;  // code page 932, from -p
  bool terminal = false;  // stdin and stderr are a terminal: questions can be asked
  bool progress = false;  // stderr is a terminal: the progress line is drawn
  std::string comment;    // code page 932, as the header holds it
};
extern cli_session session;

extern const user_front cli_user_front;

// Ctrl-C acts as Cancel: the run stops after the current entry and the
// half-written file is deleted. A second Ctrl-C ends the process.
void install_interrupt_handler();
bool interrupted();

// A code page 932 text as UTF-8 for the terminal; a path's backslash
// separators become '/'. Bytes that do not convert and control bytes show as
// \xNN, so that no name can drive the terminal.
std::string shown_text(const char* cp932, bool as_path);
// The same without the escaping of control bytes, for JSON.
std::string utf8_text(const char* cp932, bool as_path);

void start_progress();
void update_progress();
void stop_progress();

// "quorvex: " and the text, on stderr.
void report(const std::string& text);
// printf to stdout or stderr, through the console (see console_write).
void print_to(FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
[[noreturn]] void fail(int code, const std::string& text);

// One line typed on the terminal, the prompt on stderr; nothing at the end of
// the input or on Ctrl-C.
std::optional<std::string> ask_terminal(const std::string& prompt, bool echo);
