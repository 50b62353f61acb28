// quorvex list | test | extract: the stub's own reader, decoder and
// extraction run behind a terminal front. list and test run the extraction
// over the dry-run file layer, so they read and decode everything and write
// nothing.
#include <getopt.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/archive_opening.h"
#include "archive/archive.h"
#include "cli/cli_files.h"
#include "cli/cli_front.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "extract/extract.h"
#include "extract/run_state.h"

namespace {

enum class command { list, test, extract };

const char list_usage[] =
    "usage: quorvex list ARCHIVE [-p PASSWORD] [--json]\n"
    "Shows the archive's header (comment, launch target, protection), then one\n"
    "line per entry: kind, size, last-write time (UTC), name.\n"
    "  -p, --password PW  the archive's password (asked on a terminal otherwise)\n"
    "      --json         one JSON object per line\n";
const char test_usage[] =
    "usage: quorvex test ARCHIVE [-p PASSWORD]\n"
    "Reads and decodes every entry, writes nothing, and says whether the archive\n"
    "is sound.\n"
    "  -p, --password PW  the archive's password (asked on a terminal otherwise)\n";
const char extract_usage[] =
    "usage: quorvex extract ARCHIVE [-d DIR] [-p PASSWORD] [--overwrite ask|always|never]\n"
    "Extracts every entry into DIR (default: the current folder), made if missing.\n"
    "  -d, --directory DIR  where to extract\n"
    "  -p, --password PW    the archive's password (asked on a terminal otherwise)\n"
    "      --overwrite WHEN ask (the default on a terminal), always or never;\n"
    "                       without a terminal an existing file is an error\n"
    "                       unless always or never is given\n";

struct options {
  std::string archive;
  std::optional<std::string> password;  // UTF-8, as typed
  bool json = false;
  std::string directory = ".";
  std::optional<overwrite_policy> overwrite;
};

enum long_only : int { option_json = 256, option_overwrite };

[[noreturn]] void usage_failure(const char* usage, const std::string& problem) {
  print_to(stderr, "quorvex: %s\n%s", problem.c_str(), usage);
  std::exit(exit_usage);
}

options parse(command which, int argc, char** argv) {
  const char* usage = which == command::list ? list_usage : which == command::test ? test_usage : extract_usage;
  const char* short_options = which == command::extract ? "+d:p:h" : "+p:h";
  static const option long_options[] = {
      {"password", required_argument, nullptr, 'p'}, {"directory", required_argument, nullptr, 'd'},
      {"json", no_argument, nullptr, option_json},   {"overwrite", required_argument, nullptr, option_overwrite},
      {"help", no_argument, nullptr, 'h'},           {nullptr, 0, nullptr, 0},
  };
  options o;
  std::vector<std::string> operands;
  optind = 0;  // a fresh scan for every command
  opterr = 0;
  for (;;) {
    int c = getopt_long(argc, argv, short_options, long_options, nullptr);
    if (c == -1) {
      if (optind >= argc) break;
      operands.push_back(argv[optind++]);  // options may follow the archive
      continue;
    }
    switch (c) {
      case 'h':
        print_to(stdout, "%s", usage);
        std::exit(exit_success);
      case 'p':
        o.password = optarg;
        break;
      case 'd':
        o.directory = optarg;
        break;
      case option_json:
        if (which != command::list) usage_failure(usage, "--json is an option of list");
        o.json = true;
        break;
      case option_overwrite: {
        if (which != command::extract) usage_failure(usage, "--overwrite is an option of extract");
        std::string when = optarg;
        if (when == "ask") {
          o.overwrite = overwrite_policy::ask;
        } else if (when == "always") {
          o.overwrite = overwrite_policy::always;
        } else if (when == "never") {
          o.overwrite = overwrite_policy::never;
        } else {
          usage_failure(usage, "--overwrite takes ask, always or never, not " + when);
        }
        break;
      }
      default:
        usage_failure(usage, optopt ? std::string("unknown option or missing value: -") + static_cast<char>(optopt)
                                    : std::string("unknown option or missing value: ") + argv[optind - 1]);
    }
  }
  if (which == command::extract && !o.overwrite) o.overwrite = overwrite_policy::ask;
  if (operands.size() != 1) usage_failure(usage, operands.empty() ? "no ARCHIVE given" : "more than one ARCHIVE given");
  o.archive = operands[0];
  return o;
}

// A path typed by the user as the logic takes it: the file layer's bytes,
// backslash separators.
std::string logic_path(const std::string& utf8, const char* what) {
  std::string path, problem;
  if (!file_layer_path(utf8, &path, &problem)) fail(exit_usage, std::string(what) + " " + utf8 + " " + problem);
  return path;
}

void open_for(command which, const options& o) {
  session.archive_shown = o.archive;
  session.terminal = console_is_terminal(stdin) && console_is_terminal(stderr);
  session.progress = which != command::list && console_redraws_lines();
  std::error_code error;
  const std::filesystem::path file = std::filesystem::u8path(o.archive);
  std::filesystem::file_status status = std::filesystem::status(file, error);
  if (error) fail(exit_usage, o.archive + ": " + error.message());
  if (!std::filesystem::is_regular_file(status)) fail(exit_usage, o.archive + ": not a file");
  uintmax_t size = std::filesystem::file_size(file, error);
  if (error) fail(exit_usage, o.archive + ": " + error.message());
  if (size <= static_cast<uintmax_t>(stub_size)) {
    fail(exit_usage, o.archive + ": no archive attached (nothing follows the first 25600 bytes)");
  }
  std::string path = logic_path(o.archive, "the archive's path");
  install_platform(which == command::extract ? &cli_file_layer : &cli_dry_file_layer, &cli_user_front);
  if (open_archive(path.c_str())) fail(exit_usage, o.archive + ": no archive attached");
}

void unlock(const options& o) {
  if (!archive_protected) return;
  int attempts = 1;
  if (o.password) {
    std::string cp932;
    bool ok = cp932_from_utf8_text(*o.password, &cp932);
    session.password = cp932;
    if (!ok) fail(exit_password, o.archive + ": wrong password (it has a character that code page 932 cannot hold)");
  } else if (session.terminal) {
    attempts = 3;
  }
  for (int i = 0; i < attempts; ++i) {
    if (check_password()) return;
  }
  end_process(exit_password);  // the wrong password has been reported
}

std::string json_string(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

uint64_t filetime_value(const file_time& t) { return (static_cast<uint64_t>(t.high) << 32) | t.low; }

// A FILETIME as UTC, or "-" when it is 0. The calendar is worked out here:
// gmtime on Windows knows nothing before 1970.
std::string time_text(const file_time& t) {
  uint64_t ticks = filetime_value(t);
  if (ticks == 0) return "-";
  int64_t seconds = static_cast<int64_t>(ticks / 10000000);
  int64_t second_of_day = seconds % 86400;
  // Days counted from 0000-03-01, so that a leap day ends each year; 400
  // Gregorian years are 146097 days. 1601-01-01 is day 584694.
  int64_t day = seconds / 86400 + 584694;
  int64_t era = day / 146097, day_of_era = day % 146097;
  int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  int64_t month_from_march = (5 * day_of_year + 2) / 153;
  int64_t day_of_month = day_of_year - (153 * month_from_march + 2) / 5 + 1;
  int64_t month = month_from_march < 10 ? month_from_march + 3 : month_from_march - 9;
  int64_t year = era * 400 + year_of_era + (month <= 2 ? 1 : 0);
  char text[48];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day_of_month),
                static_cast<long long>(second_of_day / 3600), static_cast<long long>(second_of_day / 60 % 60),
                static_cast<long long>(second_of_day % 60));
  return text;
}

