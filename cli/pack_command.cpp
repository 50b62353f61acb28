// quorvex pack: the maker's command line.
#include <getopt.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "pack/entry_times.h"
#include "pack/maker.h"
#include "pack/refusal.h"

namespace {

using namespace quorvex::pack;

const char usage[] =
    "usage: quorvex pack -o OUT.exe [options] PATH...\n"
    "Makes a self-extracting file: the stub, then an archive of the PATHs (files and\n"
    "folders, recursively; each goes in under its name as given, as with tar).\n"
    "\n"
    "  -o, --output FILE        the file to make (complete, or not at all)\n"
    "  -C, --directory DIR      take the PATHs after it relative to DIR\n"
    "      --stub FILE          the stub of 25600 bytes (default: the built one)\n"
    "      --comment TEXT       the comment the setup window shows (UTF-8)\n"
    "      --comment-file FILE  the comment, from a UTF-8 file\n"
    "      --launch NAME        a file of the archive to open after extraction\n"
    "      --password PW        protect the archive with this password\n"
    "      --protection-byte N  1 to 255 (default 1); odd: the password is masked while typed\n"
    "      --level LEVEL        fast, normal (default) or max\n"
    "      --time-source SRC    mtime (the files' own times, default) or fixed=ISO8601\n"
    "                           (UTC unless a zone is given); SOURCE_DATE_EPOCH fixes\n"
    "                           them too, unless --time-source says otherwise\n"
    "      --exclude GLOB       leave out what matches a name or its tail (repeatable)\n"
    "  -v, --verbose            list what goes in\n"
    "  -h, --help               show this text\n"
    "Exit: 0 done, 1 refused (no output is left), 2 wrong arguments.\n";

struct usage_error {
  std::string text;
};
struct help_request {};

enum long_only : int {
  option_stub = 256,
  option_comment,
  option_comment_file,
  option_launch,
  option_password,
  option_protection_byte,
  option_level,
  option_time_source,
  option_exclude,
};

const option long_options[] = {
    {"output", required_argument, nullptr, 'o'},
    {"directory", required_argument, nullptr, 'C'},
    {"verbose", no_argument, nullptr, 'v'},
    {"help", no_argument, nullptr, 'h'},
    {"stub", required_argument, nullptr, option_stub},
    {"comment", required_argument, nullptr, option_comment},
    {"comment-file", required_argument, nullptr, option_comment_file},
    {"launch", required_argument, nullptr, option_launch},
    {"password", required_argument, nullptr, option_password},
    {"protection-byte", required_argument, nullptr, option_protection_byte},
    {"level", required_argument, nullptr, option_level},
    {"time-source", required_argument, nullptr, option_time_source},
    {"exclude", required_argument, nullptr, option_exclude},
    {nullptr, 0, nullptr, 0},
};

level level_of(const std::string& text) {
  if (text == "fast") return level::fast;
  if (text == "normal") return level::normal;
  if (text == "max") return level::max;
  throw usage_error{"--level takes fast, normal or max, not '" + text + "'"};
}

int protection_byte_of(const std::string& text) {
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 0);
  if (text.empty() || *end != 0 || value < 0 || value > 255) {
    throw usage_error{"--protection-byte takes a number from 1 to 255, not '" + text + "'"};
  }
  return static_cast<int>(value);
}

std::string read_comment_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw refusal("cannot read the comment file '" + path + "'");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw refusal("cannot read the comment file '" + path + "'");
  return text.str();
}

// --time-source wins over SOURCE_DATE_EPOCH; "mtime" keeps the files' times.
std::optional<uint64_t> fixed_time_of(const std::optional<std::string>& time_source) {
  if (time_source) {
    if (*time_source == "mtime") return std::nullopt;
    if (time_source->compare(0, 6, "fixed=") == 0) {
      if (std::optional<uint64_t> time = parse_iso8601(time_source->substr(6))) return time;
      throw usage_error{"--time-source fixed= takes an ISO 8601 time such as 2024-05-01T12:00:00Z, not '" +
                        time_source->substr(6) + "'"};
    }
    throw usage_error{"--time-source takes mtime or fixed=ISO8601, not '" + *time_source + "'"};
  }
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (!epoch || !*epoch) return std::nullopt;
  if (std::optional<uint64_t> time = parse_epoch_seconds(epoch)) return time;
  throw usage_error{std::string("SOURCE_DATE_EPOCH must be whole seconds since 1970, not '") + epoch + "'"};
}

maker_options parse(int argc, char** argv) {
  maker_options options;
  std::string base;
  std::optional<std::string> comment, comment_file, time_source;
  // The leading '-' hands PATHs over in order, between the options, so that
  // each -C applies to the PATHs after it.
  optind = 0;
  opterr = 0;
  int code;
  while ((code = getopt_long(argc, argv, "-:o:C:vh", long_options, nullptr)) != -1) {
    std::string value = optarg ? optarg : "";
    switch (code) {
      case 1:
        if (value.empty()) throw usage_error{"an empty PATH"};
        options.inputs.push_back({base, value});
        break;
      case 'o': options.output = value; break;
      case 'C': base = value; break;
      case 'v': options.verbose = true; break;
      case 'h': throw help_request{};
      case option_stub: options.stub = value; break;
      case option_comment: comment = value; break;
      case option_comment_file: comment_file = value; break;
      case option_launch: options.launch = value; break;
      case option_password: options.password = value; break;
      case option_protection_byte: options.protection_byte = protection_byte_of(value); break;
      case option_level: options.effort = level_of(value); break;
      case option_time_source: time_source = value; break;
      case option_exclude: options.excludes.push_back(value); break;
      case ':': throw usage_error{std::string(argv[optind - 1]) + " needs a value"};
      default: throw usage_error{std::string("unknown option ") + argv[optind - 1]};
    }
  }
  for (; optind < argc; ++optind) options.inputs.push_back({base, argv[optind]});  // after "--"
  if (options.output.empty()) throw usage_error{"-o OUT.exe is required"};
  if (options.inputs.empty()) throw usage_error{"name at least one file or folder to pack"};
  if (comment && comment_file) throw usage_error{"--comment and --comment-file exclude each other"};
  if (comment) options.comment = *comment;
  if (comment_file) options.comment = read_comment_file(*comment_file);
  options.fixed_time = fixed_time_of(time_source);
  options.progress = isatty(STDERR_FILENO);
  return options;
}

}  // namespace

int run_pack_command(int argc, char** argv) {
  try {
    maker_options options = parse(argc, argv);
    maker_result result = make_self_extractor(options);
    if (options.verbose) {
      std::printf("%zu folders, %zu files, %llu bytes in, %llu bytes out\n", result.folders, result.files,
                  static_cast<unsigned long long>(result.bytes_in), static_cast<unsigned long long>(result.bytes_out));
    }
    return 0;
  } catch (const help_request&) {
    std::fputs(usage, stdout);
    return 0;
  } catch (const usage_error& error) {
    std::fprintf(stderr, "quorvex pack: %s\n(quorvex pack --help shows the options)\n", error.text.c_str());
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "quorvex pack: %s\n", error.what());
    return 1;
  }
}
