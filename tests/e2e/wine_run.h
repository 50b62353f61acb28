// Running a self-extracting file made from the real stub under Wine, through
// the driver, and reading back what the driver saw.
#pragma once
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "pack/container.h"
#include "pack/payload.h"

// The stub as the win32 build made it.
std::vector<uint8_t> stub_image();
std::filesystem::path win32_build_file(const std::string& name);

// The Windows name of a Linux path (Wine's drive Z: is the root).
std::string windows_path(const std::filesystem::path& path);

// A FILETIME for a Unix time in seconds plus 100-nanosecond ticks.
uint64_t filetime_of(int64_t unix_seconds, uint32_t ticks = 0);
// The last-write time of a file as a FILETIME.
uint64_t last_write_filetime(const std::filesystem::path& file);

struct driver_options {
  std::filesystem::path cwd;       // the program's current directory
  std::string cwd_windows;         // the same as a Windows path, instead
  bool has_destination = false;
  std::string destination;         // UTF-8, as typed
  std::vector<std::string> passwords;
  std::vector<std::string> answers;  // "yes", "no", "cancel"
  std::vector<std::string> browses;
  std::string cancel_when_status;  // UTF-8 prefix; empty: never
  bool report_layout = false;
  bool extract_during_question = false;
  int timeout_ms = 60000;
};

// What the driver reported, one JSON object per event.
struct driver_run {
  std::vector<nlohmann::json> events;
  int driver_status = -1;

  std::vector<nlohmann::json> of(const std::string& event) const;
  const nlohmann::json& setup() const;
  std::vector<std::string> message_texts() const;
  std::vector<std::string> statuses() const;
  int exit_code() const;  // -1 when there was no exit event
  std::string dump() const;
};

// Runs `sfx` under Wine through the driver.
driver_run run_driver(const std::filesystem::path& sfx, const driver_options& options);

// Writes the self-extracting file `sfx` with the real stub.
void write_sfx(const std::filesystem::path& sfx, const quorvex::pack::header_fields& header,
               const std::vector<uint8_t>& payload);
