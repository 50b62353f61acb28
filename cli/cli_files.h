// The file layer of the portable tool: the system's layer, watched so that the
// progress line and the messages can tell how far the archive has been read
// and why a write failed. The dry-run variant makes, writes and deletes
// nothing (list, test): to the extraction run every path is free and every
// folder and file it makes is made, and written bytes are only counted.
#pragma once
#include <cstdint>

#include "platform/platform.h"

struct cli_file_counts {
  int64_t archive_length = 0;    // of the file opened for reading
  int64_t archive_position = 0;  // of that file: how far it has been read
  int64_t bytes_written = 0;     // to output files, dry runs included
  int64_t entry_bytes = 0;       // to the output file open now
  int last_error = 0;            // the last I/O result that was not 0
};
extern cli_file_counts cli_files_seen;

extern const file_layer cli_file_layer;
extern const file_layer cli_dry_file_layer;
