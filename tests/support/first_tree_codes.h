// Coded data written by hand, for the trees every entry starts with: symbol s
// is the 9-bit code s XOR 0x0AA, most significant bit first; extra bits go
// least significant first. Bits fill each byte from bit 0.
#pragma once
#include <cstdint>
#include <vector>

struct first_tree_codes {
  std::vector<uint8_t> bytes;
  int used = 8;

  void bit(int b) {
    if (used == 8) {
      bytes.push_back(0);
      used = 0;
    }
    bytes.back() |= static_cast<uint8_t>(b << used++);
  }
  void symbol(int s) {
    for (int i = 8; i >= 0; --i) bit(((s ^ 0x0AA) >> i) & 1);
  }
  void extra(int value, int count) {
    for (int i = 0; i < count; ++i) bit((value >> i) & 1);
  }
};
