// The extraction run over whole archives: names in both forms, folders,
// files with their times, the overwrite question, cancelling, and streams
// that end too early.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "archive/archive.h"
#include "archive/process_state.h"
#include "extract/extract.h"
#include "platform/posix/posix_files.h"
#include "support/cp932.h"
#include "support/extraction_fixture.h"
#include "support/faulty_files.h"
#include "support/scripted_front.h"

namespace {

using quorvex::pack::file_times;
using quorvex::pack::payload_writer;
using tree = std::map<std::string, std::string>;

const file_times no_times{};

void add_empty_file(payload_writer& w, const std::string& name, const file_times& times = no_times) {
  w.add_coded_file(name, times, 0, {});
}

void add_sample(payload_writer& w, const std::string& name, const coded_sample& sample,
                const file_times& times = no_times) {
  w.add_coded_file(name, times, static_cast<uint32_t>(sample.expanded.size()), sample.coded);
}

struct name_case {
  const char* what;
  std::function<void(payload_writer&)> build;
  tree expected;
};

TEST(extract_names, both_name_forms_resolve_against_the_previous_name) {
  const std::string hyo = cp932("表");
  const name_case cases[] = {
      {"plain names, a folder and a file in it",
       [](payload_writer& w) {
         w.add_folder("a");
         add_sample(w, "a\\x.txt", coded_one_a());
       },
       {{"a/", ""}, {"a/x.txt", "A"}}},
      {"a first record in the prefix form takes nothing from the empty previous name",
       [](payload_writer& w) {
         w.add_prefix_name(5, "x.txt");
         w.add_file_fields(no_times, 0);
       },
       {{"x.txt", ""}}},
      {"N+2 beyond the previous name takes all of it",
       [](payload_writer& w) {
         add_empty_file(w, "abc");
         w.add_prefix_name(200, "def");
         w.add_file_fields(no_times, 0);
       },
       {{"abc", ""}, {"abcdef", ""}}},
      {"an empty rest gives the first N+2 bytes alone",
       [](payload_writer& w) {
         add_empty_file(w, "xy.txt");
         w.add_prefix_name(0, "");
         w.add_file_fields(no_times, 0);
       },
       {{"xy.txt", ""}, {"xy", ""}}},
      {"a folder's final backslash and full stop count in the previous name",
       [](payload_writer& w) {
         w.add_name("a\\b\\.");
         w.add_prefix_name(2, "c.txt");
         w.add_file_fields(no_times, 5);
         w.add_bytes(coded_five_a().coded);
       },
       {{"a/", ""}, {"a/b/", ""}, {"a/b/c.txt", "aaaaa"}}},
      {"the prefix counts bytes, even through a double-byte character",
       [hyo](payload_writer& w) {
         add_empty_file(w, "a" + hyo + "x");
         w.add_prefix_name(0, "\x5C" "b");  // "a" 0x95, then 0x5C "b": a表b
         w.add_file_fields(no_times, 0);
       },
       {{"a表x", ""}, {"a表b", ""}}},
      {"the writer's shorter forms read back as written",
       [hyo](payload_writer& w) {
         w.add_folder("data\\" + hyo);
         add_sample(w, "data\\" + hyo + "\\one.txt", coded_one_a());
         add_sample(w, "data\\" + hyo + "\\five.txt", coded_five_a());
         add_empty_file(w, "data\\z");
       },
       {{"data/", ""}, {"data/表/", ""}, {"data/表/one.txt", "A"}, {"data/表/five.txt", "aaaaa"}, {"data/z", ""}}},
  };
  for (const name_case& c : cases) {
    extraction_fixture run;
    payload_writer writer;
    c.build(writer);
    EXPECT_EQ(run.extract(writer.bytes()), -1) << c.what;
    EXPECT_EQ(tree_of(run.out()), c.expected) << c.what;
    EXPECT_EQ(cancel_requested, 0) << c.what;
  }
}

TEST(extract_names, a_lone_full_stop_is_the_destination_folder_itself) {
  extraction_fixture run;
  payload_writer writer;
  writer.add_folder("");
  EXPECT_EQ(run.extract(writer.bytes()), -1);
  EXPECT_TRUE(std::filesystem::is_directory(run.out()));
  EXPECT_TRUE(tree_of(run.out()).empty());
}

TEST(extract_files, a_file_gets_its_content_and_times_and_the_status_line_names_it) {
  extraction_fixture run;
  payload_writer writer;
  const file_times times{filetime_of(1000000000), filetime_of(1200000000, 5000), filetime_of(1300000000, 700)};
  add_sample(writer, "five.txt", coded_five_a(), times);
  ASSERT_EQ(run.extract(writer.bytes()), -1);

  // Stat before reading: a read may move the access time.
  struct stat st;
  ASSERT_EQ(stat((run.out() / "five.txt").c_str(), &st), 0);
  EXPECT_EQ(filetime_of(st.st_atim), times.last_access);
  EXPECT_EQ(filetime_of(st.st_mtim), times.last_write);
  EXPECT_EQ(tree_of(run.out()), (tree{{"five.txt", "aaaaa"}}));
  const std::string path = run.out_text() + "five.txt";
  EXPECT_EQ(scripted.statuses, (std::vector<std::string>{cp932("処理中:") + path, cp932("解凍中:") + path}));
  EXPECT_TRUE(scripted.messages.empty());
  EXPECT_FALSE(archive_file.is_open);
  EXPECT_FALSE(output_file.is_open);
}

TEST(extract_files, a_protected_archive_extracts_once_the_password_has_passed) {
  extraction_fixture run;
  run.header.protection_byte = 1;
  run.header.password = "key";
  scripted.typed_password = "key";
  payload_writer writer;
  writer.add_folder("d");
  add_sample(writer, "d\\five.txt", coded_five_a());
  ASSERT_EQ(run.extract(writer.bytes()), -1);
  EXPECT_EQ(tree_of(run.out()), (tree{{"d/", ""}, {"d/five.txt", "aaaaa"}}));
}

TEST(extract_files, an_empty_file_is_made_with_its_times_and_the_next_record_follows_its_size) {
  extraction_fixture run;
  payload_writer writer;
  const file_times times{0, filetime_of(1400000000), filetime_of(1500000000)};
  add_empty_file(writer, "empty", times);
  add_sample(writer, "after", coded_one_a());
  ASSERT_EQ(run.extract(writer.bytes()), -1);

  EXPECT_EQ(tree_of(run.out()), (tree{{"empty", ""}, {"after", "A"}}));
  struct stat st;
  ASSERT_EQ(stat((run.out() / "empty").c_str(), &st), 0);
  EXPECT_EQ(filetime_of(st.st_mtim), times.last_write);
  EXPECT_EQ(scripted.pump_count, 1) << "an empty entry pumps nothing";
}

TEST(extract_files, a_folder_entry_leaves_the_status_line_alone) {
  extraction_fixture run;
  payload_writer writer;
  add_empty_file(writer, "f");
  writer.add_folder("d");
  ASSERT_EQ(run.extract(writer.bytes()), -1);
  EXPECT_EQ(scripted.statuses.size(), 2u);
  EXPECT_TRUE(std::filesystem::is_directory(run.out() / "d"));
}

// "old.txt" exists before the run; the archive holds "old.txt", then "next.txt".
class overwrite_question : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(run.out() / "old.txt", std::string("old"));
    struct timespec old_times[2] = {{100000000, 0}, {200000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (run.out() / "old.txt").c_str(), old_times, 0), 0);
    add_sample(writer, "old.txt", coded_five_a(), new_times);
    add_sample(writer, "next.txt", coded_one_a());
    old_path = run.out_text() + "old.txt";
    next_path = run.out_text() + "next.txt";
  }
  time_t old_mtime() {
    struct stat st;
    EXPECT_EQ(stat((run.out() / "old.txt").c_str(), &st), 0);
    return st.st_mtime;
  }

  extraction_fixture run;
  payload_writer writer;
  const file_times new_times{0, filetime_of(1600000000), filetime_of(1600000000)};
  std::string old_path, next_path;
};

