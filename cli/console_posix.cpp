// The tool's system calls on Linux: a termios terminal, SIGINT, iconv.
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "cli/console.h"
#include "platform/posix/posix_files.h"

namespace {

volatile sig_atomic_t interrupt_seen;
void (*interrupt_action)();

void on_sigint(int) {
  interrupt_seen = 1;
  if (interrupt_action) interrupt_action();
}

bool take(bool converted, byte_string* text, std::string* out) {
  out->assign(text_c_str(text));
  text_release(text);
  return converted;
}

}  // namespace

std::vector<std::string> console_start(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void console_write(FILE* stream, const std::string& utf8) { std::fwrite(utf8.data(), 1, utf8.size(), stream); }

const file_layer& system_file_layer() { return posix_file_layer; }

std::string system_error_text(int code) { return strerror(code); }

bool console_is_terminal(FILE* stream) { return isatty(fileno(stream)) != 0; }

bool console_redraws_lines() { return console_is_terminal(stderr); }

size_t console_columns() {
  winsize size;
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

void console_catch_interrupt(void (*on_interrupt)()) {
  interrupt_action = on_interrupt;
  struct sigaction action = {};
  action.sa_handler = on_sigint;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a question waiting on the terminal is interrupted too.
  // SA_RESETHAND: the second Ctrl-C ends the process.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
}

bool console_interrupted() { return interrupt_seen != 0; }

std::optional<std::string> console_read_line(const std::string& prompt, bool echo) {
  termios saved = {};
  bool quiet = !echo && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (quiet) {
    termios silent = saved;
    silent.c_lflag &= static_cast<tcflag_t>(~ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
  }
  console_write(stderr, prompt);
  std::fflush(stderr);
  std::string line;
  bool complete = false;
  // A Ctrl-C that lands just before the read would not interrupt it: the
  // wait is cut into short polls that look at the flag.
  while (!interrupt_seen) {
    pollfd input = {STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, 200) <= 0) continue;
    char c;
    ssize_t got = read(STDIN_FILENO, &c, 1);
    if (got <= 0 || interrupt_seen) break;
    if (c == '\n') {
      complete = true;
      break;
    }
    line += c;
  }
  if (quiet) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    console_write(stderr, "\n");
  }
  if (!complete) return std::nullopt;
  return line;
}

bool utf8_from_cp932_text(const char* cp932, bool as_path, std::string* utf8) {
  byte_string converted = {};
  return take(as_path ? utf8_path_from_archive(cp932, &converted) : utf8_from_cp932(cp932, &converted), &converted,
              utf8);
}

bool cp932_from_utf8_text(const std::string& utf8, std::string* cp932) {
  byte_string converted = {};
  return take(cp932_from_utf8(utf8.c_str(), &converted), &converted, cp932);
}

// The POSIX layer takes code page 932 paths with backslashes and makes them
// UTF-8 with slashes again, so a path must come back as the same text.
bool file_layer_path(const std::string& utf8, std::string* path, std::string* problem) {
  if (utf8.find('\\') != std::string::npos) {
    *problem = "holds a backslash, which the extractor takes for a separator";
    return false;
  }
  std::string back;
  if (!cp932_from_utf8_text(utf8, path) || !utf8_from_cp932_text(path->c_str(), false, &back) || back != utf8) {
    *problem = "has a character that code page 932 cannot hold";
    return false;
  }
  for (char& c : *path) {
    if (c == '/') c = '\\';
  }
  return true;
}
