#include "cli/cli_files.h"

#include "cli/console.h"

cli_file_counts cli_files_seen;

namespace {

const file_layer& real = system_file_layer();

// A dry output file has no descriptor: this handle stands for it.
constexpr intptr_t dry_handle = -1;

bool is_dry(const platform_file* file) { return file->is_open && file->handle == dry_handle; }

void open_read(platform_file* file, const char* path) {
  real.open_read(file, path);
  if (!file->is_open) return;
  cli_files_seen.archive_position = 0;
  cli_files_seen.archive_length = static_cast<uint32_t>(real.length(file));
}

void seek(platform_file* file, int32_t offset) {
  real.seek(file, offset);
  cli_files_seen.archive_position = offset;
}

void read_exact(platform_file* file, void* buffer, int32_t count) {
  real.read_exact(file, buffer, count);
  cli_files_seen.archive_position += count;
}

int32_t read_counted(platform_file* file, void* buffer, int32_t count) {
  int32_t got = real.read_counted(file, buffer, count);
  if (got > 0) cli_files_seen.archive_position += got;
  return got;
}

void count_written(int32_t count) {
  cli_files_seen.bytes_written += count;
  cli_files_seen.entry_bytes += count;
}

void create_write(platform_file* file, const char* path) {
  cli_files_seen.entry_bytes = 0;
  real.create_write(file, path);
}

void write_exact(platform_file* file, const void* buffer, int32_t count) {
  real.write_exact(file, buffer, count);
  count_written(count);
}

int io_result() {
  int code = real.io_result();
  if (code) cli_files_seen.last_error = code;
  return code;
}

void dry_create_write(platform_file* file, const char*) {
  cli_files_seen.entry_bytes = 0;
  file->handle = dry_handle;
  file->is_open = true;
}

void dry_write_exact(platform_file* file, const void* buffer, int32_t count) {
  if (!is_dry(file)) return write_exact(file, buffer, count);
  count_written(count);
}

void dry_close(platform_file* file) {
  if (is_dry(file)) {
    file->is_open = false;
  } else {
    real.close(file);
  }
}

bool dry_set_times(platform_file* file, const file_time* c, const file_time* a, const file_time* w) {
  return is_dry(file) || real.set_times(file, c, a, w);
}

void dry_remove(const char*) {}
path_kind dry_find_path(const char*) { return path_absent; }
bool dry_create_folder(const char*) { return true; }

file_layer watched_layer() {
  file_layer layer = real;
  layer.open_read = open_read;
  layer.seek = seek;
  layer.read_exact = read_exact;
  layer.read_counted = read_counted;
  layer.create_write = create_write;
  layer.write_exact = write_exact;
  layer.io_result = io_result;
  return layer;
}

file_layer dry_layer() {
  file_layer layer = watched_layer();
  layer.create_write = dry_create_write;
  layer.write_exact = dry_write_exact;
  layer.close = dry_close;
  layer.set_times = dry_set_times;
  layer.remove = dry_remove;
  layer.find_path = dry_find_path;
  layer.create_folder = dry_create_folder;
  return layer;
}

}  // namespace

const file_layer cli_file_layer = watched_layer();
const file_layer cli_dry_file_layer = dry_layer();
