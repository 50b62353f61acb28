// The fuzz target: one input is an archive as it follows the program image.
// It runs the whole read path of the extractor as the stub runs it: opening
// and header, password check with the typed password "fuzz", then the
// extraction into a scratch folder through the POSIX file layer. Every way
// the run ends is fine as long as it ends through one of the extractor's own
// exits, leaves no file open and touches nothing outside the destination.
//
// An input whose total_size is not its true length is taken as a sketch: its
// total_size and the CRC of every block are set right before it is served
// (the CRCs over the bytes de-scrambled with "fuzz"), so that mutations reach
// the records and the decoder instead of stopping at the first block check.
// An input that is a true archive is served exactly as it is, and so is one
// whose total_size is one off, for the size rule's two messages.
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/archive_opening.h"
#include "archive/archive.h"
#include "archive/process_state.h"
#include "extract/extract.h"
#include "fuzz_files.h"
#include "platform/texts.h"

namespace {

constexpr char typed_password[] = "fuzz";
// Enough for a few 32768-byte pieces; a larger entry ends like a full disk.
constexpr int64_t write_budget = 4 << 20;
// Pumps within one entry before the user gives up and presses Cancel: bounds
// an entry that is decoded but skipped, which the write budget cannot.
constexpr int pump_limit = 24;

std::filesystem::path scratch;      // holds `outer` alone
std::filesystem::path outer;        // holds `destination` alone
std::filesystem::path destination;  // where the archive is extracted
std::string destination_text;       // the same, code page 932 with backslashes

jmp_buf exit_point;
int exit_code;
int messages_shown;
int last_message = -1;
int questions_asked;
int pumps_in_entry;

void end_run(int code) {
  exit_code = code;
  longjmp(exit_point, 1);
}

// Overwrite questions are answered yes, no, yes, cancel, over and over, so
// that written, skipped and cancelled entries all come up.
int show_message(message_id id, const char* detail) {
  ++messages_shown;
  last_message = id;
  byte_string text = {};
  compose_message(id, detail, &text);
  text_release(&text);
  if (id != message_overwrite) return reply_yes;
  static const int replies[] = {reply_yes, reply_no, reply_yes, reply_cancel};
  return replies[questions_asked++ % 4];
}

void show_status(status_id id, const char* full_path) {
  if (id == status_processing) pumps_in_entry = 0;
  byte_string text = {};
  compose_status(id, full_path, &text);
  text_release(&text);
}

void pump_one_message() {
  if (++pumps_in_entry > pump_limit) cancel_requested = 1;
}

void show_comment(const char* text) { (void)strlen(text); }
void mask_password() {}
void read_password(byte_string* out) { text_assign_c_str(out, typed_password); }
void focus_password() {}

const user_front fuzz_front = {
    show_message, show_status, pump_one_message, end_run, show_comment, mask_password, read_password, focus_password,
};

void put_u32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Sets total_size and the block CRCs of a sketch. A header cut short is left
// as it is: the run stops in the header.
void repair(std::vector<uint8_t>& archive) {
  put_u32(archive.data(), static_cast<uint32_t>(stub_size + archive.size()));
  size_t at = 4;
  for (int text = 0; text < 2; ++text) {
    while (at < archive.size() && archive[at] != 0) ++at;
    ++at;
  }
  if (at >= archive.size()) return;
  bool protected_archive = archive[at++] != 0;
  if (protected_archive) at += 2;
  size_t key = 0;
  while (at + 3 <= archive.size()) {
    size_t block = archive.size() - at < size_t{block_read_size} ? archive.size() - at : size_t{block_read_size};
    size_t data = block - block_crc_size;
    uint8_t plain[block_data_size];
    for (size_t i = 0; i < data; ++i) {
      plain[i] = archive[at + i];
      if (protected_archive) plain[i] ^= static_cast<uint8_t>(typed_password[key++ % (sizeof typed_password - 1)]);
    }
    static const uint8_t zeros[2] = {0, 0};
    uint32_t crc = crc16_run(crc16_run(0, plain, static_cast<int32_t>(data)), zeros, 2);
    archive[at + data] = static_cast<uint8_t>(crc >> 8);
    archive[at + data + 1] = static_cast<uint8_t>(crc);
    at += block;
  }
}

// The process-wide state as a fresh process has it.
void reset_process_state() {
  archive_stream = archive_stream_state{};
  total_size = 0;
  archive_protected = 0;
  expected_check = 0;
  text_clear(&password);
  text_clear(&launch_target);
  archive_file = platform_file{};
  output_file = platform_file{};
  text_clear(&output_path);
  cancel_requested = 0;
  end_of_archive = 0;
}

// Returns the exit code, or -1 when the run came back without ending the
// process. Nothing here may own an object with a destructor: the exits
// longjmp out of it.
int run_extractor() {
  if (setjmp(exit_point) != 0) return exit_code;
  if (open_archive(fuzz_archive_name) || !check_password()) {
    platform_files->close(&archive_file);
    platform_files->io_result();
    return -1;
  }
  extract_all(destination_text.c_str());
  return -1;
}

[[noreturn]] void fail(const char* what) {
  fprintf(stderr, "fuzz: %s\n", what);
  abort();
}

// Only `outer` may be in the scratch folder, and only `destination` in it.
void check_nothing_outside() {
  for (const auto& [folder, only] : {std::pair{scratch, outer}, std::pair{outer, destination}}) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path() != only) fail(("something appeared outside the destination: " + entry.path().string()).c_str());
    }
  }
}