// A folder entry's name without its final "\." (or the lone "."): the folder.
std::string folder_name(const std::string& name) {
  if (name == ".") return name;
  std::string folder = name.substr(0, name.size() - 1);
  const char* last = folder.c_str();
  for (const char* p = folder.c_str(); *p; p = system_file_layer().char_next(p)) last = p;
  if (!folder.empty() && *last == '\\') folder.pop_back();
  return folder;
}

struct run_record {
  command which = command::extract;
  bool json = false;
  int64_t files = 0, folders = 0, bytes = 0;
  // The file entry decoded last, for the check of its length.
  std::optional<std::string> unchecked_name;
  int64_t unchecked_size = 0;
  bool length_mismatch = false;
} run;

void print_entry(bool is_folder) {
  std::string name = is_folder ? folder_name(text_c_str(&previous_name)) : text_c_str(&previous_name);
  uint32_t size = static_cast<uint32_t>(expanded_size);
  if (run.json) {
    std::string times = is_folder ? "\"creation\":null,\"access\":null,\"write\":null"
                                  : "\"creation\":" + std::to_string(filetime_value(creation_time)) +
                                        ",\"access\":" + std::to_string(filetime_value(last_access_time)) +
                                        ",\"write\":" + std::to_string(filetime_value(last_write_time));
    print_to(stdout, "{\"name\":%s,\"type\":\"%s\",\"size\":%u,%s}\n", json_string(utf8_text(name.c_str(), true)).c_str(),
                is_folder ? "dir" : "file", is_folder ? 0u : size, times.c_str());
    return;
  }
  std::string shown = shown_text(name.c_str(), true);
  if (is_folder) {
    print_to(stdout, "%-4s %12s  %-19s  %s/\n", "dir", "-", "-", shown.c_str());
  } else {
    print_to(stdout, "%-4s %12u  %-19s  %s\n", "file", size, time_text(last_write_time).c_str(), shown.c_str());
  }
}

