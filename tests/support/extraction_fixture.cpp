#include "support/extraction_fixture.h"

#include <gtest/gtest.h>

#include "app/archive_opening.h"
#include "archive/archive.h"
#include "extract/extract.h"
#include "platform/posix/posix_files.h"
#include "support/archive_fixture.h"
#include "support/scripted_front.h"

namespace {

// UTF-8 path with '/' -> code page 932 with backslashes.
std::string logic_text(const std::filesystem::path& path) {
  byte_string text = {};
  EXPECT_TRUE(cp932_from_utf8(path.c_str(), &text)) << path;
  std::string out = text_c_str(&text);
  text_release(&text);
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

const char* archive_path_for_run;
const char* destination_for_run;

}  // namespace

extraction_fixture::extraction_fixture() {
  use_scripted_front();
  archive_text_ = logic_text(dir_ / "archive.exe");
  out_text_ = logic_text(out()) + "\\";
}

std::string extraction_fixture::out_text() const { return out_text_; }

int extraction_fixture::extract(const std::vector<uint8_t>& payload, const file_layer* files,
                                 const user_front* front) {
  write_file(dir_ / "archive.exe", archive_file_bytes(header, payload));
  install_platform(files ? files : &posix_file_layer, front ? front : &scripted_user_front);
  archive_path_for_run = archive_text_.c_str();
  destination_for_run = out_text_.c_str();
  return run_until_exit([] {
    if (open_archive(archive_path_for_run)) {
      ADD_FAILURE() << "the archive was taken for a bare stub";
      return;
    }
    // The stub's order: the password check (when protected), then the run.
    if (check_password()) extract_all(destination_for_run);
  });
}

std::map<std::string, std::string> tree_of(const std::filesystem::path& folder) {
  std::map<std::string, std::string> tree;
  if (!std::filesystem::exists(folder)) return tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    std::string name = std::filesystem::relative(entry.path(), folder).string();
    if (entry.is_directory()) {
      tree[name + "/"] = "";
    } else {
      std::vector<uint8_t> bytes = read_file(entry.path());
      tree[name] = std::string(bytes.begin(), bytes.end());
    }
  }
  return tree;
}

uint64_t filetime_of(int64_t unix_seconds, int64_t nanoseconds) {
  return static_cast<uint64_t>((unix_seconds + 11644473600LL) * 10000000LL + nanoseconds / 100);
}

uint64_t filetime_of(const struct timespec& time) { return filetime_of(time.tv_sec, time.tv_nsec); }

coded_sample coded_one_a() { return {{0xAE, 0x01}, "A"}; }
coded_sample coded_five_a() { return {{0xA6, 0x57, 0xA8, 0x02}, "aaaaa"}; }
