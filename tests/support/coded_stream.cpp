#include "support/coded_stream.h"

#include <gtest/gtest.h>

#include "app/archive_opening.h"
#include "archive/archive.h"
#include "decoder/output_window.h"
#include "support/archive_fixture.h"
#include "support/faulty_files.h"

namespace {

std::vector<int32_t> pieces;

void recording_write(platform_file* file, const void* buffer, int32_t count) {
  pieces.push_back(count);
  faulty_file_layer.write_exact(file, buffer, count);
}

// The fault-injecting layer (faults stay available) with the writes recorded.
const file_layer* recording_layer() {
  static file_layer layer = [] {
    file_layer l = faulty_file_layer;
    l.write_exact = recording_write;
    return l;
  }();
  return &layer;
}

}  // namespace

bool entry_run::operator==(const entry_run& other) const {
  if (messages.size() != other.messages.size()) return false;
  for (size_t i = 0; i < messages.size(); ++i) {
    if (messages[i].id != other.messages[i].id || messages[i].text != other.messages[i].text) return false;
  }
  return exit_code == other.exit_code && output == other.output && pieces == other.pieces && pumps == other.pumps &&
         stream_position == other.stream_position && produced == other.produced;
}

coded_stream::coded_stream() {
  reset_faults();
  use_scripted_front(recording_layer());
  output_text_ = logic_path(dir_ / "out.bin");
}

coded_stream::~coded_stream() {
  platform_files->close(&archive_file);
  platform_files->close(&output_file);
  platform_files->io_result();
  scripted.on_pump = nullptr;
}

void coded_stream::open(const std::vector<uint8_t>& payload, const std::string& password) {
  quorvex::pack::header_fields header;
  if (!password.empty()) {
    header.protection_byte = 1;
    header.password = password;
  }
  write_file(dir_ / "sfx.exe", archive_file_bytes(header, payload));
  archive_text_ = logic_path(dir_ / "sfx.exe");
  ASSERT_EQ(run_until_exit([this] { open_archive(archive_text_.c_str()); }), -1);
  scripted.typed_password = password;
  ASSERT_TRUE(check_password());
  end_of_archive = 0;
  cancel_requested = 0;
}

entry_run coded_stream::expand(entry_decoder decoder, int32_t expanded_size, bool skip) {
  entry_run run;
  pieces.clear();
  scripted.messages.clear();
  scripted.on_pump = [this, &run] {
    run.pumps.push_back({output_position, archive_stream.stream_position});
    if (on_pump) on_pump();
  };
  skip_flag = skip ? 1 : 0;
  if (!skip) {
    text_assign_c_str(&output_path, output_text_.c_str());
    platform_files->create_write(&output_file, output_text_.c_str());
    EXPECT_EQ(platform_files->io_result(), 0);
  }
  run.exit_code = run_until_exit([&] {
    decoder(expanded_size);
    if (!skip) window_flush();
  });
  run.produced = output_position;
  run.stream_position = archive_stream.stream_position;
  run.messages = scripted.messages;
  run.pieces = pieces;
  if (!skip && output_file.is_open) {
    platform_files->close(&output_file);
    platform_files->io_result();
  }
  if (!skip && std::filesystem::exists(dir_ / "out.bin")) {
    run.output = read_file(dir_ / "out.bin");
    std::filesystem::remove(dir_ / "out.bin");
  }
  scripted.on_pump = nullptr;
  return run;
}

std::vector<entry_run> expand_all(entry_decoder decoder, const std::vector<uint8_t>& payload,
                                  const std::vector<int32_t>& sizes, const std::string& password) {
  coded_stream stream;
  stream.open(payload, password);
  std::vector<entry_run> runs;
  for (int32_t size : sizes) {
    runs.push_back(stream.expand(decoder, size));
    if (runs.back().exit_code != -1) break;
  }
  return runs;
}
