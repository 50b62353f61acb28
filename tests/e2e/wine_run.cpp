#include "wine_run.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>
#include <iterator>

#include "support/temp_dir.h"

std::filesystem::path win32_build_file(const std::string& name) {
  return std::filesystem::path(QUORVEX_WIN32_BUILD_DIR) / name;
}

std::vector<uint8_t> stub_image() {
  std::ifstream in(win32_build_file("quorvex-stub.exe"), std::ios::binary);
  EXPECT_TRUE(in) << "the win32 build has no quorvex-stub.exe";
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string windows_path(const std::filesystem::path& path) {
  std::string text = "Z:" + std::filesystem::absolute(path).lexically_normal().string();
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  if (text.size() > 3 && text.back() == '\\') text.pop_back();
  return text;
}

uint64_t filetime_of(int64_t unix_seconds, uint32_t ticks) {
  return static_cast<uint64_t>(unix_seconds + 11644473600LL) * 10000000ULL + ticks;
}

uint64_t last_write_filetime(const std::filesystem::path& file) {
  struct stat s = {};
  EXPECT_EQ(stat(file.c_str(), &s), 0) << file;
  return filetime_of(s.st_mtim.tv_sec, static_cast<uint32_t>(s.st_mtim.tv_nsec / 100));
}

std::vector<nlohmann::json> driver_run::of(const std::string& event) const {
  std::vector<nlohmann::json> found;
  for (const auto& e : events) {
    if (e.value("event", "") == event) found.push_back(e);
  }
  return found;
}

const nlohmann::json& driver_run::setup() const {
  static const nlohmann::json none = nlohmann::json::object();
  for (const auto& e : events) {
    if (e.value("event", "") == "setup") return e;
  }
  return none;
}

std::vector<std::string> driver_run::message_texts() const {
  std::vector<std::string> texts;
  for (const auto& e : of("message")) texts.push_back(e.value("text", ""));
  return texts;
}

std::vector<std::string> driver_run::statuses() const {
  std::vector<std::string> texts;
  for (const auto& e : of("status")) texts.push_back(e.value("text", ""));
  return texts;
}

int driver_run::exit_code() const {
  auto exits = of("exit");
  return exits.empty() ? -1 : exits.back().value("code", -1);
}

std::string driver_run::dump() const {
  std::string text = "driver status " + std::to_string(driver_status) + "\n";
  for (const auto& e : events) text += e.dump() + "\n";
  return text;
}

namespace {

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

}  // namespace

driver_run run_driver(const std::filesystem::path& sfx, const driver_options& options) {
  std::string command = "timeout 180 " + quoted(QUORVEX_SOURCE_DIR "/scripts/run-under-wine") + " --session " +
                        quoted(QUORVEX_WINE_SESSION) + " wine " + quoted(win32_build_file("e2e-driver.exe").string()) +
                        " " + quoted(windows_path(sfx));
  if (!options.cwd.empty()) command += " --cwd " + quoted(windows_path(options.cwd));
  if (!options.cwd_windows.empty()) command += " --cwd " + quoted(options.cwd_windows);
  if (options.has_destination) command += " --dest " + quoted(options.destination);
  for (const auto& p : options.passwords) command += " --password " + quoted(p);
  for (const auto& a : options.answers) command += " --answer " + quoted(a);
  for (const auto& b : options.browses) command += " --browse " + quoted(b);
  if (!options.cancel_when_status.empty()) command += " --cancel-when-status " + quoted(options.cancel_when_status);
  if (options.report_layout) command += " --report-layout";
  if (options.extract_during_question) command += " --extract-during-question";
  command += " --timeout-ms " + std::to_string(options.timeout_ms);
  command += " 2>/dev/null";

  driver_run run;
  FILE* out = popen(command.c_str(), "r");
  if (!out) {
    ADD_FAILURE() << "cannot run " << command;
    return run;
  }
  std::string line;
  char buffer[4096];
  while (fgets(buffer, sizeof buffer, out)) {
    line += buffer;
    if (line.empty() || line.back() != '\n') continue;
    auto parsed = nlohmann::json::parse(line, nullptr, false);
    if (parsed.is_discarded()) ADD_FAILURE() << "driver printed: " << line;
    else run.events.push_back(parsed);
    line.clear();
  }
  int status = pclose(out);
  run.driver_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  EXPECT_EQ(run.driver_status, 0) << run.dump();
  return run;
}

void write_sfx(const std::filesystem::path& sfx, const quorvex::pack::header_fields& header,
               const std::vector<uint8_t>& payload) {
  write_file(sfx, quorvex::pack::make_archive_file(stub_image(), header, payload));
}
