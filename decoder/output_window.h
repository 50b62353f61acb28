// The output window: the entry's bytes on their way to output_file, written in
// 32768-byte pieces while the last 8192 bytes stay for later matches.
#pragma once
#include <stdint.h>

// The farthest a match reaches back is the history the window keeps.
constexpr int32_t window_history = 8192;
constexpr int32_t window_piece = 32768;
constexpr int32_t window_size = window_piece + window_history;

// 1: the current entry is decoded but nothing is written.
extern uint8_t skip_flag;

// Position 0 is the entry's first byte. The buffer holds the positions from
// window_base (a multiple of 32768) up to output_position - 1, at index
// position - window_base; once window_base is above 0 it holds at least 8193.
extern uint8_t window_buffer[window_size];
extern int32_t window_base;
extern int32_t output_position;

void window_reset();
// Writes the first piece of a full buffer (unless skipping) and moves the
// history to the front.
void window_shift();

// The test comes before the store: a buffer that ends up exactly full is
// written whole by window_flush.
inline void window_put(uint8_t byte) {
  if (output_position - window_base >= window_size) window_shift();
  window_buffer[output_position - window_base] = byte;
  ++output_position;
}

// `position` lies within the last 8192 bytes appended.
inline uint8_t window_byte(int32_t position) { return window_buffer[position - window_base]; }

// Appends `length` bytes, each a copy of the byte `distance` places before it,
// so a distance shorter than the length repeats the last `distance` bytes.
// The same as window_put(window_byte(output_position - distance)) per byte.
void window_copy(int32_t distance, int32_t length);

// Writes what the window still holds to output_file.
void window_flush();