// The decoder stops between symbols, so a match can carry a file past its
// recorded size: test reports it.
void check_decoded_length() {
  if (!run.unchecked_name) return;
  if (cli_files_seen.entry_bytes != run.unchecked_size) {
    report(session.archive_shown + ": the entry " + shown_text(run.unchecked_name->c_str(), true) + " decodes to " +
           std::to_string(cli_files_seen.entry_bytes) + " bytes, but its record says " +
           std::to_string(run.unchecked_size));
    run.length_mismatch = true;
  }
  run.unchecked_name.reset();
}

void observe_entry(bool is_folder) {
  if (interrupted()) cancel_requested = 1;
  if (run.which == command::test) check_decoded_length();
  if (is_folder) {
    ++run.folders;
  } else {
    ++run.files;
    run.bytes += static_cast<uint32_t>(expanded_size);
    if (run.which == command::test) {
      run.unchecked_name = text_c_str(&previous_name);
      run.unchecked_size = static_cast<uint32_t>(expanded_size);
    }
  }
  if (run.which == command::list) print_entry(is_folder);
  update_progress();
}

void print_header(bool json) {
  if (json) {
    print_to(stdout, "{\"comment\":%s,\"launch\":%s,\"protected\":%s}\n",
                json_string(utf8_text(session.comment.c_str(), false)).c_str(),
                json_string(utf8_text(text_c_str(&launch_target), true)).c_str(), archive_protected ? "true" : "false");
    return;
  }
  std::string launch = shown_text(text_c_str(&launch_target), true);
  // The comment's lines, CR LF or LF apart, under one another.
  std::string text;
  for (size_t at = 0; at < session.comment.size();) {
    size_t end = session.comment.find('\n', at);
    std::string line = session.comment.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    text += (text.empty() ? "" : "\n           ") + shown_text(line.c_str(), false);
    at = end == std::string::npos ? session.comment.size() : end + 1;
  }
  print_to(stdout, "Comment:   %s\n", text.empty() ? "(none)" : text.c_str());
  print_to(stdout, "Launch:    %s\n", launch.empty() ? "(none)" : launch.c_str());
  print_to(stdout, "Protected: %s\n", archive_protected ? "yes" : "no");
  std::fflush(stdout);
}

std::string destination_for(const options& o) {
  std::string typed = logic_path(o.directory, "the destination");
  byte_string folder = {}, failing = {};
  with_trailing_backslash(typed.c_str(), &folder);
  std::string destination = text_c_str(&folder);
  text_release(&folder);
  switch (folder_state(destination.c_str())) {
    case folder_ok:
      break;
    case folder_is_file:
      fail(exit_not_written, o.directory + ": not a folder");
    case folder_missing:
      make_folder_chain(destination.c_str(), &failing);
      if (failing.length > 0) {
        fail(exit_not_written, "cannot make the folder " + shown_text(text_c_str(&failing), true));
      }
      text_release(&failing);
      break;
  }
  return destination;
}

int run_command(command which, int argc, char** argv) {
  options o = parse(which, argc, argv);
  install_interrupt_handler();
  run.which = which;
  run.json = o.json;
  if (o.overwrite) session.overwrite = *o.overwrite;
  open_for(which, o);
  if (which == command::list) print_header(o.json);
  unlock(o);
  // list and test make nothing: their destination exists only in name.
  std::string destination = which == command::extract ? destination_for(o) : ".\\";

  entry_observer = observe_entry;
  start_progress();
  extract_all(destination.c_str());
  if (which == command::test) check_decoded_length();
  stop_progress();
  std::fflush(stdout);

  if (cancel_requested) {
    std::string where = previous_name.length ? " at the entry " + shown_text(text_c_str(&previous_name), true) : "";
    report("cancelled" + where +
           (which == command::extract ? "; a file left half-written is deleted, the entries before it stay" : ""));
    return exit_cancelled;
  }
  if (which == command::test) {
    if (run.length_mismatch) return exit_damaged;
    print_to(stdout, "%s: sound: %lld files, %lld folders, %lld bytes\n", o.archive.c_str(),
                static_cast<long long>(run.files), static_cast<long long>(run.folders),
                static_cast<long long>(run.bytes));
  }
  return exit_success;
}

}  // namespace

int run_list_command(int argc, char** argv) { return run_command(command::list, argc, argv); }
int run_test_command(int argc, char** argv) { return run_command(command::test, argc, argv); }
int run_extract_command(int argc, char** argv) { return run_command(command::extract, argc, argv); }
