#include "cli/cli_front.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/failure_exits.h"
#include "archive/archive.h"
#include "cli/cli_files.h"
#include "cli/console.h"
#include "extract/run_state.h"
#include "pack/progress_bar.h"

cli_session session;

namespace {

int pending_exit;
std::unique_ptr<quorvex::pack::progress_bar> progress;
int64_t progress_position;

void on_interrupt() { cancel_requested = 1; }

std::string escaped_byte(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02X", byte);
  return text;
}

// Control characters, C1 ones included, are shown as their bytes.
std::string without_controls(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(utf8[i]);
    unsigned char next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
    if (byte < 0x20 || byte == 0x7F) {
      out += escaped_byte(byte);
    } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
      out += escaped_byte(byte) + escaped_byte(next);
      ++i;
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

// The slow way, for a text that is not all valid code page 932.
std::string shown_by_characters(const char* cp932, bool as_path) {
  std::string out, converted;
  for (const char* p = cp932; *p;) {
    const char* next = system_file_layer().char_next(p);
    if (as_path && next - p == 1 && *p == '\\') {
      out += '/';
    } else if (utf8_from_cp932_text(std::string(p, next).c_str(), false, &converted)) {
      out += converted;
    } else {
      for (const char* b = p; b < next; ++b) out += escaped_byte(static_cast<unsigned char>(*b));
    }
    p = next;
  }
  return out;
}

std::string amount_text(int64_t bytes) {
  char text[32];
  if (bytes < 10 * 1024) {
    std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes));
  } else {
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024 * 1024));
  }
  return text;
}

std::string entry_shown() { return shown_text(text_c_str(&previous_name), true); }
std::string path_shown(const char* cp932_path) { return shown_text(cp932_path, true); }

// Where the run was when something failed: the entry read last.
std::string at_entry() {
  if (previous_name.length == 0) return "";
  return " (at the entry " + entry_shown() + ")";
}

std::string archive_text(const std::string& what) { return session.archive_shown + ": " + what; }

std::string error_text() {
  int code = cli_files_seen.last_error;
  return code ? ": " + system_error_text(code) : std::string();
}

int exit_code_of(message_id id) {
  switch (id) {
    case message_read_failure:
    case message_damaged:
      return exit_damaged;
    case message_smaller:
    case message_larger:
      return exit_length;
    case message_wrong_password:
      return exit_password;
    case message_unsafe_name:
      return exit_unsafe_name;
    case message_cancelled:
      return exit_cancelled;
    case message_finished:
      return exit_success;
    default:
      return exit_not_written;
  }
}

std::string text_of(message_id id, const char* detail) {
  const char* d = detail ? detail : "";
  switch (id) {
    case message_read_failure:
      return archive_text("the archive cannot be read: it ends too early or the file is unreadable" + at_entry());
    case message_damaged:
      return archive_text("the archive is damaged: block " +
                          std::to_string(archive_stream.stream_position / block_data_size + 1) +
                          " fails its CRC check" +
                          (archive_protected ? " (or the password is not the archive's)" : "") + at_entry());
    case message_smaller:
      return archive_text("the file is " + std::to_string(cli_files_seen.archive_length) +
                          " bytes long, shorter than the " + std::to_string(total_size) +
                          " bytes the archive records: it was cut short");
    case message_larger:
      return archive_text("the file is " + std::to_string(cli_files_seen.archive_length) +
                          " bytes long, longer than the " + std::to_string(total_size) +
                          " bytes the archive records: something was appended or changed");
    case message_wrong_password:
      return archive_text("wrong password");
    case message_write_failure:
      return "cannot write " + path_shown(text_c_str(&full_path)) + error_text();
    case message_folder_failure:
      return "cannot make the folder " + path_shown(d) + ": something that is not a folder is in the way, or " +
             "it cannot be created";
    case message_folder_not_made:
      return "cannot make the destination folder";
    case message_unsafe_name:
      return archive_text("refusing the entry " + path_shown(d) +
                          ": its name could reach outside the destination folder or open a device");
    case message_path_too_long:
      return path_shown(d) + ": the path is longer than 259 bytes; the entry cannot be extracted";
    case message_launch_failed:
      return path_shown(d) + " cannot be run";
    case message_cancelled:
      return "cancelled";
    case message_finished:
      return "done";
    default:
      return "unexpected question";
  }
}

