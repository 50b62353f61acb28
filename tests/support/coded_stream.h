// Decoding coded data straight from a block stream, for the decoder's tests
// and benchmarks: the payload (coded data only, entries back to back) is
// written as an archive file, opened through the start-up path, and each entry
// is expanded by a chosen decoder into a fresh output file, while the fixture
// records what an observer of the run could see: every write of the output
// window, every pump, every message, and where the stream stands.
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/scripted_front.h"
#include "support/temp_dir.h"

// The production decoder or the reference one.
using entry_decoder = void (*)(int32_t expanded_size);

// Where the run stood at a pump.
struct pump_moment {
  int32_t produced;         // output_position
  int32_t stream_position;  // coded bytes read so far
  bool operator==(const pump_moment& other) const {
    return produced == other.produced && stream_position == other.stream_position;
  }
};

struct entry_run {
  int exit_code = -1;              // -1: the decoder returned
  std::vector<uint8_t> output;     // what reached the output file
  std::vector<int32_t> pieces;     // the sizes of its writes, in order
  std::vector<pump_moment> pumps;
  int32_t stream_position = 0;     // after the entry
  int32_t produced = 0;            // output_position after the entry
  std::vector<recorded_message> messages;

  bool operator==(const entry_run& other) const;
};

class coded_stream {
 public:
  // Installs the scripted front over a file layer that records the writes.
  coded_stream();
  ~coded_stream();

  // Writes the archive holding `payload` and opens it; with a password the
  // block stream is scrambled and the password check is passed.
  void open(const std::vector<uint8_t>& payload, const std::string& password = "");

  // Expands the next entry as extract_all would: output file opened unless
  // skipped, the decoder, window_flush, close. A failure exit ends the entry
  // with its code; the output file is then gone.
  entry_run expand(entry_decoder decoder, int32_t expanded_size, bool skip = false);

  // Runs at every pump, after the moment was recorded.
  std::function<void()> on_pump;

 private:
  temp_dir dir_;
  std::string archive_text_, output_text_;
};

// Everything a run of `decoder` shows for each entry of `payload`, entries of
// the given sizes back to back.
std::vector<entry_run> expand_all(entry_decoder decoder, const std::vector<uint8_t>& payload,
                                  const std::vector<int32_t>& sizes, const std::string& password = "");
