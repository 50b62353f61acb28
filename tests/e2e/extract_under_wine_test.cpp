// Whole runs of the stub under Wine: the Extract flow from the password to
// the result message, the destination folder, the overwrite question, Cancel,
// the failure exits and the launch target, as a user sees them.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/cp932.h"
#include "support/temp_dir.h"
#include "wine_run.h"

namespace {

using quorvex::pack::file_times;
using quorvex::pack::header_fields;
using quorvex::pack::payload_writer;

namespace fs = std::filesystem;

const std::string finished = "ファイルの解凍が終わりました。";
const std::string cancelled = "ファイルの解凍を中断しました。";

std::vector<uint8_t> bytes_of(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// Content that a few rebuilds of the code trees are needed for.
std::vector<uint8_t> sample_data(size_t size, uint32_t seed) {
  std::vector<uint8_t> data(size);
  uint32_t x = seed;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    data[i] = (i % 64 < 40) ? static_cast<uint8_t>('a' + (x >> 16) % 16) : static_cast<uint8_t>(x >> 24);
  }
  return data;
}

file_times times_at(int64_t unix_seconds, uint32_t ticks) {
  file_times t;
  t.creation = filetime_of(unix_seconds - 86400, ticks);
  t.last_access = filetime_of(unix_seconds + 3600, ticks);
  t.last_write = filetime_of(unix_seconds, ticks);
  return t;
}

class ExtractUnderWine : public ::testing::Test {
 protected:
  fs::path sfx() const { return dir / "archive.exe"; }
  fs::path work() const { return dir / "work"; }

  void SetUp() override { fs::create_directories(work()); }

  // A run in the work folder with `destination` typed; an existing one unless
  // the case is about making it.
  driver_options in_work(const std::string& destination, bool existing = true) const {
    if (existing) fs::create_directories(work() / destination);
    driver_options o;
    o.cwd = work();
    o.has_destination = true;
    o.destination = destination;
    return o;
  }

