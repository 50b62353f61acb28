// Decode speed in MB/s of expanded bytes: every corpus file is packed once,
// then expanded again and again as a skipped entry (no output file), by the
// production decoder and by the bitwise reference. A rebuild point (both
// trees and their tables) is timed on its own.
//
//   build/host/bench/decode_bench [--benchmark_filter=...]
//   corpus folder: QUORVEX_CORPUS env var, else the QUORVEX_CORPUS_DIR option
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "app/archive_opening.h"
#include "archive/archive.h"
#include "decoder/code_table.h"
#include "decoder/code_tree.h"
#include "decoder/coded_data.h"
#include "decoder/decoder.h"
#include "decoder/output_window.h"
#include "pack/container.h"
#include "pack/encoder.h"
#include "pack/lz_parse.h"
#include "platform/posix/posix_files.h"
#include "support/reference_decoder.h"

namespace fs = std::filesystem;

namespace {

int show_message(message_id id, const char*) {
  std::fprintf(stderr, "decode_bench: the decoder showed message %d\n", static_cast<int>(id));
  return reply_ok;
}
void show_status(status_id, const char*) {}
void pump() {}
void end(int code) { std::exit(code == 0 ? 0 : 3); }
void show_comment(const char*) {}
void mask_password() {}
void read_password(byte_string*) {}
void focus_password() {}
const user_front quiet_front = {show_message, show_status,   pump,          end,
                                show_comment, mask_password, read_password, focus_password};

struct packed_file {
  std::string name;
  fs::path archive;
  int32_t size;
};

std::vector<uint8_t> read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path corpus_folder() {
  const char* env = std::getenv("QUORVEX_CORPUS");
  return env ? fs::path(env) : fs::path(QUORVEX_CORPUS_DIR);
}

// Each corpus file as the only entry's coded data of an archive file.
std::vector<packed_file> pack_corpus(const fs::path& work) {
  std::vector<packed_file> packed;
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(corpus_folder())) {
    if (e.is_regular_file() && e.path().extension() != ".md") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    std::vector<uint8_t> data = read_bytes(file);
    std::vector<uint8_t> coded = quorvex::pack::encode_entry(data.data(), data.size());
    std::vector<uint8_t> archive =
        quorvex::pack::make_archive_file(std::vector<uint8_t>(quorvex::pack::stub_size), {}, coded);
    fs::path target = work / (file.filename().string() + ".exe");
    std::ofstream(target, std::ios::binary).write(reinterpret_cast<const char*>(archive.data()),
                                                  static_cast<std::streamsize>(archive.size()));
    packed.push_back({file.filename().string(), target, static_cast<int32_t>(data.size())});
  }
  return packed;
}

void expand_packed(const packed_file& file, void (*decoder)(int32_t)) {
  open_archive(file.archive.c_str());
  end_of_archive = 0;
  skip_flag = 1;
  decoder(file.size);
  platform_files->close(&archive_file);
  platform_files->io_result();
}

void decode_files(benchmark::State& state, const std::vector<packed_file>* files, void (*decoder)(int32_t)) {
  int64_t bytes = 0;
  for (auto _ : state) {
    for (const packed_file& f : *files) {
      expand_packed(f, decoder);
      bytes += f.size;
    }
  }
  state.SetBytesProcessed(bytes);
}

// The two models as the decoder holds them at every rebuild point of the
// corpus files, captured by replaying the encoder's parse.
struct model_inputs {
  int32_t frequency_table[code_symbols];
  int32_t order_table[code_symbols];
};

std::vector<model_inputs> capture_rebuild_inputs() {
  std::vector<model_inputs> inputs;
  static code_model models[2];
  for (const auto& e : fs::directory_iterator(corpus_folder())) {
    if (!e.is_regular_file() || e.path().extension() == ".md") continue;
    std::vector<uint8_t> data = read_bytes(e.path());
    quorvex::pack::parse_limits limits = {128, 16, 64, 256, 16};
    std::vector<quorvex::pack::lz_token> tokens = quorvex::pack::parse_lazy(data.data(), data.size(), limits);
    reset_model(&models[0]);
    reset_model(&models[1]);
    int32_t count = 0;
    for (const auto& t : tokens) {
      if (is_rebuild_point(count)) {
        for (code_model& m : models) {
          model_inputs in;
          std::copy(std::begin(m.frequency_table), std::end(m.frequency_table), in.frequency_table);
          std::copy(std::begin(m.order_table), std::end(m.order_table), in.order_table);
          inputs.push_back(in);
          rebuild_model(&m);
        }
      }
      if (t.is_literal()) {
        ++models[0].frequency_table[t.value];
      } else {
        ++models[0].frequency_table[t.length <= longest_plain_length ? t.length + length_bias : long_match_symbol];
        ++models[1].frequency_table[(t.value - 1) >> distance_bits];
      }
      ++count;
    }
  }
  return inputs;
}

// One rebuild point: both trees and both lookup tables, from the counts and
// orders the corpus gives, in the decoder's form of the models.
void rebuild_points(benchmark::State& state, const std::vector<model_inputs>* inputs) {
  static list_model model;
  static code_table table;
  int64_t points = 0;
  for (auto _ : state) {
    for (const model_inputs& in : *inputs) {
      std::copy(std::begin(in.frequency_table), std::end(in.frequency_table), model.frequency_table);
      for (int32_t s = 0; s < code_symbols; ++s) model.leaf_list[in.order_table[s]] = static_cast<int16_t>(s);
      rebuild_list_model(&model);
      fill_code_table(model.joined_children, &table);
    }
    points += static_cast<int64_t>(inputs->size() / 2);
  }
  state.SetItemsProcessed(points);
  state.counters["us_per_point"] =
      benchmark::Counter(static_cast<double>(points), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

int main(int argc, char** argv) {
  install_platform(&posix_file_layer, &quiet_front);
  fs::path work = fs::temp_directory_path() / "quorvex-decode-bench";
  fs::create_directories(work);
  static std::vector<packed_file> files = pack_corpus(work);
  if (files.empty()) {
    std::fprintf(stderr, "decode_bench: no files in %s\n", corpus_folder().c_str());
    return 2;
  }
  benchmark::RegisterBenchmark("decode/production/corpus", decode_files, &files, expand_entry)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("decode/reference/corpus", decode_files, &files, reference_expand_entry)
      ->Unit(benchmark::kMillisecond);
  static std::vector<std::vector<packed_file>> singles;
  singles.reserve(files.size());
  for (const packed_file& f : files) {
    singles.push_back({f});
    benchmark::RegisterBenchmark(("decode/production/" + f.name).c_str(), decode_files, &singles.back(), expand_entry)
        ->Unit(benchmark::kMillisecond);
  }
  static std::vector<model_inputs> inputs = capture_rebuild_inputs();
  benchmark::RegisterBenchmark("rebuild_point/corpus", rebuild_points, &inputs)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(work);
  return 0;
}