TEST_F(overwrite_question, names_the_path_and_asks_yes_no_cancel) {
  scripted.replies = {reply_yes};
  ASSERT_EQ(run.extract(writer.bytes()), -1);
  ASSERT_EQ(scripted.messages.size(), 1u);
  EXPECT_EQ(scripted.messages[0].id, message_overwrite);
  EXPECT_EQ(scripted.messages[0].text, old_path + cp932("はすでに存在します。上書きしますか？"));
  EXPECT_EQ(scripted.messages[0].flags, 0x23u);
  EXPECT_TRUE(scripted.messages[0].owned);
}

TEST_F(overwrite_question, yes_replaces_the_file) {
  scripted.replies = {reply_yes};
  ASSERT_EQ(run.extract(writer.bytes()), -1);
  EXPECT_EQ(tree_of(run.out()), (tree{{"old.txt", "aaaaa"}, {"next.txt", "A"}}));
  EXPECT_EQ(old_mtime(), 1600000000);
  EXPECT_EQ(scripted.statuses[1], cp932("解凍中:") + old_path);
}

TEST_F(overwrite_question, no_skips_the_file_but_reads_through_its_data) {
  scripted.replies = {reply_no};
  ASSERT_EQ(run.extract(writer.bytes()), -1);
  EXPECT_EQ(tree_of(run.out()), (tree{{"old.txt", "old"}, {"next.txt", "A"}}));
  EXPECT_EQ(old_mtime(), 200000000);
  EXPECT_EQ(scripted.statuses,
            (std::vector<std::string>{cp932("処理中:") + old_path, cp932("スキップ中:") + old_path,
                                      cp932("処理中:") + next_path, cp932("解凍中:") + next_path}));
  EXPECT_EQ(cancel_requested, 0);
}

