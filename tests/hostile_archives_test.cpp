// Archives that strangers made: each hostile one ends with its message and
// exit code, keeps what was finished before it, and puts nothing outside the
// destination folder. The whole read path runs: opening, header, password
// check, extraction.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "app/archive_opening.h"
#include "archive/archive.h"
#include "extract/extract.h"
#include "pack/container.h"
#include "pack/payload.h"
#include "support/archive_fixture.h"
#include "support/cp932.h"
#include "support/extraction_fixture.h"
#include "support/first_tree_codes.h"
#include "support/scripted_front.h"
#include "support/temp_dir.h"

namespace {

using quorvex::pack::header_fields;
using quorvex::pack::payload_writer;
using tree = std::map<std::string, std::string>;
using bytes = std::vector<uint8_t>;

constexpr int returned = -1;  // extract_all came back: a complete run

void put_u32(bytes& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

bytes raw(const std::string& text) { return {text.begin(), text.end()}; }

bytes joined(bytes a, const bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A whole file from header bytes (after total_size) and block stream bytes,
// with the right total_size.
bytes file_of(const bytes& header_rest, const bytes& stream) {
  bytes file = fake_stub_image();
  put_u32(file, static_cast<uint32_t>(file.size() + 4 + header_rest.size() + stream.size()));
  return joined(joined(file, header_rest), stream);
}

bytes unprotected_header() { return {0, 0, 0}; }  // no comment, no launch target, not protected

bytes file_of_payload(const bytes& payload) {
  return file_of(unprotected_header(), quorvex::pack::make_block_stream(payload, ""));
}

// A first record that the extraction finishes before the hostile part.
payload_writer starting_with_ok() {
  payload_writer w;
  w.add_coded_file("ok.txt", {}, 1, coded_one_a().coded);
  return w;
}

// Exactly one full block: "kept.txt", a folder "dd", then "." records (the
// destination itself) up to 4096 bytes, so that whatever follows is a block
// of its own.
bytes one_full_block() {
  payload_writer w;
  w.add_coded_file("kept.txt", {}, 1, coded_one_a().coded);
  w.add_folder("dd");
  bytes payload = w.take();
  while (payload.size() < 4096) payload.insert(payload.end(), {'.', 0});
  EXPECT_EQ(payload.size(), 4096u);
  return payload;
}

bytes with_last_block(const bytes& last) {
  return file_of(unprotected_header(), joined(quorvex::pack::make_block_stream(one_full_block(), ""), last));
}

const char* run_archive;
const char* run_destination;

class HostileArchives : public ::testing::Test {
 protected:
  void SetUp() override {
    use_scripted_front();
    std::filesystem::create_directories(out());
    archive_ = logic_path(dir_ / "archive.exe");
    destination_ = logic_path(out()) + "\\";
  }

  std::filesystem::path out() const { return dir_ / "out"; }

  // The stub's order: open, password check (when protected), extraction.
  int run(const bytes& file) {
    write_file(dir_ / "archive.exe", file);
    run_archive = archive_.c_str();
    run_destination = destination_.c_str();
    return run_until_exit([] {
      if (open_archive(run_archive)) {
        ADD_FAILURE() << "taken for a bare stub";
        return;
      }
      if (check_password()) extract_all(run_destination);
    });
  }

  // Only the archive and the destination stand in the test's folder.
  void expect_nothing_outside() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"archive.exe", "out"}));
  }

  temp_dir dir_;
  std::string archive_, destination_;
};

struct hostile_case {
  const char* what;
  bytes file;
  int exit_code;
  std::string message;  // UTF-8 text, "" for none; the detail follows as bytes
  std::string detail;
  tree left;            // what the destination holds afterwards
};

const std::string read_failure = "ファイルの読み込みに失敗しました。";
const std::string damaged = "ファイルが壊れています。";
const std::string unsafe_name = "ファイル名が不正です:";

