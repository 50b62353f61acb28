// The process-wide items that several rooms share: the two files, the flags
// that stop a run, and the name under which the output file was opened.
#pragma once
#include <stdint.h>

#include "platform/byte_string.h"
#include "platform/platform.h"

// The program's own file, read front to back once.
extern platform_file archive_file;
// The file being written; at most one at a time.
extern platform_file output_file;
// The name `output_file` was opened under, for the deletion after a failure.
extern byte_string output_path;

// Set by Cancel (progress window, overwrite question); cleared by extract_all.
extern volatile uint8_t cancel_requested;
// Set with the last payload byte of the block stream.
extern uint8_t end_of_archive;
