// The ways out of the program when a file operation fails. None returns.
#pragma once

// Closes archive_file, deletes output_file when it is still open, exit code 1.
[[noreturn]] void abort_run();
// "reading the file failed", then abort_run.
[[noreturn]] void report_read_failure();
// "writing the file failed", then abort_run.
[[noreturn]] void report_write_failure();
// "the file is damaged", then abort_run.
[[noreturn]] void report_damaged_archive();
