#include "app/failure_exits.h"

#include "archive/process_state.h"

void abort_run() {
  platform_files->close(&archive_file);
  platform_files->io_result();
  // The close succeeds exactly when the output file was still open: only then
  // is it a half-written file to be removed.
  platform_files->close(&output_file);
  if (platform_files->io_result() == 0) {
    platform_files->remove(text_c_str(&output_path));
    platform_files->io_result();
  }
  end_process(1);
}

[[noreturn]] static void report_and_abort(message_id id) {
  platform_front->show_message(id, nullptr);
  abort_run();
}

void report_read_failure() { report_and_abort(message_read_failure); }
void report_write_failure() { report_and_abort(message_write_failure); }
void report_damaged_archive() { report_and_abort(message_damaged); }

// A text that cannot grow any further comes from a damaged or hostile header.
void report_out_of_memory() { report_read_failure(); }
