#include "pack/maker.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "pack/archive_names.h"
#include "pack/payload.h"
#include "pack/progress_bar.h"
#include "pack/refusal.h"
#include "pack/staged_output.h"

#ifndef QUORVEX_BUILT_STUB
#define QUORVEX_BUILT_STUB ""
#endif
#ifndef QUORVEX_PLACEHOLDER_STUB
#define QUORVEX_PLACEHOLDER_STUB ""
#endif

namespace quorvex::pack {

namespace {

constexpr uint64_t file_limit = uint64_t{1} << 31;
const char placeholder_mark[] = "QUORVEX PLACEHOLDER STUB";

bool exists(const std::string& path) { return !path.empty() && access(path.c_str(), F_OK) == 0; }

std::string own_folder() {
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  std::string text(path, static_cast<size_t>(length));
  return text.substr(0, text.rfind('/'));
}

// The whole of a file; throws refusal naming `what` when it cannot be read.
std::vector<uint8_t> read_whole(const std::string& path, uint64_t limit) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw refusal("cannot read '" + path + "': " + std::strerror(errno));
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  for (;;) {
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      int error = errno;
      close(fd);
      throw refusal("cannot read '" + path + "': " + std::strerror(error));
    }
    if (got == 0) break;
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (bytes.size() >= limit) {
      close(fd);
      throw refusal("cannot store '" + path + "': it has grown to 2^31 bytes or more");
    }
  }
  close(fd);
  return bytes;
}

std::vector<uint8_t> read_stub(const stub_choice& stub) {
  std::vector<uint8_t> image = read_whole(stub.path, file_limit);
  if (image.size() != stub_size) {
    throw refusal("the stub '" + stub.path + "' has " + std::to_string(image.size()) +
                  " bytes; a stub must have exactly 25600");
  }
  return image;
}

std::string password_bytes(const std::string& utf8) {
  if (utf8.empty()) throw refusal("the password is empty");
  std::optional<std::string> converted = cp932_text(utf8);
  if (!converted) {
    throw refusal("the password has a character without a code page 932 form: " + unrepresentable_part(utf8));
  }
  // An empty password has the check value 0 as well, and would pass the
  // extractor's check with no key to unscramble with.
  if (crc16(*converted) == 0) throw refusal("this password's check value is 0, like an empty one's; choose another");
  return *converted;
}

uint8_t protection_of(const maker_options& options) {
  if (!options.password) {
    if (options.protection_byte) throw refusal("--protection-byte needs --password");
    return 0;
  }
  int value = options.protection_byte.value_or(1);
  if (value == 0) throw refusal("--protection-byte 0 would leave the archive unprotected; give 1 to 255");
  if (value < 0 || value > 255) throw refusal("--protection-byte takes a number from 1 to 255");
  return static_cast<uint8_t>(value);
}

// The launch target as the archive names it; it must name an entry.
std::string launch_target(const std::string& utf8, const std::vector<tree_entry>& entries) {
  if (utf8.empty()) return "";
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at = 0; at <= utf8.size(); ++at) {
    if (at == utf8.size() || utf8[at] == '/' || utf8[at] == '\\') {
      if (at > start) parts.push_back(archive_component(utf8.substr(start, at - start), utf8));
      start = at + 1;
    }
  }
  std::string name;
  for (const std::string& part : parts) name += (name.empty() ? "" : "\\") + part;
  for (const tree_entry& entry : entries) {
    if (entry.name == name) return name;
  }
  for (const tree_entry& entry : entries) {
    if (windows_key(entry.name) == windows_key(name)) {
      throw refusal("--launch '" + utf8 + "' is not in the archive (did you mean '" + entry.shown + "'?)");
    }
  }
  throw refusal("--launch '" + utf8 + "' is not in the archive");
}

}  // namespace