TEST_F(overwrite_question, cancel_ends_the_run_at_once_and_touches_nothing) {
  scripted.replies = {reply_cancel};
  ASSERT_EQ(run.extract(writer.bytes()), -1);
  EXPECT_EQ(cancel_requested, 1);
  EXPECT_EQ(tree_of(run.out()), (tree{{"old.txt", "old"}}));
  EXPECT_EQ(scripted.statuses, std::vector<std::string>{cp932("処理中:") + old_path});
  EXPECT_FALSE(archive_file.is_open);
  // The name, three times and the size; not a byte of the coded data.
  EXPECT_EQ(archive_stream.stream_position, static_cast<int32_t>(sizeof "old.txt" + 28));
}

// The progress window's Cancel stays usable while the question is open: a
// click there lands before the reply comes back.
int reply_after_cancel_click(message_id id, const char* detail) {
  int reply = scripted_user_front.show_message(id, detail);
  if (id == message_overwrite) cancel_requested = 1;
  return reply;
}

struct cancel_click_case {
  int reply;
  tree after;
};

TEST_F(overwrite_question, a_cancel_clicked_while_it_is_open_takes_effect_after_the_reply) {
  user_front front = scripted_user_front;
  front.show_message = reply_after_cancel_click;
  const cancel_click_case cases[] = {
      {reply_yes, {}},                      // opened, so emptied, then deleted
      {reply_no, {{"old.txt", "old"}}},  // skipped as usual
  };
  for (const cancel_click_case& c : cases) {
    write_file(run.out() / "old.txt", std::string("old"));
    scripted.replies = {c.reply};
    scripted.messages.clear();
    EXPECT_EQ(run.extract(writer.bytes(), nullptr, &front), -1);
    EXPECT_EQ(cancel_requested, 1);
    EXPECT_EQ(tree_of(run.out()), c.after) << c.reply;
  }
}

// Finds go through the POSIX layer and are recorded.
std::vector<std::string> looked_up;
path_kind recording_find(const char* path) {
  looked_up.push_back(path);
  return posix_file_layer.find_path(path);
}
file_layer make_recording_layer() {
  file_layer layer = posix_file_layer;
  layer.find_path = recording_find;
  return layer;
}
const file_layer recording_layer = make_recording_layer();

TEST(extract_files, a_skipped_file_still_walks_its_folder_chain) {
  extraction_fixture run;
  write_file(run.out() / "d" / "old.txt", std::string("old"));
  payload_writer writer;
  add_sample(writer, "d\\old.txt", coded_one_a());
  scripted.replies = {reply_no};
  looked_up.clear();
  ASSERT_EQ(run.extract(writer.bytes(), &recording_layer), -1);
  const std::string out = run.out_text();
  ASSERT_GE(looked_up.size(), 2u);
  EXPECT_EQ(looked_up.front(), out + "d\\old.txt") << "the run's own lookup";
  EXPECT_EQ(looked_up.back(), out + "d") << "the last folder of the chain";
}

TEST(extract_files, an_existing_folder_in_a_files_place_is_asked_about_then_cannot_be_written) {
  extraction_fixture run;
  std::filesystem::create_directories(run.out() / "x.txt");
  payload_writer writer;
  add_empty_file(writer, "first");
  add_sample(writer, "x.txt", coded_one_a());
  scripted.replies = {reply_yes};
  EXPECT_EQ(run.extract(writer.bytes()), 1);
  ASSERT_EQ(scripted.messages.size(), 2u);
  EXPECT_EQ(scripted.messages[0].id, message_overwrite);
  EXPECT_EQ(scripted.messages[1].text, cp932("ファイルの書き込みに失敗しました。"));
  EXPECT_EQ(tree_of(run.out()), (tree{{"first", ""}, {"x.txt/", ""}}));
}

