// Writing a parse as coded data: the exact mirror of the extractor's decoder.
// The same two trees, rebuilt by the same builder at the same rebuild points
// from the same counts, and every code and extra bit in the order the decoder
// takes them.
#pragma once
#include <cstdint>
#include <vector>

#include "pack/lz_parse.h"

namespace quorvex::pack {

// Whole bytes, filled from bit 0; the unused high bits of the last are zero.
std::vector<uint8_t> write_coded_data(const std::vector<lz_token>& tokens);

}  // namespace quorvex::pack
