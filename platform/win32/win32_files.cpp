// The file layer over kernel32, and CharNextA for the character step.
#include <windows.h>

#include "platform/win32/win32_platform.h"

namespace {

int last_error;

void fail() {
  DWORD code = GetLastError();
  last_error = code ? static_cast<int>(code) : ERROR_GEN_FAILURE;
}

HANDLE handle_of(platform_file* file) {
  return file->is_open ? reinterpret_cast<HANDLE>(file->handle) : INVALID_HANDLE_VALUE;
}

void open_with(platform_file* file, const char* path, DWORD access, DWORD disposition) {
  HANDLE h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    fail();
    return;
  }
  file->handle = reinterpret_cast<intptr_t>(h);
  file->is_open = true;
}

void open_read(platform_file* file, const char* path) { open_with(file, path, GENERIC_READ, OPEN_EXISTING); }

void create_write(platform_file* file, const char* path) {
  open_with(file, path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
}

int32_t length(platform_file* file) {
  DWORD size = GetFileSize(handle_of(file), nullptr);
  if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) fail();
  return static_cast<int32_t>(size);
}

void seek(platform_file* file, int32_t offset) {
  if (SetFilePointer(handle_of(file), offset, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) fail();
}

int32_t read_up_to(platform_file* file, void* buffer, int32_t count) {
  int32_t done = 0;
  while (done < count) {
    DWORD got = 0;
    if (!ReadFile(handle_of(file), static_cast<char*>(buffer) + done, static_cast<DWORD>(count - done), &got,
                  nullptr)) {
      fail();
      return -1;
    }
    if (got == 0) break;
    done += static_cast<int32_t>(got);
  }
  return done;
}

void read_exact(platform_file* file, void* buffer, int32_t count) {
  int32_t done = read_up_to(file, buffer, count);
  if (done >= 0 && done < count) last_error = ERROR_HANDLE_EOF;
}

int32_t read_counted(platform_file* file, void* buffer, int32_t count) { return read_up_to(file, buffer, count); }

void write_exact(platform_file* file, const void* buffer, int32_t count) {
  DWORD written = 0;
  if (!WriteFile(handle_of(file), buffer, static_cast<DWORD>(count), &written, nullptr)) {
    fail();
  } else if (written != static_cast<DWORD>(count)) {
    last_error = ERROR_DISK_FULL;
  }
}

bool at_end(platform_file* file) {
  HANDLE h = handle_of(file);
  DWORD position = SetFilePointer(h, 0, nullptr, FILE_CURRENT);
  DWORD size = GetFileSize(h, nullptr);
  return position >= size;
}

void close_file(platform_file* file) {
  if (!file->is_open) {
    last_error = ERROR_INVALID_HANDLE;
    return;
  }
  file->is_open = false;
  if (!CloseHandle(reinterpret_cast<HANDLE>(file->handle))) fail();
}

void remove_file(const char* path) {
  if (!DeleteFileA(path)) fail();
}

int io_result() {
  int code = last_error;
  last_error = 0;
  return code;
}

path_kind find_path(const char* path) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA(path, &found);
  if (h == INVALID_HANDLE_VALUE) return path_absent;
  FindClose(h);
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? path_folder : path_file;
}

bool create_folder(const char* path) { return CreateDirectoryA(path, nullptr) != 0; }

bool set_times(platform_file* file, const file_time* creation, const file_time* last_access,
               const file_time* last_write) {
  return SetFileTime(handle_of(file), reinterpret_cast<const FILETIME*>(creation),
                     reinterpret_cast<const FILETIME*>(last_access),
                     reinterpret_cast<const FILETIME*>(last_write)) != 0;
}

const char* char_next(const char* position) { return CharNextA(position); }

}  // namespace

const file_layer win32_file_layer = {
    open_read,  create_write, length,    seek,      read_exact,    read_counted, write_exact, at_end,
    close_file, remove_file,  io_result, find_path, create_folder, set_times,    char_next,
};
