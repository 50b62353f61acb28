#include "fuzz_files.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/posix/posix_files.h"

const char fuzz_archive_name[] = "<archive in memory>";

namespace {

constexpr intptr_t memory_handle = -2;
constexpr int32_t image_size = 25600;

const file_layer& real = posix_file_layer;

const uint8_t* served;
int32_t served_size;
int64_t position;
const char* destination_folder;
size_t destination_length;
int64_t budget_left;
int64_t written;
int memory_error;

bool in_memory(const platform_file* file) { return file->is_open && file->handle == memory_handle; }

// Byte `offset` of the whole file: a patterned image, then the archive.
uint8_t byte_at(int64_t offset) {
  if (offset < image_size) return static_cast<uint8_t>(offset * 7 + 3);
  return served[offset - image_size];
}

int64_t file_length() { return image_size + static_cast<int64_t>(served_size); }

int32_t copy_out(void* buffer, int32_t count) {
  int64_t left = file_length() - position;
  int32_t n = left < 0 ? 0 : (left < count ? static_cast<int32_t>(left) : count);
  uint8_t* out = static_cast<uint8_t*>(buffer);
  for (int32_t i = 0; i < n; ++i) out[i] = byte_at(position + i);
  position += n;
  return n;
}

// The run may change the disk only strictly below the destination folder and
// never through a ".." component. Anything else is the bug this target hunts
// for: stop at once, before the call is made.
void check_inside(const char* cp932_path, const char* what) {
  byte_string native = {};
  if (!utf8_path_from_archive(cp932_path, &native)) {
    text_release(&native);
    return;  // the POSIX layer refuses it too; nothing reaches the disk
  }
  const char* p = text_c_str(&native);
  bool inside = strncmp(p, destination_folder, destination_length) == 0 && p[destination_length] == '/';
  for (const char* c = p + destination_length; inside && *c;) {
    const char* end = strchr(c + 1, '/');
    if (!end) end = c + strlen(c);
    if (end - c == 3 && memcmp(c, "/..", 3) == 0) inside = false;
    c = end;
  }
  if (!inside) {
    fprintf(stderr, "fuzz: %s outside the destination folder: %s\n", what, p);
    abort();
  }
  text_release(&native);
}

void open_read(platform_file* file, const char* path) {
  if (strcmp(path, fuzz_archive_name) != 0) return real.open_read(file, path);
  file->handle = memory_handle;
  file->is_open = true;
  position = 0;
}

void create_write(platform_file* file, const char* path) {
  check_inside(path, "file created");
  real.create_write(file, path);
}

int32_t length(platform_file* file) {
  if (!in_memory(file)) return real.length(file);
  return static_cast<int32_t>(file_length());
}

void seek(platform_file* file, int32_t offset) {
  if (!in_memory(file)) return real.seek(file, offset);
  position = offset;
}

void read_exact(platform_file* file, void* buffer, int32_t count) {
  if (!in_memory(file)) return real.read_exact(file, buffer, count);
  if (copy_out(buffer, count) < count) memory_error = EIO;
}

int32_t read_counted(platform_file* file, void* buffer, int32_t count) {
  if (!in_memory(file)) return real.read_counted(file, buffer, count);
  return copy_out(buffer, count);
}

// A disk of `budget_left` free bytes: what fits is written, then ENOSPC.
void write_exact(platform_file* file, const void* buffer, int32_t count) {
  if (count > budget_left) {
    real.write_exact(file, buffer, static_cast<int32_t>(budget_left));
    written += budget_left;
    budget_left = 0;
    memory_error = ENOSPC;
    return;
  }
  real.write_exact(file, buffer, count);
  budget_left -= count;
  written += count;
}

bool at_end(platform_file* file) {
  if (!in_memory(file)) return real.at_end(file);
  return position >= file_length();
}

void close_file(platform_file* file) {
  if (!in_memory(file)) return real.close(file);
  file->is_open = false;
}

void remove_file(const char* path) {
  check_inside(path, "file deleted");
  real.remove(path);
}

int io_result() {
  int code = real.io_result();
  if (memory_error) code = memory_error;
  memory_error = 0;
  return code;
}

bool create_folder(const char* path) {
  check_inside(path, "folder created");
  return real.create_folder(path);
}

}  // namespace

const file_layer fuzz_file_layer = {
    open_read,  create_write, length,         seek,          read_exact,     read_counted,
    write_exact, at_end,      close_file,     remove_file,   io_result,      posix_file_layer.find_path,
    create_folder, posix_file_layer.set_times, posix_file_layer.char_next,
};

void fuzz_files_serve(const uint8_t* archive, size_t size, const char* destination, int64_t write_budget) {
  served = archive;
  served_size = static_cast<int32_t>(size);
  position = 0;
  destination_folder = destination;
  destination_length = strlen(destination);
  budget_left = write_budget;
  written = 0;
  memory_error = 0;
}

int64_t fuzz_files_written() { return written; }