std::vector<hostile_case> hostile_cases() {
  std::vector<hostile_case> cases;
  {
    payload_writer w = starting_with_ok();
    w.add_name("..\\evil.txt");
    w.add_file_fields({}, 1);
    w.add_bytes(coded_one_a().coded);
    cases.push_back({"a plain name that climbs out", file_of_payload(w.take()), 1, unsafe_name, "..\\evil.txt",
                     {{"ok.txt", "A"}}});
  }
  {
    payload_writer w = starting_with_ok();
    w.add_folder("");                        // "." : the destination itself
    w.add_prefix_name(0, ".\\evil.txt");     // takes "." whole: "..\evil.txt"
    w.add_file_fields({}, 1);
    w.add_bytes(coded_one_a().coded);
    cases.push_back({"a \"..\" that the prefix form assembles", file_of_payload(w.take()), 1, unsafe_name,
                     "..\\evil.txt", {{"ok.txt", "A"}}});
  }
  {
    payload_writer w;
    w.add_coded_file("ab.txt", {}, 1, coded_one_a().coded);
    w.add_prefix_name(255, "c.txt");  // 257 bytes asked, 6 there: all of them
    w.add_file_fields({}, 5);
    w.add_bytes(coded_five_a().coded);
    cases.push_back({"a prefix count past the previous name", file_of_payload(w.take()), returned, "", "",
                     {{"ab.txt", "A"}, {"ab.txtc.txt", "aaaaa"}}});
  }
  for (uint32_t size : {0x80000000u, 0xFFFFFFFFu}) {
    payload_writer w;
    w.add_coded_file("huge.bin", {}, size, {});  // negative as a signed size: nothing decoded
    w.add_coded_file("after.txt", {}, 1, coded_one_a().coded);
    cases.push_back({"an expanded_size of 2^31 or more", file_of_payload(w.take()), returned, "", "",
                     {{"huge.bin", ""}, {"after.txt", "A"}}});
  }
  {
    first_tree_codes before;
    before.symbol(0x61);  // one literal, then a match of 2 at distance 2
    before.symbol(256);
    before.symbol(0);
    before.extra(1, 4);
    payload_writer w = starting_with_ok();
    w.add_coded_file("bad.bin", {}, 3, before.bytes);
    cases.push_back({"a match that reaches before the entry's start", file_of_payload(w.take()), 1, damaged, "",
                     {{"ok.txt", "A"}}});
  }
  {
    payload_writer w = starting_with_ok();
    w.add_bytes(raw("cut-short"));
    cases.push_back({"a stream that ends in a name", file_of_payload(w.take()), 1, read_failure, "",
                     {{"ok.txt", "A"}}});
  }
  {
    payload_writer w = starting_with_ok();
    w.add_name("cut.txt");
    w.add_bytes(bytes(27, 0x11));  // one byte short of the fixed fields
    cases.push_back({"a stream that ends in the fixed fields", file_of_payload(w.take()), 1, read_failure, "",
                     {{"ok.txt", "A"}}});
  }
  {
    payload_writer w = starting_with_ok();
    bytes coded = coded_five_a().coded;
    coded.resize(2);
    w.add_coded_file("cut.txt", {}, 5, coded);
    cases.push_back({"a stream that ends in coded data", file_of_payload(w.take()), 1, read_failure, "",
                     {{"ok.txt", "A"}}});
  }
  const tree after_full_block = {{"kept.txt", "A"}, {"dd/", ""}};
  cases.push_back({"a last block of 1 byte", with_last_block({0x41}), 1, damaged, "", after_full_block});
  cases.push_back({"a last block of 1 zero byte", with_last_block({0x00}), 1, read_failure, "", after_full_block});
  cases.push_back({"a last block of 2 bytes", with_last_block({0x12, 0x34}), 1, damaged, "", after_full_block});
  cases.push_back({"a last block of 2 zero bytes", with_last_block({0x00, 0x00}), 1, read_failure, "",
                   after_full_block});
  cases.push_back({"a comment without its zero byte", file_of(raw("no end"), {}), 1, read_failure, "", {}});
  cases.push_back({"a launch target without its zero byte", file_of(raw(std::string("c\0launch", 8)), {}), 1,
                   read_failure, "", {}});
  cases.push_back({"a header without its protection byte", file_of(raw(std::string("c\0l\0", 4)), {}), 1,
                   read_failure, "", {}});
  cases.push_back({"a check word cut in half", file_of(raw(std::string("c\0l\0\x01\x8e", 6)), {}), 1,
                   read_failure, "", {}});
  return cases;
}