stub_choice find_stub(const std::string& given) {
  if (!given.empty()) return {given, false};
  std::string here = own_folder();
  for (const std::string& path : {here + "/quorvex-stub.exe", here + "/../win32/quorvex-stub.exe",
                                  std::string(QUORVEX_BUILT_STUB)}) {
    if (exists(path)) return {path, false};
  }
  for (const std::string& path : {here + "/placeholder-stub.bin", std::string(QUORVEX_PLACEHOLDER_STUB)}) {
    if (exists(path)) return {path, true};
  }
  throw refusal("no stub found: build the win32 preset, or give one with --stub");
}

uint64_t archive_file_size(const header_fields& header, uint64_t payload_size) {
  uint64_t header_size = 4 + header.comment.size() + 1 + header.launch_target.size() + 1 + 1 +
                         (header.protection_byte ? 2 : 0);
  uint64_t blocks = (payload_size + block_data_size - 1) / block_data_size;
  return stub_size + header_size + payload_size + 2 * blocks;
}

void check_archive_file_size(const header_fields& header, uint64_t payload_size) {
  uint64_t size = archive_file_size(header, payload_size);
  if (size >= file_limit) {
    throw refusal("the self-extracting file would have " + std::to_string(size) +
                  " bytes; it must stay below 2^31 (2147483648)");
  }
}

maker_result make_self_extractor(const maker_options& options) {
  if (options.inputs.empty()) throw refusal("nothing to pack: name at least one file or folder");
  stub_choice stub = find_stub(options.stub);
  std::vector<uint8_t> image = read_stub(stub);
  if (!stub.placeholder) {
    stub.placeholder = std::memcmp(image.data(), placeholder_mark, sizeof placeholder_mark - 1) == 0;
  }

  header_fields header;
  header.comment = comment_text(options.comment);
  header.protection_byte = protection_of(options);
  if (options.password) header.password = password_bytes(*options.password);

  auto warn = [](const std::string& text) { std::fprintf(stderr, "quorvex pack: warning: %s\n", text.c_str()); };
  if (options.verbose) std::printf("stub: %s%s\n", stub.path.c_str(), stub.placeholder ? " (placeholder)" : "");
  if (stub.placeholder) warn("the stub '" + stub.path + "' is the build's placeholder: the output will not run");

  staged_output output(options.output);
  walk_settings settings;
  settings.excludes = options.excludes;
  settings.fixed_time = options.fixed_time;
  settings.leave_out.push_back(output.identity());
  if (std::optional<file_identity> existing = identity_of(options.output)) settings.leave_out.push_back(*existing);
  settings.warn = warn;
  std::vector<tree_entry> entries = walk_inputs(options.inputs, settings);
  if (entries.empty()) throw refusal("nothing to pack: the inputs hold no files or folders");
  header.launch_target = launch_target(options.launch, entries);

  maker_result result;
  for (const tree_entry& entry : entries) result.bytes_in += entry.size;
  progress_bar bar(result.bytes_in, options.progress);
  payload_writer payload(options.effort);
  for (const tree_entry& entry : entries) {
    if (options.verbose) bar.print(stdout, entry.shown);
    if (entry.is_folder) {
      payload.add_folder(entry.name);
      ++result.folders;
      continue;
    }
    bar.begin(entry.shown);
    std::vector<uint8_t> data = read_whole(entry.source, file_limit);
    payload.add_file(entry.name, entry.times, data);
    bar.advance(data.size());
    ++result.files;
    check_archive_file_size(header, payload.bytes().size());
  }
  bar.finish();

  std::vector<uint8_t> bytes = payload.take();
  check_archive_file_size(header, bytes.size());
  result.bytes_out = archive_file_size(header, bytes.size());
  output.write(image);
  std::vector<uint8_t> blocks = make_block_stream(bytes, header.password);
  bytes = {};
  output.write(make_header(header, blocks.size()));
  output.write(blocks);
  output.commit();
  return result;
}

}  // namespace quorvex::pack
