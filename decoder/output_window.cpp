#include "decoder/output_window.h"

#include <string.h>

#include "app/failure_exits.h"
#include "archive/process_state.h"

uint8_t skip_flag;
uint8_t window_buffer[window_size];
int32_t window_base;
int32_t output_position;

static void write_front(int32_t count) {
  platform_files->write_exact(&output_file, window_buffer, count);
  if (platform_files->io_result() != 0) report_write_failure();
}

void window_reset() {
  output_position = 0;
  window_base = 0;
}

void window_shift() {
  if (skip_flag == 0) write_front(window_piece);
  memcpy(window_buffer, window_buffer + window_piece, window_history);
  window_base += window_piece;
}

void window_copy(int32_t distance, int32_t length) {
  // Byte by byte, each read against the window_base of its moment, since a
  // copy may cross a shift. The hot loop copies its matches wide itself and
  // leaves only those at the end of a block or of the window to this.
  for (int32_t k = 0; k < length; ++k) window_put(window_byte(output_position - distance));
}

void window_flush() {
  if (output_position > window_base) write_front(output_position - window_base);
}