TEST_F(HostileArchives, EachEndsWithItsMessageAndExitCodeAndNothingOutside) {
  for (const hostile_case& c : hostile_cases()) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(out());
    std::filesystem::create_directories(out());
    scripted = scripted_front_state{};
    EXPECT_EQ(run(c.file), c.exit_code);
    EXPECT_EQ(scripted.messages.size(), c.message.empty() ? 0u : 1u);
    if (!c.message.empty() && !scripted.messages.empty()) {
      EXPECT_EQ(scripted.messages[0].text, cp932(c.message) + c.detail);
      EXPECT_EQ(scripted.messages[0].flags, 0x10u);
    }
    EXPECT_EQ(tree_of(out()), c.left);
    EXPECT_FALSE(output_file.is_open);
    EXPECT_FALSE(archive_file.is_open);
    expect_nothing_outside();
  }
}

// A password whose CRC-16 is 0: the check value is then the CRC of no text
// at all, yet an empty text has no key byte to de-scramble with.
TEST_F(HostileArchives, EmptyPasswordIsRefusedWhenThePasswordsCheckValueIsZero) {
  std::string key = "key";
  uint16_t crc = quorvex::pack::crc16(key);
  key += static_cast<char>(crc >> 8);
  key += static_cast<char>(crc & 0xFF);
  ASSERT_EQ(quorvex::pack::crc16(key), 0);
  ASSERT_EQ(key.find('\0'), std::string::npos);
  header_fields header;
  header.protection_byte = 1;
  header.password = key;
  payload_writer w;
  w.add_coded_file("secret.txt", {}, 1, coded_one_a().coded);
  bytes file = quorvex::pack::make_archive_file(fake_stub_image(), header, w.take());

  scripted.typed_password = "";
  EXPECT_EQ(run(file), returned);
  ASSERT_EQ(scripted.messages.size(), 1u);
  EXPECT_EQ(scripted.messages[0].text, cp932("パスワードが違います。"));
  EXPECT_EQ(scripted.messages[0].flags, 0x30u);
  EXPECT_TRUE(tree_of(out()).empty());
  expect_nothing_outside();

  scripted = scripted_front_state{};
  scripted.typed_password = key;
  EXPECT_EQ(run(file), returned);
  EXPECT_TRUE(scripted.messages.empty());
  EXPECT_EQ(tree_of(out()), (tree{{"secret.txt", "A"}}));
}

// The format sets no limit on the comment; a large one is shown whole and
// the extraction goes on behind it.
TEST_F(HostileArchives, HugeCommentIsShownWholeAndTheArchiveStillExtracts) {
  std::string comment(1 << 20, 'c');
  for (size_t i = 0; i < comment.size(); i += 4096) comment[i] = static_cast<char>(0x81 + i / 4096 % 30);
  bytes header_rest = joined(joined(raw(comment), {0}), {0, 0});
  payload_writer w;
  w.add_coded_file("after.txt", {}, 5, coded_five_a().coded);
  EXPECT_EQ(run(file_of(header_rest, quorvex::pack::make_block_stream(w.take(), ""))), returned);
  EXPECT_EQ(scripted.comment, comment);
  EXPECT_TRUE(scripted.messages.empty());
  EXPECT_EQ(tree_of(out()), (tree{{"after.txt", "aaaaa"}}));
  expect_nothing_outside();
}

}  // namespace
