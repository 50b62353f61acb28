// Names that could reach outside the destination folder, or paths too long
// for the file calls, are refused before anything is made for them.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/archive.h"
#include "extract/name_check.h"
#include "platform/posix/posix_files.h"
#include "support/cp932.h"
#include "support/extraction_fixture.h"
#include "support/scripted_front.h"
#include "support/temp_dir.h"

namespace {

using quorvex::pack::file_times;
using quorvex::pack::payload_writer;
using tree = std::map<std::string, std::string>;

const std::string hyo = cp932("表");

// Names refused wherever they stand.
const std::vector<std::string> hostile_names = {
    "..\\evil.txt",
    "a\\..\\..\\evil.txt",
    "a\\..",
    "..",
    "...\\x",
    ". .\\x",
    "a\\ \\b",
    "a\\.\\b",
    "..\\.",
    "\\evil.txt",
    "\\\\server\\share\\evil.txt",
    "/evil.txt",
    "a/../../evil.txt",
    "C:evil.txt",
    "C:\\evil.txt",
    "file.txt:stream",
    "tab\there",
    "new\nline",
    "a\\\\b",
    "a\\",
    "",
    "CON",
    "con.txt",
    "Lpt9.log",
    "aux\\x",
    "a\\NUL",
    "nul.tar.gz",
    "COM1 .txt",
    "prn ",
    hyo + "\\..\\x",
};

TEST(unsafe_names, every_hostile_kind_is_refused) {
  use_scripted_front();
  for (const std::string& name : hostile_names) {
    EXPECT_FALSE(name_is_safe(name.c_str())) << utf8(name);
  }
}

TEST(unsafe_names, names_that_only_look_alike_are_accepted) {
  use_scripted_front();
  const std::string accepted[] = {
      "a\\.", ".", "..x", ".x", "x..", "a.b.c", "CONSOLE.txt", "COM10", "COM0", "LPT", "com", "ICON.png",
      "a\\b\\c.txt", hyo + ".", hyo + "\\" + hyo, "a b\\c d", "x\\" + hyo + "..",
  };
  for (const std::string& name : accepted) EXPECT_TRUE(name_is_safe(name.c_str())) << utf8(name);
}

// The fields and coded data that follow a name, unless it names a folder.
void add_rest_of_record(payload_writer& w, const std::string& name) {
  if (quorvex::pack::names_folder(name)) return;
  w.add_file_fields({}, 1);
  w.add_bytes(coded_one_a().coded);
}

std::vector<uint8_t> plain_record(const std::string& name) {
  std::vector<uint8_t> bytes(name.begin(), name.end());
  bytes.push_back(0);
  return bytes;
}

// The run ends as for a damaged archive, naming the name; nothing appears
// outside the destination, and nothing inside it for the refused entry.
void expect_refused(extraction_fixture& run, int code, const std::string& name, const tree& expected_out) {
  SCOPED_TRACE(utf8(name));
  EXPECT_EQ(code, 1);
  ASSERT_EQ(scripted.messages.size(), 1u);
  EXPECT_EQ(scripted.messages[0].id, message_unsafe_name);
  EXPECT_EQ(scripted.messages[0].text, cp932("ファイル名が不正です:") + name);
  EXPECT_EQ(scripted.messages[0].flags, 0x10u);
  std::vector<std::string> beside;
  for (const auto& entry : std::filesystem::directory_iterator(run.root())) {
    beside.push_back(entry.path().filename().string());
  }
  std::sort(beside.begin(), beside.end());
  EXPECT_EQ(beside, expected_out.empty() ? std::vector<std::string>{"archive.exe"}
                                         : (std::vector<std::string>{"archive.exe", "out"}));
  EXPECT_EQ(tree_of(run.out()), expected_out);
}

TEST(unsafe_names, are_refused_in_the_plain_form_and_the_entries_before_stay) {
  for (const std::string& name : hostile_names) {
    extraction_fixture run;
    payload_writer writer;
    writer.add_coded_file("before.txt", {}, 1, coded_one_a().coded);
    writer.add_bytes(plain_record(name));
    add_rest_of_record(writer, name);
    writer.add_coded_file("after.txt", {}, 1, coded_one_a().coded);
    expect_refused(run, run.extract(writer.bytes()), name, {{"before.txt", "A"}});
  }
}

TEST(unsafe_names, are_refused_in_the_prefix_form) {
  for (const std::string& name : hostile_names) {
    extraction_fixture run;
    payload_writer writer;
    writer.add_prefix_name(7, name);  // the first record: nothing to take
    add_rest_of_record(writer, name);
    writer.add_coded_file("after.txt", {}, 1, coded_one_a().coded);
    expect_refused(run, run.extract(writer.bytes()), name, {});
  }
}

struct assembled_case {
  std::string previous;  // a sound name, written before
  uint8_t count;
  std::string rest;
  std::string resolved;
  tree made_before;
};

TEST(unsafe_names, are_refused_when_the_prefix_form_assembles_them_from_a_sound_previous_name) {
  const assembled_case cases[] = {
      {"..x", 0, "\\evil.txt", "..\\evil.txt", {{"..x", "A"}}},
      {"a\\..b", 2, "\\c", "a\\..\\c", {{"a/", ""}, {"a/..b", "A"}}},
      {"sub\\.", 3, ".\\x", "sub\\..\\x", {{"sub/", ""}}},
      {"sub\\.", 3, "\\x", "sub\\.\\x", {{"sub/", ""}}},
      {"CONx.txt", 1, ".txt", "CON.txt", {{"CONx.txt", "A"}}},
      {"Cx", 0, ":\\evil", "Cx:\\evil", {{"Cx", "A"}}},
      {hyo + "\\..x", 3, "\\evil", hyo + "\\..\\evil", {{"表/", ""}, {"表/..x", "A"}}},
  };
  for (const assembled_case& c : cases) {
    extraction_fixture run;
    payload_writer writer;
    writer.add_name(c.previous);
    add_rest_of_record(writer, c.previous);
    writer.add_prefix_name(c.count, c.rest);
    ASSERT_EQ(writer.previous_name(), c.resolved);
    add_rest_of_record(writer, c.resolved);
    expect_refused(run, run.extract(writer.bytes()), c.resolved, c.made_before);
  }
}

TEST(long_paths, a_full_path_of_259_bytes_is_made_and_one_of_260_is_refused_before_anything_is_made) {
  extraction_fixture run;
  const size_t room = longest_full_path - run.out_text().size();  // name bytes that fit
  ASSERT_GT(room, 120u);
  const std::string folder(100, 'd');
  const std::string fits = folder + "\\" + std::string(room - folder.size() - 1, 'f');
  const std::string too_long = folder + "\\" + std::string(room - folder.size(), 'g');

  payload_writer writer;
  writer.add_coded_file(fits, {}, 1, coded_one_a().coded);
  writer.add_coded_file("z\\" + too_long.substr(2), {}, 1, coded_one_a().coded);
  const std::string refused_path = run.out_text() + "z\\" + too_long.substr(2);
  EXPECT_EQ(run.extract(writer.bytes()), 1);
  ASSERT_EQ(scripted.messages.size(), 1u);
  EXPECT_EQ(scripted.messages[0].id, message_path_too_long);
  EXPECT_EQ(scripted.messages[0].text,
            cp932("パス名が長すぎます:") + refused_path.substr(0, longest_full_path) + "...");
  EXPECT_EQ(scripted.messages[0].flags, 0x10u);
  EXPECT_EQ(tree_of(run.out()), (tree{{folder + "/", ""}, {folder + "/" + fits.substr(folder.size() + 1), "A"}}));
}

TEST(long_paths, the_message_cuts_before_a_double_byte_character_that_does_not_fit) {
  extraction_fixture run;
  const size_t room = longest_full_path - run.out_text().size();
  // The lead byte of 表 is the 259th byte of the full path, its trail byte the 260th.
  const std::string name = std::string(room - 1, 'x') + hyo + "y";
  payload_writer writer;
  writer.add_name("d\\.");
  writer.add_bytes(plain_record(name));
  writer.add_file_fields({}, 0);
  EXPECT_EQ(run.extract(writer.bytes()), 1);
  ASSERT_EQ(scripted.messages.size(), 1u);
  EXPECT_EQ(scripted.messages[0].text,
            cp932("パス名が長すぎます:") + run.out_text() + std::string(room - 1, 'x') + "...");
  EXPECT_EQ(tree_of(run.out()), (tree{{"d/", ""}}));
}

TEST(long_paths, a_folder_entry_too_long_is_refused_and_a_huge_name_is_not_read_to_its_end) {
  extraction_fixture run;
  payload_writer writer;
  writer.add_name(std::string(100000, 'n') + "\\.");
  EXPECT_EQ(run.extract(writer.bytes()), 1);
  ASSERT_EQ(scripted.messages.size(), 1u);
  EXPECT_EQ(scripted.messages[0].id, message_path_too_long);
  EXPECT_LT(archive_stream.stream_position, 4096) << "reading stopped at the first byte too many";
  EXPECT_TRUE(tree_of(run.out()).empty());
}

TEST(long_paths, a_prefix_that_alone_is_too_long_is_refused) {
  extraction_fixture run;
  const size_t room = longest_full_path - run.out_text().size();
  payload_writer writer;
  const std::string previous = std::string(room - 2, 'p') + "\\.";  // a folder that just fits
  writer.add_name(previous);
  writer.add_prefix_name(255, "q");  // all of it, then one byte more
  writer.add_file_fields({}, 0);
  EXPECT_EQ(run.extract(writer.bytes()), 1);
  ASSERT_EQ(scripted.messages.size(), 1u);
  EXPECT_EQ(scripted.messages[0].id, message_path_too_long);
  EXPECT_EQ(tree_of(run.out()), (tree{{std::string(room - 2, 'p') + "/", ""}}));
}

}  // namespace
