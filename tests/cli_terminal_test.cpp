// The portable tool on a terminal: the password typed without echo, the
// overwrite question, the progress line, and Ctrl-C as Cancel.
#include <gtest/gtest.h>

#include "support/archive_fixture.h"
#include "support/cli_run.h"
#include "support/extraction_fixture.h"
#include "support/temp_dir.h"

namespace {

using quorvex::pack::header_fields;
using quorvex::pack::payload_writer;

class cli_terminal : public ::testing::Test {
 protected:
  std::string write_archive(const std::vector<uint8_t>& payload, const header_fields& header = {}) {
    write_file(dir / "archive.exe", archive_file_bytes(header, payload));
    return (dir / "archive.exe").string();
  }
  std::string out() const { return (dir / "out").string(); }
  temp_dir dir;
};

std::vector<uint8_t> two_files() {
  payload_writer writer;
  writer.add_coded_file("one.txt", {}, 1, coded_one_a().coded);
  writer.add_coded_file("two.txt", {}, 5, coded_five_a().coded);
  return writer.take();
}

header_fields protected_header() {
  header_fields header;
  header.protection_byte = 1;
  header.password = "right-one";
  return header;
}

TEST_F(cli_terminal, the_password_is_typed_without_echo_and_may_be_typed_again) {
  std::string archive = write_archive(two_files(), protected_header());
  cli_result r = run_cli_on_terminal({"test", archive}, {{"Password for " + archive + ": ", "wrong-one\n"},
                                                         {"wrong password", ""},
                                                         {"Password for " + archive + ": ", "right-one\n"}});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("sound"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("wrong-one"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("right-one"), std::string::npos) << r.out;
}

TEST_F(cli_terminal, no_password_ends_with_code_3_and_ctrl_c_at_the_prompt_with_code_7) {
  std::string archive = write_archive(two_files(), protected_header());
  EXPECT_EQ(run_cli_on_terminal({"test", archive}, {{"Password for", "\x04"}}).exit_code, 3);
  EXPECT_EQ(run_cli_on_terminal({"test", archive}, {{"Password for", "\x03"}}).exit_code, 7);
  cli_result thrice = run_cli_on_terminal(
      {"test", archive}, {{"Password for", "a\n"}, {"Password for", "b\n"}, {"Password for", "c\n"}});
  EXPECT_EQ(thrice.exit_code, 3) << thrice.out;
}

struct answer_case {
  std::string keys;
  int exit_code;
  std::string one, two;  // the files afterwards
};

TEST_F(cli_terminal, the_overwrite_question_takes_yes_no_cancel_and_ctrl_c) {
  const answer_case cases[] = {
      {"y\n", 0, "A", "aaaaa"},
      {"n\n", 0, "old", "aaaaa"},
      {"c\n", 7, "old", ""},
      {"\x03", 7, "old", ""},
  };
  std::string archive = write_archive(two_files());
  for (const answer_case& c : cases) {
    std::filesystem::remove_all(dir / "out");
    write_file(dir / "out" / "one.txt", std::string("old"));
    cli_result r = run_cli_on_terminal({"extract", archive, "-d", out()},
                                       {{"one.txt already exists. Overwrite it? [y]es, [n]o, [c]ancel: ", c.keys}});
    EXPECT_EQ(r.exit_code, c.exit_code) << r.out;
    auto files = tree_of(dir / "out");
    EXPECT_EQ(files["one.txt"], c.one) << c.keys;
    EXPECT_EQ(files["two.txt"], c.two) << c.keys;
  }
}

// Data that decodes slowly enough for a Ctrl-C to land inside it.
std::vector<uint8_t> noisy_bytes(size_t size) {
  std::vector<uint8_t> data(size);
  uint32_t state = 12345;
  for (uint8_t& byte : data) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  return data;
}

TEST_F(cli_terminal, ctrl_c_while_a_file_is_written_deletes_it_and_keeps_the_files_before) {
  payload_writer writer(quorvex::pack::level::fast);
  writer.add_coded_file("first.txt", {}, 1, coded_one_a().coded);
  writer.add_file("big.bin", {}, noisy_bytes(24 << 20));
  writer.add_coded_file("last.txt", {}, 1, coded_one_a().coded);
  std::string archive = write_archive(writer.take());

  // The progress line names the file and the bytes written so far.
  cli_result r = run_cli_on_terminal({"extract", archive, "-d", out()}, {{"written  big.bin", "\x03"}});
  EXPECT_EQ(r.exit_code, 7) << r.out;
  EXPECT_NE(r.out.find("%"), std::string::npos);
  EXPECT_EQ(tree_of(dir / "out"), (std::map<std::string, std::string>{{"first.txt", "A"}}));
}

}  // namespace
