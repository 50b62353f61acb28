// The output window: pieces written to the file, the history kept for
// matches, skipped entries, write failures.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "archive/process_state.h"
#include "decoder/output_window.h"
#include "support/coded_stream.h"
#include "support/cp932.h"
#include "support/faulty_files.h"

namespace {

uint8_t byte_at(int32_t position) { return static_cast<uint8_t>(position * 7 + position / 251); }

std::vector<uint8_t> pattern(int32_t size) {
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  for (int32_t p = 0; p < size; ++p) bytes[static_cast<size_t>(p)] = byte_at(p);
  return bytes;
}

// A stand-in decoder that appends the pattern.
void put_pattern(int32_t size) {
  window_reset();
  for (int32_t p = 0; p < size; ++p) window_put(byte_at(p));
}

struct piece_case {
  int32_t size;
  std::vector<int32_t> pieces;
};

TEST(OutputWindow, WritesPiecesOf32768AndTheRestAtTheFlush) {
  const std::vector<piece_case> cases = {
      {0, {}},
      {1, {1}},
      {40960, {40960}},
      {40961, {32768, 8193}},
      {73728, {32768, 40960}},
      {73729, {32768, 32768, 8193}},
      {200000, {32768, 32768, 32768, 32768, 32768, 36160}},
  };
  for (const piece_case& c : cases) {
    SCOPED_TRACE(c.size);
    coded_stream stream;
    entry_run run = stream.expand(put_pattern, c.size);
    EXPECT_EQ(run.exit_code, -1);
    EXPECT_EQ(run.pieces, c.pieces);
    EXPECT_EQ(run.output, pattern(c.size));
  }
}

// The number of bytes appended when the first piece went out.
int32_t first_shift_at;

void put_and_note_first_shift(int32_t size) {
  window_reset();
  first_shift_at = 0;
  for (int32_t p = 0; p < size; ++p) {
    window_put(byte_at(p));
    if (window_base != 0 && first_shift_at == 0) first_shift_at = p + 1;
  }
}

TEST(OutputWindow, AFullBufferIsWrittenOnlyWhenTheNextByteArrives) {
  coded_stream stream;
  entry_run run = stream.expand(put_and_note_first_shift, 73729);
  EXPECT_EQ(first_shift_at, 40961);
  EXPECT_EQ(run.pieces, (std::vector<int32_t>{32768, 32768, 8193}));
}

// Appends, then reads back right after the shift.
uint8_t read_back[2];
void put_then_read_back(int32_t size) {
  put_pattern(size);
  read_back[0] = window_byte(output_position - window_history);
  read_back[1] = window_byte(output_position - 1);
}

TEST(OutputWindow, KeepsTheLast8192BytesRightAfterAShift) {
  coded_stream stream;
  entry_run run = stream.expand(put_then_read_back, 40961);
  EXPECT_EQ(run.pieces.front(), 32768);
  EXPECT_EQ(read_back[0], byte_at(40961 - 8192));
  EXPECT_EQ(read_back[1], byte_at(40960));
}

// Random literals and matches, copied by window_copy, against a plain model:
// distances 1 to 8192, lengths 2 to 4352, many of them across shifts.
std::vector<uint8_t> model_bytes;

void put_random_matches(int32_t size) {
  std::mt19937 random(static_cast<uint32_t>(size));
  window_reset();
  model_bytes.clear();
  while (static_cast<int32_t>(model_bytes.size()) < size) {
    int32_t held = static_cast<int32_t>(model_bytes.size());
    if (held == 0 || random() % 4 == 0) {
      uint8_t b = static_cast<uint8_t>(random());
      window_put(b);
      model_bytes.push_back(b);
      continue;
    }
    int32_t distance = 1 + static_cast<int32_t>(random() % std::min<uint32_t>(held, random() % 2 ? 8192 : 12));
    int32_t length = 2 + static_cast<int32_t>(random() % (random() % 8 == 0 ? 4351 : 40));
    window_copy(distance, length);
    for (int32_t k = 0; k < length; ++k) model_bytes.push_back(model_bytes[model_bytes.size() - distance]);
  }
}

TEST(OutputWindow, CopiesRepeatTheLastBytesAcrossShifts) {
  coded_stream stream;
  entry_run run = stream.expand(put_random_matches, 300000);
  ASSERT_EQ(run.exit_code, -1);
  EXPECT_EQ(run.output, model_bytes);
}

TEST(OutputWindow, ASkippedEntryShiftsAlikeAndWritesNothing) {
  coded_stream stream;
  entry_run skipped = stream.expand(put_pattern, 73729, true);
  int32_t skipped_base = window_base;
  entry_run written = stream.expand(put_pattern, 73729);
  EXPECT_EQ(skipped_base, window_base);
  EXPECT_EQ(skipped_base, 65536);
  EXPECT_TRUE(skipped.pieces.empty());
  EXPECT_EQ(written.pieces.size(), 3u);
}

TEST(OutputWindow, AFailedWriteEndsTheRunAndDeletesTheFile) {
  for (int failing : {1, 2, 3}) {
    SCOPED_TRACE(failing);
    coded_stream stream;
    faults.fail_write = failing;
    entry_run run = stream.expand(put_pattern, 73729);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(run.output.empty());
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0].text, cp932("ファイルの書き込みに失敗しました。"));
    EXPECT_EQ(run.pieces.size(), static_cast<size_t>(failing));
  }
}

}  // namespace
