// Writing a self-extracting file for a test and opening it with the
// extractor's own start-up path.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "pack/container.h"

// A stand-in program image: 25600 bytes that are not a program.
std::vector<uint8_t> fake_stub_image();

// The whole file for `payload` under `header`.
std::vector<uint8_t> archive_file_bytes(const quorvex::pack::header_fields& header,
                                        const std::vector<uint8_t>& payload);

// The archive path as the logic takes it: code page 932, backslashes.
std::string logic_path(const std::filesystem::path& path);
