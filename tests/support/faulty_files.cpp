#include "support/faulty_files.h"

#include <set>

#include "platform/posix/posix_files.h"

fault_plan faults;
fault_counts fault_calls;

namespace {

int injected_error;
std::set<intptr_t> written_handles;

const file_layer& real = posix_file_layer;

bool hits(int plan, int count) { return plan != 0 && plan == count; }

void create_write(platform_file* file, const char* path) {
  if (hits(faults.fail_create_write, ++fault_calls.create_write)) {
    injected_error = faults.error_code;
    return;
  }
  real.create_write(file, path);
  if (file->is_open) written_handles.insert(file->handle);
}

int32_t read_counted(platform_file* file, void* buffer, int32_t count) {
  if (hits(faults.fail_read_counted, ++fault_calls.read_counted)) {
    injected_error = 5;  // EIO
    return -1;
  }
  return real.read_counted(file, buffer, count);
}

void write_exact(platform_file* file, const void* buffer, int32_t count) {
  ++fault_calls.write;
  if (hits(faults.fail_write, fault_calls.write)) {
    injected_error = faults.error_code;
    return;
  }
  if (hits(faults.short_write, fault_calls.write)) {
    real.write_exact(file, buffer, count / 2);
    injected_error = faults.error_code;
    return;
  }
  if (faults.disk_space >= 0 && count > faults.disk_space) {
    real.write_exact(file, buffer, static_cast<int32_t>(faults.disk_space));
    faults.disk_space = 0;
    injected_error = 28;  // ENOSPC
    return;
  }
  real.write_exact(file, buffer, count);
  if (faults.disk_space >= 0) faults.disk_space -= count;
}

void close_file(platform_file* file) {
  bool output = file->is_open && written_handles.erase(file->handle) > 0;
  real.close(file);
  if (output && hits(faults.fail_close_output, ++fault_calls.close_output)) injected_error = faults.error_code;
}

bool set_times(platform_file* file, const file_time* c, const file_time* a, const file_time* w) {
  if (hits(faults.fail_set_times, ++fault_calls.set_times)) return false;
  return real.set_times(file, c, a, w);
}

int io_result() {
  int code = real.io_result();
  if (injected_error) code = injected_error;
  injected_error = 0;
  return code;
}

// The layer is filled in at start-up from the real one, then the wrapped
// operations are put in place.
file_layer make_layer() {
  file_layer layer = posix_file_layer;
  layer.create_write = create_write;
  layer.read_counted = read_counted;
  layer.write_exact = write_exact;
  layer.close = close_file;
  layer.set_times = set_times;
  layer.io_result = io_result;
  return layer;
}

}  // namespace

const file_layer faulty_file_layer = make_layer();

void reset_faults() {
  faults = fault_plan{};
  fault_calls = fault_counts{};
  injected_error = 0;
  written_handles.clear();
}