TEST(extract_files, a_file_where_a_parent_folder_belongs_ends_the_run_through_the_folder_failure) {
  extraction_fixture run;
  write_file(run.out() / "a", std::string("file"));
  payload_writer writer;
  add_sample(writer, "a\\b\\c.txt", coded_one_a());
  EXPECT_EQ(run.extract(writer.bytes()), 0);
  ASSERT_EQ(scripted.messages.size(), 1u);
  EXPECT_EQ(scripted.messages[0].text, cp932("フォルダが作れませんでした:") + run.out_text() + "a");
  EXPECT_FALSE(archive_file.is_open);
}

// Three files; Cancel is pressed at the pump of the second one.
class cancel_in_progress : public ::testing::Test {
 protected:
  void SetUp() override {
    add_sample(writer, "first.txt", coded_one_a());
    add_sample(writer, "second.txt", coded_five_a());
    add_sample(writer, "third.txt", coded_one_a());
    scripted.on_pump = [] {
      if (scripted.pump_count == 2) cancel_requested = 1;
    };
  }
  extraction_fixture run;
  payload_writer writer;
};

TEST_F(cancel_in_progress, deletes_the_file_being_written_and_keeps_the_earlier_ones) {
  ASSERT_EQ(run.extract(writer.bytes()), -1);
  EXPECT_EQ(cancel_requested, 1);
  EXPECT_EQ(tree_of(run.out()), (tree{{"first.txt", "A"}}));
  EXPECT_FALSE(output_file.is_open);
  EXPECT_FALSE(archive_file.is_open);
}

TEST_F(cancel_in_progress, during_a_skipped_file_deletes_nothing) {
  write_file(run.out() / "second.txt", std::string("kept"));
  scripted.replies = {reply_no};
  ASSERT_EQ(run.extract(writer.bytes()), -1);
  EXPECT_EQ(cancel_requested, 1);
  EXPECT_EQ(tree_of(run.out()), (tree{{"first.txt", "A"}, {"second.txt", "kept"}}));
}

TEST(extract_stream, a_stream_that_ends_inside_a_record_ends_the_run_at_the_next_read) {
  payload_writer head;
  head.add_folder("d");
  add_sample(head, "d\\done.txt", coded_one_a());
  const size_t kept = head.bytes().size();
  add_sample(head, "d\\cut.txt", coded_five_a());
  const size_t name_end = kept + quorvex::pack::name_record("d\\done.txt", "d\\cut.txt").size();
  const size_t full = head.bytes().size();
  struct {
    const char* what;
    size_t length;
  } cases[] = {
      {"inside the name", kept + 4},
      {"inside the times", name_end + 10},
      {"inside the size", name_end + 26},
      {"inside the coded data", full - 1},
  };
  for (const auto& c : cases) {
    extraction_fixture run;
    std::vector<uint8_t> payload(head.bytes().begin(), head.bytes().begin() + static_cast<std::ptrdiff_t>(c.length));
    EXPECT_EQ(run.extract(payload), 1) << c.what;
    ASSERT_EQ(scripted.messages.size(), 1u) << c.what;
    EXPECT_EQ(scripted.messages[0].text, cp932("ファイルの読み込みに失敗しました。")) << c.what;
    EXPECT_EQ(tree_of(run.out()), (tree{{"d/", ""}, {"d/done.txt", "A"}})) << c.what;
  }
}

struct fault_case {
  const char* what;
  fault_plan plan;
  tree remains;
};

TEST(extract_stream, a_failing_output_file_ends_the_run_and_deletes_it_while_open) {
  const fault_case cases[] = {
      {"the times cannot be set", [] { fault_plan p; p.fail_set_times = 2; return p; }(), {{"a", "A"}}},
      {"the write fails", [] { fault_plan p; p.fail_write = 2; return p; }(), {{"a", "A"}}},
      {"the file cannot be created", [] { fault_plan p; p.fail_create_write = 2; return p; }(), {{"a", "A"}}},
      {"the close fails: the file counts as closed", [] { fault_plan p; p.fail_close_output = 2; return p; }(),
       {{"a", "A"}, {"b", "aaaaa"}}},
  };
  for (const fault_case& c : cases) {
    extraction_fixture run;
    payload_writer writer;
    add_sample(writer, "a", coded_one_a());
    add_sample(writer, "b", coded_five_a());
    add_sample(writer, "c", coded_one_a());
    reset_faults();
    faults = c.plan;
    EXPECT_EQ(run.extract(writer.bytes(), &faulty_file_layer), 1) << c.what;
    ASSERT_EQ(scripted.messages.size(), 1u) << c.what;
    EXPECT_EQ(scripted.messages[0].id, message_write_failure) << c.what;
    EXPECT_EQ(tree_of(run.out()), c.remains) << c.what;
  }
  reset_faults();
}

}  // namespace