int answer_overwrite(const char* path) {
  if (session.overwrite == overwrite_policy::always) return reply_yes;
  if (session.overwrite == overwrite_policy::never) return reply_no;
  if (!session.terminal) {
    pending_exit = exit_not_written;
    report(path_shown(path) + " already exists; give --overwrite always or --overwrite never to decide without a "
           "terminal");
    abort_run();
  }
  for (;;) {
    std::optional<std::string> answer =
        ask_terminal(path_shown(path) + " already exists. Overwrite it? [y]es, [n]o, [c]ancel: ", true);
    if (!answer || *answer == "c" || *answer == "cancel") return reply_cancel;
    if (*answer == "y" || *answer == "yes") return reply_yes;
    if (*answer == "n" || *answer == "no") return reply_no;
  }
}

int show_message(message_id id, const char* detail) {
  if (id == message_overwrite) return answer_overwrite(detail);
  // The tool makes the destination folder without asking.
  if (id == message_create_folder) return reply_yes;
  pending_exit = exit_code_of(id);
  report(text_of(id, detail));
  return reply_ok;
}

void show_status(status_id, const char*) { update_progress(); }

void pump_one_message() {
  // A Ctrl-C that came before the run cleared the flag still counts.
  if (console_interrupted()) cancel_requested = 1;
  update_progress();
}

void end_run(int exit_code) {
  stop_progress();
  std::fflush(stdout);
  std::exit(pending_exit ? pending_exit : exit_code == 0 ? exit_success : exit_damaged);
}

void show_comment(const char* text) { session.comment = text; }
void mask_password() {}

void read_password(byte_string* out) {
  if (session.password) {
    text_assign_c_str(out, session.password->c_str());
    return;
  }
  if (!session.terminal) fail(exit_password, archive_text("the archive is protected: give its password with -p"));
  std::optional<std::string> typed = ask_terminal("Password for " + session.archive_shown + ": ", false);
  if (!typed) fail(console_interrupted() ? exit_cancelled : exit_password, archive_text("no password given"));
  // Passwords are code page 932 bytes, like every text of the archive; one
  // that has no such form cannot be the archive's.
  std::string cp932;
  text_assign_c_str(out, cp932_from_utf8_text(*typed, &cp932) ? cp932.c_str() : typed->c_str());
}

void focus_password() {}

}  // namespace

const user_front cli_user_front = {
    show_message, show_status, pump_one_message, end_run, show_comment, mask_password, read_password, focus_password,
};

void install_interrupt_handler() { console_catch_interrupt(on_interrupt); }

bool interrupted() { return console_interrupted(); }

std::string utf8_text(const char* cp932, bool as_path) {
  std::string converted;
  return utf8_from_cp932_text(cp932, as_path, &converted) ? converted : shown_by_characters(cp932, as_path);
}

std::string shown_text(const char* cp932, bool as_path) { return without_controls(utf8_text(cp932, as_path)); }

// The bar measures the archive: what follows the program image.
void start_progress() {
  progress = std::make_unique<quorvex::pack::progress_bar>(cli_files_seen.archive_length - stub_size,
                                                           session.progress);
  progress_position = stub_size;
}

void update_progress() {
  if (!progress) return;
  // The bar counts the archive read; the name carries what has been written.
  std::string written = amount_text(cli_files_seen.bytes_written) + " written  ";
  progress->begin(written + entry_shown());
  progress->advance(static_cast<uint64_t>(cli_files_seen.archive_position - progress_position));
  progress_position = cli_files_seen.archive_position;
}

void stop_progress() {
  if (progress) progress->finish();
  progress.reset();
}

void report(const std::string& text) {
  std::string line = "quorvex: " + text;
  if (progress) {
    progress->print(stderr, line);
  } else {
    console_write(stderr, line + "\n");
  }
}

void print_to(FILE* stream, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list again;
  va_copy(again, arguments);
  int size = std::vsnprintf(nullptr, 0, format, arguments);
  va_end(arguments);
  std::string text(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(&text[0], text.size() + 1, format, again);
  va_end(again);
  console_write(stream, text);
}

void fail(int code, const std::string& text) {
  report(text);
  stop_progress();
  std::fflush(stdout);
  std::exit(code);
}

std::optional<std::string> ask_terminal(const std::string& prompt, bool echo) {
  // The question takes the progress line's place; the line comes back after.
  bool had_progress = progress != nullptr;
  stop_progress();
  std::optional<std::string> line = console_read_line(prompt, echo);
  if (had_progress) start_progress();
  return line;
}