void remove_scratch() {
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
}

}  // namespace

// The failure exits end the process by design, and here they longjmp out of
// frames that still hold their texts: what a process end would free is left
// behind, which is no leak of the extractor.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Memory-backed when the machine has it: every input makes and removes files.
  for (std::filesystem::path base : {std::filesystem::path("/dev/shm"), std::filesystem::temp_directory_path()}) {
    std::string pattern = (base / "quorvex-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data())) {
      scratch = pattern;
      break;
    }
  }
  if (scratch.empty()) fail("cannot make the scratch folder");
  outer = scratch / "outer";
  destination = outer / "destination";
  std::filesystem::create_directories(destination);
  destination_text = destination.string() + "/";
  for (char& c : destination_text) {
    if (c == '/') c = '\\';
  }
  atexit(remove_scratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return -1;  // far beyond what a run can use
  std::vector<uint8_t> archive(data, data + size);
  if (size >= 4) {
    uint32_t stored = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
    // One off either way is left alone too: the two size messages stay in reach.
    uint32_t truth = static_cast<uint32_t>(stub_size + size);
    if (stored != truth && stored != truth - 1 && stored != truth + 1) repair(archive);
  }

  reset_process_state();
  messages_shown = 0;
  last_message = -1;
  questions_asked = 0;
  pumps_in_entry = 0;
  fuzz_files_serve(archive.data(), archive.size(), destination.c_str(), write_budget);
  install_platform(&fuzz_file_layer, &fuzz_front);

  int code = run_extractor();

  if (archive_file.is_open) fail("the archive is still open after the run");
  if (output_file.is_open) fail("an output file is still open after the run");
  // Every exit shows its message first; a run that came back ended normally
  // or was cancelled, and needs none.
  if (code >= 0 && messages_shown == 0) fail("the run ended without a message");
  if (code != -1 && code != 0 && code != 1) fail("an exit code other than 0 and 1");
  check_nothing_outside();
  // QUORVEX_FUZZ_VERBOSE=1 tells how each input ended, for reading a corpus.
  static const bool verbose = getenv("QUORVEX_FUZZ_VERBOSE") != nullptr;
  if (verbose) {
    size_t made = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(destination);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
      ++made;
    }
    fprintf(stderr, "fuzz: exit %d, %d messages, last %d, %zu things made, %lld bytes written\n", code,
            messages_shown, last_message, made, static_cast<long long>(fuzz_files_written()));
  }

  std::filesystem::remove_all(destination);
  std::filesystem::create_directory(destination);
  return 0;
}