  temp_dir dir;
};

TEST_F(ExtractUnderWine, UnprotectedArchiveExtractsTheTreeWithItsTimesAndSaysItIsDone) {
  const std::string japanese_name = cp932("資料");
  const std::string japanese_file = japanese_name + "\\" + cp932("表.txt");  // 表 ends in 0x5C
  std::vector<uint8_t> readme = sample_data(20000, 1), table = bytes_of("one\r\ntwo\r\n");
  payload_writer payload;
  payload.add_folder("empty");
  payload.add_file("readme.txt", times_at(1262304000, 1234567), readme);
  payload.add_folder(japanese_name);
  payload.add_file(japanese_file, times_at(1600000000, 42), table);
  payload.add_file("sub\\deeper\\zero.bin", times_at(946684800, 0), std::vector<uint8_t>());
  header_fields header;
  header.comment = cp932("テスト用のアーカイブです。\r\n二行目");
  write_sfx(sfx(), header, payload.take());

  driver_run run = run_driver(sfx(), in_work("out"));

  const auto& setup = run.setup();
  EXPECT_EQ(setup.value("comment", ""), "テスト用のアーカイブです。\r\n二行目");
  EXPECT_EQ(setup.value("destination", ""), windows_path(work()));
  EXPECT_FALSE(setup.value("password_shown", true));
  EXPECT_TRUE(setup.value("extract_enabled", false));
  ASSERT_EQ(run.message_texts(), std::vector<std::string>{finished}) << run.dump();
  EXPECT_TRUE(run.of("message")[0].value("owned", false));
  EXPECT_EQ(run.exit_code(), 0);

  fs::path out = work() / "out";
  EXPECT_TRUE(fs::is_directory(out / "empty"));
  EXPECT_EQ(read_file(out / "readme.txt"), readme);
  EXPECT_EQ(read_file(out / "資料" / "表.txt"), table);
  EXPECT_TRUE(fs::exists(out / "sub" / "deeper" / "zero.bin"));
  EXPECT_EQ(fs::file_size(out / "sub" / "deeper" / "zero.bin"), 0u);
  EXPECT_EQ(last_write_filetime(out / "readme.txt"), filetime_of(1262304000, 1234567));
  EXPECT_EQ(last_write_filetime(out / "資料" / "表.txt"), filetime_of(1600000000, 42));
  EXPECT_EQ(last_write_filetime(out / "sub" / "deeper" / "zero.bin"), filetime_of(946684800, 0));
  // Every status the driver saw names a file of the archive under "out\".
  for (const std::string& status : run.statuses()) {
    EXPECT_TRUE(status.rfind("処理中:out\\", 0) == 0 || status.rfind("解凍中:out\\", 0) == 0) << status;
  }
}

TEST_F(ExtractUnderWine, ProtectedArchiveRefusesAWrongPasswordThenTakesTheRightOne) {
  payload_writer payload;
  payload.add_file("secret.txt", times_at(1300000000, 0), sample_data(6000, 2));
  header_fields header;
  header.protection_byte = 0x03;
  header.password = cp932("正しいPass");
  write_sfx(sfx(), header, payload.bytes());

  driver_options o = in_work("out");
  o.passwords = {"正しいpass", "正しいPass"};
  driver_run run = run_driver(sfx(), o);

  EXPECT_TRUE(run.setup().value("password_shown", false));
  EXPECT_EQ(run.setup().value("password_char", 0), '*');
  ASSERT_EQ(run.message_texts(), (std::vector<std::string>{"パスワードが違います。", finished})) << run.dump();
  EXPECT_EQ(run.of("message")[0]["buttons"].size(), 1u);
  EXPECT_EQ(read_file(work() / "out" / "secret.txt"), sample_data(6000, 2));
  EXPECT_EQ(run.exit_code(), 0);
}

TEST_F(ExtractUnderWine, PasswordOfAnEvenProtectionByteIsShownWhileTyped) {
  payload_writer payload;
  payload.add_file("a.txt", times_at(1300000000, 0), bytes_of("a"));
  header_fields header;
  header.protection_byte = 0x02;
  header.password = "pw";
  write_sfx(sfx(), header, payload.bytes());

  driver_options o = in_work("out");
  o.passwords = {"pw"};
  driver_run run = run_driver(sfx(), o);

  EXPECT_TRUE(run.setup().value("password_shown", false));
  EXPECT_EQ(run.setup().value("password_char", -1), 0);
  EXPECT_EQ(run.message_texts(), std::vector<std::string>{finished}) << run.dump();
}

TEST_F(ExtractUnderWine, MissingDestinationAnsweredNoMakesNothingAndYesMakesTheWholeChain) {
  payload_writer payload;
  payload.add_file("a.txt", times_at(1300000000, 0), bytes_of("alpha"));
  write_sfx(sfx(), header_fields{}, payload.bytes());

  driver_options o = in_work("new\\folder", false);
  o.answers = {"no", "yes"};
  driver_run run = run_driver(sfx(), o);

  const std::string question = "指定されたフォルダはありません。このフォルダを作りますか？";
  ASSERT_EQ(run.message_texts(), (std::vector<std::string>{question, question, finished})) << run.dump();
  EXPECT_EQ(run.of("message")[0]["buttons"].size(), 2u);
  EXPECT_EQ(read_file(work() / "new" / "folder" / "a.txt"), bytes_of("alpha"));
  EXPECT_EQ(run.exit_code(), 0);
}

TEST_F(ExtractUnderWine, MissingDestinationAnsweredNoOnlyLeavesTheDiskAlone) {
  payload_writer payload;
  payload.add_file("a.txt", times_at(1300000000, 0), bytes_of("alpha"));
  write_sfx(sfx(), header_fields{}, payload.bytes());

  driver_options o = in_work("new", false);
  o.answers = {"no"};
  driver_run run = run_driver(sfx(), o);

  EXPECT_EQ(run.message_texts().size(), 1u) << run.dump();
  EXPECT_FALSE(fs::exists(work() / "new"));
  EXPECT_EQ(run.exit_code(), 0);
}

TEST_F(ExtractUnderWine, DestinationThatIsAFileIsRefused) {
  payload_writer payload;
  payload.add_file("a.txt", times_at(1300000000, 0), bytes_of("alpha"));
  write_sfx(sfx(), header_fields{}, payload.bytes());
  write_file(work() / "taken", std::string("not a folder"));

  driver_run run = run_driver(sfx(), in_work("taken", false));

  ASSERT_EQ(run.message_texts(), std::vector<std::string>{"フォルダが作れません。"}) << run.dump();
  EXPECT_EQ(read_file(work() / "taken"), bytes_of("not a folder"));
  EXPECT_EQ(run.exit_code(), 0);
}

TEST_F(ExtractUnderWine, OverwriteQuestionRepliesReplaceSkipAndStop) {
  payload_writer payload;
  payload.add_file("yes.txt", times_at(1300000000, 0), bytes_of("new yes"));
  payload.add_file("no.txt", times_at(1300000000, 0), bytes_of("new no"));
  payload.add_file("cancel.txt", times_at(1300000000, 0), bytes_of("new cancel"));
  payload.add_file("after.txt", times_at(1300000000, 0), bytes_of("after"));
  write_sfx(sfx(), header_fields{}, payload.bytes());
  fs::path out = work() / "out";
  for (const char* name : {"yes.txt", "no.txt", "cancel.txt"}) write_file(out / name, std::string("old"));

  driver_options o = in_work("out");
  o.answers = {"yes", "no", "cancel"};
  driver_run run = run_driver(sfx(), o);

  auto messages = run.of("message");
  ASSERT_EQ(messages.size(), 4u) << run.dump();
  EXPECT_EQ(messages[0].value("text", ""), "out\\yes.txtはすでに存在します。上書きしますか？");
  EXPECT_EQ(messages[0]["buttons"].size(), 3u);
  EXPECT_EQ(messages[1].value("text", ""), "out\\no.txtはすでに存在します。上書きしますか？");
  EXPECT_EQ(messages[2].value("text", ""), "out\\cancel.txtはすでに存在します。上書きしますか？");
  EXPECT_EQ(messages[3].value("text", ""), cancelled);
  EXPECT_EQ(read_file(out / "yes.txt"), bytes_of("new yes"));
  EXPECT_EQ(read_file(out / "no.txt"), bytes_of("old"));
  EXPECT_EQ(read_file(out / "cancel.txt"), bytes_of("old"));
  EXPECT_FALSE(fs::exists(out / "after.txt"));
  EXPECT_EQ(run.exit_code(), 0);
}

// Wine enables the setup window again when a question it owns closes; a
// click on Extract during the run must not start a second extraction.
TEST_F(ExtractUnderWine, ExtractClickedDuringTheRunStartsNothing) {
  payload_writer payload;
  payload.add_file("a.txt", times_at(1300000000, 0), bytes_of("new a"));
  payload.add_file("b.txt", times_at(1300000000, 0), bytes_of("new b"));
  write_sfx(sfx(), header_fields{}, payload.bytes());
  write_file(work() / "out" / "a.txt", std::string("old"));

  driver_options o = in_work("out");
  o.answers = {"yes"};
  o.extract_during_question = true;
  driver_run run = run_driver(sfx(), o);

  EXPECT_EQ(run.message_texts(),
            (std::vector<std::string>{"out\\a.txtはすでに存在します。上書きしますか？", finished}))
      << run.dump();
  EXPECT_EQ(read_file(work() / "out" / "a.txt"), bytes_of("new a"));
  EXPECT_EQ(read_file(work() / "out" / "b.txt"), bytes_of("new b"));
  EXPECT_EQ(run.exit_code(), 0);
}

TEST_F(ExtractUnderWine, CancelDuringALargeEntryRemovesItAndKeepsTheEarlierFiles) {
  payload_writer payload(quorvex::pack::level::fast);
  payload.add_file("first.txt", times_at(1300000000, 0), bytes_of("first"));
  payload.add_file("big.bin", times_at(1300000000, 0), sample_data(24 << 20, 3));
  payload.add_file("last.txt", times_at(1300000000, 0), bytes_of("last"));
  write_sfx(sfx(), header_fields{}, payload.bytes());

  driver_options o = in_work("out");
  o.cancel_when_status = "解凍中:out\\big.bin";
  driver_run run = run_driver(sfx(), o);

  EXPECT_EQ(run.message_texts(), std::vector<std::string>{cancelled}) << run.dump();
  EXPECT_EQ(read_file(work() / "out" / "first.txt"), bytes_of("first"));
  EXPECT_FALSE(fs::exists(work() / "out" / "big.bin"));
  EXPECT_FALSE(fs::exists(work() / "out" / "last.txt"));
  EXPECT_EQ(run.exit_code(), 0);
}

TEST_F(ExtractUnderWine, DamagedBlockEndsTheRunWithExitCodeOne) {
  payload_writer payload;
  payload.add_file("a.bin", times_at(1300000000, 0), sample_data(60000, 4));
  std::vector<uint8_t> file = quorvex::pack::make_archive_file(stub_image(), header_fields{}, payload.bytes());
  // A data byte of the third block: the file is being written by then.
  const size_t block_stream = 25600 + 4 + 1 + 1 + 1;
  ASSERT_GT(file.size(), block_stream + 3 * 4098);
  file[block_stream + 2 * 4098 + 100] ^= 0x20;
  write_file(sfx(), file);

  driver_run run = run_driver(sfx(), in_work("out"));

  ASSERT_EQ(run.message_texts(), std::vector<std::string>{"ファイルが壊れています。"}) << run.dump();
  EXPECT_TRUE(run.of("message")[0].value("owned", false));
  EXPECT_EQ(run.exit_code(), 1);
  EXPECT_FALSE(fs::exists(work() / "out" / "a.bin")) << "the half-written file is removed";
}

TEST_F(ExtractUnderWine, UnsafeEntryNameIsRefusedBeforeAnythingIsMade) {
  payload_writer payload;
  payload.add_file("..\\escaped.txt", times_at(1300000000, 0), bytes_of("x"));
  write_sfx(sfx(), header_fields{}, payload.bytes());

  driver_run run = run_driver(sfx(), in_work("out"));

  ASSERT_EQ(run.message_texts(), std::vector<std::string>{"ファイル名が不正です:..\\escaped.txt"}) << run.dump();
  EXPECT_FALSE(fs::exists(work() / "escaped.txt"));
  EXPECT_EQ(run.exit_code(), 1);
}

TEST_F(ExtractUnderWine, LaunchTargetRunsFromTheDestinationFolder) {
  std::vector<uint8_t> marker = read_file(win32_build_file("e2e-launched.exe"));
  payload_writer payload;
  payload.add_file("tool\\marker.exe", times_at(1300000000, 0), marker);
  header_fields header;
  header.launch_target = "tool\\marker.exe";
  write_sfx(sfx(), header, payload.bytes());
  // A file of the same name in the program's own folder must not be the one
  // that runs.
  write_file(dir / "tool" / "marker.exe", marker);

  driver_run run = run_driver(sfx(), in_work("out"));

  EXPECT_EQ(run.message_texts(), std::vector<std::string>{finished}) << run.dump();
  EXPECT_EQ(run.exit_code(), 0);
  // The launched program writes its marker on its own time.
  fs::path written = work() / "out" / "tool" / "launched.txt";
  for (int i = 0; i < 300 && !fs::exists(written); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(fs::exists(written));
  EXPECT_FALSE(fs::exists(dir / "tool" / "launched.txt"));
  std::vector<uint8_t> folder = read_file(written);
  EXPECT_EQ(std::string(folder.begin(), folder.end()), windows_path(work() / "out")) << "its current directory";
}

TEST_F(ExtractUnderWine, LaunchTargetThatCannotRunIsNamedInTheMessage) {
  payload_writer payload;
  payload.add_file("a.txt", times_at(1300000000, 0), bytes_of("alpha"));
  header_fields header;
  header.launch_target = "missing.exe";
  write_sfx(sfx(), header, payload.bytes());

  driver_run run = run_driver(sfx(), in_work("out"));

  EXPECT_EQ(run.message_texts(), (std::vector<std::string>{finished, "missing.exeが実行できませんでした。"}))
      << run.dump();
  EXPECT_EQ(run.exit_code(), 0);
}

}  // namespace
