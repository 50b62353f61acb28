// The encoder: the exact mirror of the extractor's decoder.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvex::pack {

enum class level { fast, normal, max };

// The coded data of one file entry, as whole bytes: bits fill each byte from
// bit 0 and the unused high bits of the last byte are zero. An empty input
// gives no bytes.
std::vector<uint8_t> encode_entry(const uint8_t* data, size_t size, level effort = level::normal);

}  // namespace quorvex::pack
