#include "platform/posix/posix_files.h"

#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int last_error;

void fail(int code) { last_error = code ? code : EIO; }

bool convert(const char* from_code, const char* to_code, const char* in, byte_string* out) {
  text_clear(out);
  iconv_t cd = iconv_open(to_code, from_code);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  size_t in_left = strlen(in);
  char* in_ptr = const_cast<char*>(in);
  bool ok = true;
  char chunk[256];
  while (in_left > 0) {
    char* out_ptr = chunk;
    size_t out_left = sizeof chunk;
    size_t r = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    text_append(out, chunk, static_cast<int32_t>(out_ptr - chunk));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      ok = false;
      break;
    }
    if (r != static_cast<size_t>(-1) && r > 0) {  // characters converted only approximately
      ok = false;
      break;
    }
  }
  iconv_close(cd);
  return ok;
}

// The UTF-8 path of an archive path, or null (with EILSEQ) when it has none.
struct native_path {
  byte_string text = {};
  ~native_path() { text_release(&text); }
  const char* convert_from(const char* cp932_path) {
    if (utf8_path_from_archive(cp932_path, &text)) return text_c_str(&text);
    fail(EILSEQ);
    return nullptr;
  }
};

void open_with(platform_file* file, const char* path, int flags) {
  native_path native;
  const char* p = native.convert_from(path);
  if (!p) return;
  int fd = open(p, flags | O_CLOEXEC, 0666);
  if (fd < 0) {
    fail(errno);
    return;
  }
  file->handle = fd;
  file->is_open = true;
}

int fd_of(platform_file* file) { return file->is_open ? static_cast<int>(file->handle) : -1; }

void open_read(platform_file* file, const char* path) { open_with(file, path, O_RDONLY); }

void create_write(platform_file* file, const char* path) {
  open_with(file, path, O_RDWR | O_CREAT | O_TRUNC);
}

int32_t length(platform_file* file) {
  struct stat st;
  if (fstat(fd_of(file), &st) != 0) {
    fail(errno);
    return -1;
  }
  // The length as a 32-bit number, like GetFileSize's low half.
  return static_cast<int32_t>(static_cast<uint32_t>(st.st_size));
}

void seek(platform_file* file, int32_t offset) {
  if (lseek(fd_of(file), offset, SEEK_SET) < 0) fail(errno);
}

int32_t read_up_to(platform_file* file, void* buffer, int32_t count) {
  int32_t done = 0;
  while (done < count) {
    ssize_t r = read(fd_of(file), static_cast<char*>(buffer) + done, static_cast<size_t>(count - done));
    if (r < 0) {
      if (errno == EINTR) continue;
      fail(errno);
      return -1;
    }
    if (r == 0) break;
    done += static_cast<int32_t>(r);
  }
  return done;
}

void read_exact(platform_file* file, void* buffer, int32_t count) {
  int32_t done = read_up_to(file, buffer, count);
  if (done >= 0 && done < count) fail(EIO);
}

int32_t read_counted(platform_file* file, void* buffer, int32_t count) {
  return read_up_to(file, buffer, count);
}

void write_exact(platform_file* file, const void* buffer, int32_t count) {
  int32_t done = 0;
  while (done < count) {
    ssize_t w = write(fd_of(file), static_cast<const char*>(buffer) + done, static_cast<size_t>(count - done));
    if (w < 0) {
      if (errno == EINTR) continue;
      fail(errno);
      return;
    }
    if (w == 0) {
      fail(ENOSPC);
      return;
    }
    done += static_cast<int32_t>(w);
  }
}

bool at_end(platform_file* file) {
  struct stat st;
  off_t position = lseek(fd_of(file), 0, SEEK_CUR);
  if (position < 0 || fstat(fd_of(file), &st) != 0) return true;
  return position >= st.st_size;
}

void close_file(platform_file* file) {
  if (!file->is_open) {
    fail(EBADF);
    return;
  }
  file->is_open = false;
  if (close(static_cast<int>(file->handle)) != 0) fail(errno);
}

void remove_file(const char* path) {
  native_path native;
  const char* p = native.convert_from(path);
  if (p && unlink(p) != 0) fail(errno);
}

int io_result() {
  int code = last_error;
  last_error = 0;
  return code;
}

path_kind find_path(const char* path) {
  native_path native;
  const char* p = native.convert_from(path);
  struct stat st;
  if (!p || stat(p, &st) != 0) return path_absent;
  return S_ISDIR(st.st_mode) ? path_folder : path_file;
}

bool create_folder(const char* path) {
  native_path native;
  const char* p = native.convert_from(path);
  return p && mkdir(p, 0777) == 0;
}

// FILETIME counts 100 ns from 1601; Unix time counts seconds from 1970.
constexpr int64_t filetime_unix_epoch = 116444736000000000LL;

timespec timespec_of(const file_time* t) {
  // A FILETIME is unsigned: an archive may hold any 64-bit value, the
  // highest included. The epochs lie whole seconds apart, so the seconds and
  // the rest split cleanly before the epoch is moved.
  uint64_t ticks = (static_cast<uint64_t>(t->high) << 32) | t->low;
  timespec ts;
  ts.tv_sec = static_cast<time_t>(static_cast<int64_t>(ticks / 10000000) - filetime_unix_epoch / 10000000);
  ts.tv_nsec = static_cast<long>(ticks % 10000000 * 100);
  return ts;
}

// Linux keeps no creation time that can be set: the last-access and
// last-write times are.
bool set_times(platform_file* file, const file_time*, const file_time* last_access, const file_time* last_write) {
  timespec times[2] = {timespec_of(last_access), timespec_of(last_write)};
  return futimens(fd_of(file), times) == 0;
}

}  // namespace

const char* cp932_char_next(const char* position) {
  unsigned char lead = static_cast<unsigned char>(*position);
  if (lead == 0) return position;
  bool double_byte = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
  if (double_byte && position[1] != 0) return position + 2;
  return position + 1;
}

bool utf8_from_cp932(const char* cp932_text, byte_string* out) { return convert("CP932", "UTF-8", cp932_text, out); }

bool cp932_from_utf8(const char* utf8_text, byte_string* out) { return convert("UTF-8", "CP932", utf8_text, out); }

bool utf8_path_from_archive(const char* cp932_path, byte_string* out) {
  // Separators are found character by character, so the trail byte 0x5C of a
  // double-byte character (表 is 0x95 0x5C) is never taken for one.
  byte_string slashed = {};
  for (const char* p = cp932_path; *p;) {
    const char* next = cp932_char_next(p);
    if (next - p == 1 && *p == '\\') {
      text_append_byte(&slashed, '/');
    } else {
      text_append(&slashed, p, static_cast<int32_t>(next - p));
    }
    p = next;
  }
  bool ok = utf8_from_cp932(text_c_str(&slashed), out);
  text_release(&slashed);
  return ok;
}

const file_layer posix_file_layer = {
    open_read, create_write, length,      seek,      read_exact,    read_counted,  write_exact, at_end,
    close_file, remove_file, io_result,   find_path, create_folder, set_times,     cp932_char_next,
};
