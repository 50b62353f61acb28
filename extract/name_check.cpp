// Entry names come from the archive, which anyone can write: a name must not
// climb out of the destination folder, jump to another drive or stream, or
// open a device.
#include "extract/name_check.h"

#include "platform/platform.h"

namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool same_letters(const char* text, int32_t length, const char* word) {
  for (int32_t i = 0; i < length; ++i) {
    if (word[i] == 0 || upper(text[i]) != word[i]) return false;
  }
  return word[length] == 0;
}

// Windows opens the device whatever extension follows the base name, and
// drops spaces at the end of the base.
bool is_device_name(const char* component, int32_t length) {
  int32_t base = 0;
  while (base < length && component[base] != '.') ++base;
  while (base > 0 && component[base - 1] == ' ') --base;
  static const char* const devices[] = {"CON", "PRN", "AUX", "NUL"};
  if (base == 3) {
    for (const char* word : devices) {
      if (same_letters(component, 3, word)) return true;
    }
  }
  if (base == 4 && component[3] >= '1' && component[3] <= '9') {
    return same_letters(component, 3, "COM") || same_letters(component, 3, "LPT");
  }
  return false;
}

bool only_dots_and_spaces(const char* component, int32_t length) {
  for (int32_t i = 0; i < length; ++i) {
    if (component[i] != '.' && component[i] != ' ') return false;
  }
  return true;
}

}  // namespace

bool name_is_safe(const char* name) {
  // Bytes first: no valid trail byte of code page 932 lies below 0x40, so
  // these bytes are characters of their own wherever they stand.
  for (const char* p = name; *p; ++p) {
    unsigned char byte = static_cast<unsigned char>(*p);
    if (byte < 0x20 || byte == ':' || byte == '/') return false;
  }
  // Components, split at backslash characters.
  const char* component = name;
  for (const char* p = name;; p = platform_files->char_next(p)) {
    if (*p != 0 && *p != '\\') continue;
    int32_t length = static_cast<int32_t>(p - component);
    bool final_dot = *p == 0 && length == 1 && *component == '.';
    if (!final_dot && only_dots_and_spaces(component, length)) return false;
    if (is_device_name(component, length)) return false;
    if (*p == 0) return true;
    component = p + 1;
  }
}
