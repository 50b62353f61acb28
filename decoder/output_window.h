// The output window: the entry's bytes on their way to output_file, written in
// 32768-byte pieces while the last 8192 bytes stay for later matches.
#pragma once
#include <stdint.h>

// 1: the current entry is decoded but nothing is written.
extern uint8_t skip_flag;

void window_reset();
void window_put(uint8_t byte);
uint8_t window_byte(int32_t position);
// Writes what the window still holds to output_file.
void window_flush();
