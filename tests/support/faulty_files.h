// A file layer that wraps the POSIX one and makes chosen operations fail, the
// way a full disk, a pulled cable or a flaky share would. It plugs into the
// same interface as the real layers.
#pragma once
#include "platform/platform.h"

struct fault_plan {
  // Each counter names the call (from 1) that fails; 0 never fails.
  int fail_read_counted = 0;   // returns -1 with an I/O error
  int fail_write = 0;          // nothing written, I/O error (error_code)
  int short_write = 0;         // half the bytes written, then an I/O error
  int fail_set_times = 0;
  int fail_close_output = 0;   // the n-th close of a file opened for writing
  int fail_create_write = 0;
  int error_code = 28;         // ENOSPC
  // Free space left on the disk, in bytes; -1 for no limit. A write that
  // does not fit writes what fits, then fails with ENOSPC.
  long long disk_space = -1;
};

extern fault_plan faults;
// Calls seen so far, for tests that aim at "the last piece".
struct fault_counts {
  int read_counted, write, set_times, close_output, create_write;
};
extern fault_counts fault_calls;

extern const file_layer faulty_file_layer;
// Clears the plan and the counts.
void reset_faults();
