// Disks fill up and reads fail: every fault of the file layer in the middle of
// an extraction ends the run with its message and exit code 1, deletes the
// file that was open, and leaves every file finished before it byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "archive/process_state.h"
#include "pack/payload.h"
#include "support/cp932.h"
#include "support/extraction_fixture.h"
#include "support/faulty_files.h"
#include "support/scripted_front.h"

namespace {

using tree = std::map<std::string, std::string>;

// Bytes that barely compress, so that the big file's coded data runs over
// many blocks and its output over several 32768-byte pieces.
std::string noise(size_t size, uint32_t seed) {
  std::string out(size, '\0');
  for (char& c : out) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return out;
}

const std::string first = noise(3000, 1);
const std::string big = noise(150000, 2);  // 4 pieces while decoding, then the flush
const std::string last = "after the big one";

std::vector<uint8_t> payload() {
  quorvex::pack::payload_writer w;
  w.add_folder("done");
  w.add_file("done\\first.txt", {}, std::vector<uint8_t>(first.begin(), first.end()));
  w.add_file("big.bin", {}, std::vector<uint8_t>(big.begin(), big.end()));
  w.add_file("last.txt", {}, std::vector<uint8_t>(last.begin(), last.end()));
  return w.take();
}

const std::string write_failure = "ファイルの書き込みに失敗しました。";
const std::string read_failure = "ファイルの読み込みに失敗しました。";

struct fault_case {
  const char* what;
  // Plans the fault from the counts of a run without faults.
  std::function<void(fault_plan&, const fault_counts&)> plan;
  std::string message;
  tree left;  // besides done/first.txt, which always stays
};

std::vector<fault_case> fault_cases() {
  const tree nothing_of_big = {};
  return {
      {"a write that fails at the big file's first piece",
       [](fault_plan& p, const fault_counts&) { p.fail_write = 2; }, write_failure, nothing_of_big},
      {"a write that fails at a middle piece",
       [](fault_plan& p, const fault_counts& n) { p.fail_write = (2 + n.write - 1) / 2; }, write_failure,
       nothing_of_big},
      {"a write that fails at the last piece",
       [](fault_plan& p, const fault_counts& n) { p.fail_write = n.write - 1; }, write_failure, nothing_of_big},
      {"a write that stops half way", [](fault_plan& p, const fault_counts&) { p.short_write = 3; }, write_failure,
       nothing_of_big},
      {"a full disk",
       [](fault_plan& p, const fault_counts&) { p.disk_space = static_cast<long long>(first.size()) + 50000; },
       write_failure, nothing_of_big},
      {"an output file that cannot be created",
       [](fault_plan& p, const fault_counts&) { p.fail_create_write = 2; }, write_failure, nothing_of_big},
      {"SetFileTime failing", [](fault_plan& p, const fault_counts&) { p.fail_set_times = 2; }, write_failure,
       nothing_of_big},
      // A failed close counts as closed: abort_run has no open file to delete.
      {"a close failing", [](fault_plan& p, const fault_counts&) { p.fail_close_output = 2; }, write_failure,
       {{"big.bin", big}}},
      {"a read error in the middle of the stream",
       [](fault_plan& p, const fault_counts& n) { p.fail_read_counted = n.read_counted / 2; }, read_failure,
       nothing_of_big},
  };
}

TEST(FaultInjection, EachFaultEndsTheRunDeletesTheOpenFileAndKeepsTheFinishedOnes) {
  const std::vector<uint8_t> archive_payload = payload();
  fault_counts clean;
  {
    extraction_fixture run;
    reset_faults();
    ASSERT_EQ(run.extract(archive_payload, &faulty_file_layer), -1);
    clean = fault_calls;
    ASSERT_EQ(tree_of(run.out()),
              (tree{{"done/", ""}, {"done/first.txt", first}, {"big.bin", big}, {"last.txt", last}}));
    ASSERT_EQ(clean.write, 1 + 5 + 1);
    ASSERT_GE(clean.read_counted, 30);
  }
  for (const fault_case& c : fault_cases()) {
    SCOPED_TRACE(c.what);
    extraction_fixture run;
    reset_faults();
    c.plan(faults, clean);
    EXPECT_EQ(run.extract(archive_payload, &faulty_file_layer), 1);
    EXPECT_EQ(scripted.messages.size(), 1u);
    if (!scripted.messages.empty()) {
      EXPECT_EQ(scripted.messages[0].text, cp932(c.message));
      EXPECT_EQ(scripted.messages[0].flags, 0x10u);
    }
    tree expected = c.left;
    expected["done/"] = "";
    expected["done/first.txt"] = first;
    EXPECT_EQ(tree_of(run.out()), expected);
    EXPECT_FALSE(output_file.is_open);
    EXPECT_FALSE(archive_file.is_open);
    std::vector<std::string> beside;
    for (const auto& entry : std::filesystem::directory_iterator(run.root())) {
      beside.push_back(entry.path().filename().string());
    }
    std::sort(beside.begin(), beside.end());
    EXPECT_EQ(beside, (std::vector<std::string>{"archive.exe", "out"}));
  }
  reset_faults();
}

}  // namespace
