// The tool's system calls on Windows: the console API, the code page
// conversions of kernel32 and the stub's own file layer. Text goes to a
// console as UTF-16 (WriteConsoleW), so that it shows whatever the console's
// code page; the C runtime would pass it through the code page.
#include <windows.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>

#include "cli/console.h"
#include "platform/win32/win32_platform.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace {

constexpr UINT code_page_932 = 932;

volatile LONG interrupt_seen;
volatile LONG line_being_read;
void (*interrupt_action)();

// What console_start changed, to be put back when the process ends.
HANDLE redrawn_console = INVALID_HANDLE_VALUE;
DWORD saved_error_mode;

HANDLE handle_of(FILE* stream) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))); }

// _isatty also holds for NUL and other character devices: only a handle
// with a console mode is a console.
bool is_console(FILE* stream) {
  DWORD mode;
  return _isatty(_fileno(stream)) && GetConsoleMode(handle_of(stream), &mode);
}

void restore_console() {
  if (redrawn_console != INVALID_HANDLE_VALUE) SetConsoleMode(redrawn_console, saved_error_mode);
}

// Ends a console read waiting for its line with an Enter key. Windows ends
// the read on Ctrl-C by itself; Wine does not.
void end_waiting_read() {
  INPUT_RECORD keys[2] = {};
  for (int i = 0; i < 2; ++i) {
    keys[i].EventType = KEY_EVENT;
    keys[i].Event.KeyEvent.bKeyDown = i == 0;
    keys[i].Event.KeyEvent.wRepeatCount = 1;
    keys[i].Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
    keys[i].Event.KeyEvent.uChar.UnicodeChar = L'\r';
  }
  DWORD written;
  WriteConsoleInputW(GetStdHandle(STD_INPUT_HANDLE), keys, 2, &written);
}

BOOL WINAPI on_console_event(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (InterlockedExchange(&interrupt_seen, 1)) {
    // The second one: the system's handler ends the process.
    restore_console();
    return FALSE;
  }
  if (interrupt_action) interrupt_action();
  if (line_being_read) end_waiting_read();
  return TRUE;
}

bool wide_from(UINT code_page, const std::string& text, std::wstring* wide) {
  wide->clear();
  if (text.empty()) return true;
  int size = static_cast<int>(text.size());
  int count = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (count <= 0) return false;
  wide->resize(static_cast<size_t>(count));
  return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), size, &(*wide)[0], count) == count;
}

// UTF-8 never takes a default character; the others must not need one.
bool narrow_from(UINT code_page, const std::wstring& wide, std::string* text) {
  text->clear();
  if (wide.empty()) return true;
  int size = static_cast<int>(wide.size());
  bool utf8 = code_page == CP_UTF8;
  DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL defaulted = FALSE;
  int count = WideCharToMultiByte(code_page, flags, wide.data(), size, nullptr, 0, nullptr, utf8 ? nullptr : &defaulted);
  if (count <= 0 || defaulted) return false;
  text->resize(static_cast<size_t>(count));
  return WideCharToMultiByte(code_page, flags, wide.data(), size, &(*text)[0], count, nullptr,
                             utf8 ? nullptr : &defaulted) == count &&
         !defaulted;
}

std::string utf8_of(const std::wstring& wide) {
  std::string text;
  narrow_from(CP_UTF8, wide, &text);
  return text;
}

}  // namespace

std::vector<std::string> console_start(int argc, char** argv) {
  std::vector<std::string> arguments;
  int count = 0;
  if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 0; i < count; ++i) arguments.push_back(utf8_of(wide[i]));
    LocalFree(wide);
  } else {
    arguments.assign(argv, argv + argc);
  }
  // The progress line is redrawn with "\r" and "\x1b[K".
  HANDLE error = handle_of(stderr);
  DWORD mode;
  if (is_console(stderr) && GetConsoleMode(error, &mode)) {
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) ||
        SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
      redrawn_console = error;
      saved_error_mode = mode;
    }
  }
  std::atexit(restore_console);
  return arguments;
}

void console_write(FILE* stream, const std::string& utf8) {
  std::wstring wide;
  if (!is_console(stream) || !wide_from(CP_UTF8, utf8, &wide)) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    return;
  }
  std::fflush(stream);  // what the C runtime holds comes first
  HANDLE console = handle_of(stream);
  for (size_t done = 0; done < wide.size();) {
    DWORD written = 0;
    DWORD count = static_cast<DWORD>(std::min<size_t>(wide.size() - done, 8192));
    if (!WriteConsoleW(console, wide.data() + done, count, &written, nullptr) || written == 0) return;
    done += written;
  }
}

