// The file layer of the fuzz target: the archive is served from memory, every
// other call goes to the POSIX layer. Two guards keep one input's work small
// and contained: writes stop, like a full disk, once a budget is spent, and a
// call that would create, write or delete anything outside the destination
// folder aborts the process before it happens.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "platform/platform.h"

// The name under which open_read finds the archive in memory.
extern const char fuzz_archive_name[];

extern const file_layer fuzz_file_layer;

// Serves `size` bytes of `archive` after a stand-in program image of 25600
// bytes; the bytes must stay valid until the next call. `destination` is the
// UTF-8 folder (no trailing slash) under which the run may change the disk.
// Resets the write budget to `write_budget` bytes.
void fuzz_files_serve(const uint8_t* archive, size_t size, const char* destination, int64_t write_budget);

// Bytes the layer let through to output files since fuzz_files_serve.
int64_t fuzz_files_written();
