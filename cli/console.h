// What the portable tool needs of the system beyond the file layer: the
// terminal, Ctrl-C, the text conversions and the file layer itself. One
// implementation per system, chosen by the build: console_posix.cpp (Linux:
// termios, SIGINT, iconv) and console_win32.cpp (Windows: the console API,
// the code page conversions of kernel32). The commands and the maker's
// progress bar are written once over this.
#pragma once
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

// The arguments as UTF-8; main calls it first. Windows takes them from the
// wide command line, so that no character is lost to the ANSI code page.
std::vector<std::string> console_start(int argc, char** argv);

// UTF-8 text to stdout or stderr: on a console as its characters, whatever
// the console's code page; into a file or pipe as the bytes.
void console_write(FILE* stream, const std::string& utf8);

// The file layer of the system: POSIX calls on code page 932 paths made
// UTF-8, or the Win32 calls on ANSI code page paths.
const file_layer& system_file_layer();

// The text of a nonzero I/O result code of that file layer.
std::string system_error_text(int code);

// stdin, stdout or stderr is an interactive terminal (a console).
bool console_is_terminal(FILE* stream);
// stderr is a terminal that takes "\r" and "\x1b[K", so a line can be
// redrawn in place.
bool console_redraws_lines();
// The terminal's width in columns; 80 when it cannot be told.
size_t console_columns();

// From now on the first Ctrl-C calls `on_interrupt` and the second ends the
// process. `on_interrupt` may run in a signal handler or on a thread of its
// own: it may only set flags.
void console_catch_interrupt(void (*on_interrupt)());
bool console_interrupted();

// `prompt` on stderr, then one line typed on the terminal, without its end,
// as UTF-8; nothing at the end of the input or on Ctrl-C. Without `echo` the
// typed characters are not shown: echo is off before the prompt appears, so
// that nothing typed right after it shows.
std::optional<std::string> console_read_line(const std::string& prompt, bool echo);

// A code page 932 text as UTF-8; for a path the backslash separators become
// '/'. False when the text is not valid code page 932.
bool utf8_from_cp932_text(const char* cp932, bool as_path, std::string* utf8);
// UTF-8 text as code page 932; false when some character has no code.
bool cp932_from_utf8_text(const std::string& utf8, std::string* cp932);
// A path typed by the user (UTF-8, either separator where the system allows
// it) as the file layer takes it: backslash separators, in the code page of
// the file layer's names, converting back to the same text. On failure
// `problem` says what the path holds that makes it impossible.
bool file_layer_path(const std::string& utf8, std::string* path, std::string* problem);