const file_layer& system_file_layer() { return win32_file_layer; }

std::string system_error_text(int code) {
  // The tool speaks English whatever the system's language.
  for (DWORD language : {static_cast<DWORD>(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)), DWORD{0}}) {
    LPWSTR text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                      FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  nullptr, static_cast<DWORD>(code), language, reinterpret_cast<LPWSTR>(&text), 0,
                                  nullptr);
    if (length == 0) continue;
    std::wstring wide(text, length);
    LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' ' ||
                             wide.back() == L'.')) {
      wide.pop_back();
    }
    return utf8_of(wide);
  }
  return "system error " + std::to_string(code);
}

bool console_is_terminal(FILE* stream) { return is_console(stream); }

bool console_redraws_lines() { return redrawn_console != INVALID_HANDLE_VALUE; }

size_t console_columns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(handle_of(stderr), &info) && info.srWindow.Right > info.srWindow.Left) {
    return static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
  }
  return 80;
}

void console_catch_interrupt(void (*on_interrupt)()) {
  interrupt_action = on_interrupt;
  SetConsoleCtrlHandler(on_console_event, TRUE);
}

bool console_interrupted() { return interrupt_seen != 0; }

std::optional<std::string> console_read_line(const std::string& prompt, bool echo) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD saved;
  if (!GetConsoleMode(input, &saved)) return std::nullopt;
  DWORD mode = saved | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT;
  SetConsoleMode(input, echo ? mode | ENABLE_ECHO_INPUT : mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  console_write(stderr, prompt);
  std::wstring line;
  bool complete = false;
  InterlockedExchange(&line_being_read, 1);
  while (!interrupt_seen) {
    wchar_t chunk[256];
    DWORD got = 0;
    if (!ReadConsoleW(input, chunk, 256, &got, nullptr) || got == 0) {
      // Ctrl-C cuts the read short before its handler, on a thread of its
      // own, has set the flag: give it a moment.
      for (int i = 0; i < 50 && !interrupt_seen; ++i) Sleep(10);
      break;
    }
    line.append(chunk, got);
    size_t end = line.find(L'\n');
    if (end != std::wstring::npos) {
      line.resize(end);
      if (!line.empty() && line.back() == L'\r') line.pop_back();
      complete = true;
      break;
    }
  }
  InterlockedExchange(&line_being_read, 0);
  // Nothing typed for this question, nor the Enter that ended it, is left
  // for the next reader.
  if (interrupt_seen) FlushConsoleInputBuffer(input);
  SetConsoleMode(input, saved);
  if (!echo) console_write(stderr, "\n");
  // Ctrl-Z at the start of a line ends the input, as on any console.
  if (!complete || interrupt_seen || (!line.empty() && line[0] == 0x1A)) return std::nullopt;
  return utf8_of(line);
}

bool utf8_from_cp932_text(const char* cp932, bool as_path, std::string* utf8) {
  std::wstring wide;
  if (!wide_from(code_page_932, cp932, &wide)) return false;
  if (as_path) {
    for (wchar_t& c : wide) {
      if (c == L'\\') c = L'/';
    }
  }
  return narrow_from(CP_UTF8, wide, utf8);
}

bool cp932_from_utf8_text(const std::string& utf8, std::string* cp932) {
  std::wstring wide;
  return wide_from(CP_UTF8, utf8, &wide) && narrow_from(code_page_932, wide, cp932);
}

// CreateFileA and its kin take the ANSI code page: 932 on a Japanese system,
// where a path is the same bytes as an archive's name.
bool file_layer_path(const std::string& utf8, std::string* path, std::string* problem) {
  std::wstring wide, back;
  if (!wide_from(CP_UTF8, utf8, &wide)) {
    *problem = "is not UTF-8";
    return false;
  }
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  if (!narrow_from(CP_ACP, wide, path) || !wide_from(CP_ACP, *path, &back) || back != wide) {
    *problem = "has a character that the ANSI code page (" + std::to_string(GetACP()) + ") cannot hold";
    return false;
  }
  return true;
}
