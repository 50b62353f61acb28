// Generated entry data of the kinds a packer meets: noise, text with repeats
// at all distances, and long runs of one byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

std::vector<uint8_t> random_bytes(size_t size, uint32_t seed);

// Words from a small vocabulary with some punctuation.
std::vector<uint8_t> text_like(size_t size, uint32_t seed);

// Runs of one byte, up to far beyond the longest match, between short noise.
std::vector<uint8_t> long_runs(size_t size, uint32_t seed);
