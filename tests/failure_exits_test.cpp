// The failure exits: which files remain, and the exit code.
#include <gtest/gtest.h>

#include "app/failure_exits.h"
#include "archive/process_state.h"
#include "support/archive_fixture.h"
#include "support/cp932.h"
#include "support/scripted_front.h"
#include "support/temp_dir.h"

namespace {

class FailureExits : public ::testing::Test {
 protected:
  void SetUp() override {
    use_scripted_front();
    write_file(dir_ / "sfx.exe", std::string("archive"));
    archive_ = logic_path(dir_ / "sfx.exe");
    output_ = logic_path(dir_ / "out.bin");
    platform_files->open_read(&archive_file, archive_.c_str());
    ASSERT_EQ(platform_files->io_result(), 0);
  }
  temp_dir dir_;
  std::string archive_, output_;
};

TEST_F(FailureExits, AbortWhileWritingDeletesTheOpenOutputFileOnly) {
  write_file(dir_ / "finished.bin", std::string("done"));
  text_assign_c_str(&output_path, output_.c_str());
  platform_files->create_write(&output_file, output_.c_str());
  platform_files->write_exact(&output_file, "half", 4);
  EXPECT_EQ(run_until_exit([] { report_write_failure(); }), 1);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out.bin"));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "finished.bin"));
  EXPECT_FALSE(archive_file.is_open);
  ASSERT_EQ(scripted.messages.size(), 1u);
  EXPECT_EQ(scripted.messages[0].text, cp932("ファイルの書き込みに失敗しました。"));
  EXPECT_EQ(scripted.messages[0].flags, 0x10u);
}

TEST_F(FailureExits, AbortAfterTheOutputFileWasClosedDeletesNothing) {
  text_assign_c_str(&output_path, output_.c_str());
  platform_files->create_write(&output_file, output_.c_str());
  platform_files->close(&output_file);
  EXPECT_EQ(run_until_exit([] { report_read_failure(); }), 1);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "out.bin"));
  EXPECT_EQ(scripted.messages.at(0).text, cp932("ファイルの読み込みに失敗しました。"));
}

TEST_F(FailureExits, DamagedArchiveMessageThenExitCodeOne) {
  output_file = platform_file{};
  EXPECT_EQ(run_until_exit([] { report_damaged_archive(); }), 1);
  EXPECT_EQ(scripted.messages.at(0).text, cp932("ファイルが壊れています。"));
  EXPECT_TRUE(scripted.messages.at(0).owned);
}

}  // namespace
