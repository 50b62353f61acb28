#include "platform/byte_string.h"

#include <stdlib.h>
#include <string.h>

const char* text_c_str(const byte_string* text) { return text->bytes ? text->bytes : ""; }

void text_clear(byte_string* text) {
  text->length = 0;
  if (text->bytes) text->bytes[0] = 0;
}

void text_release(byte_string* text) {
  free(text->bytes);
  text->bytes = nullptr;
  text->length = 0;
  text->capacity = 0;
}

static void reserve(byte_string* text, int32_t needed) {
  if (needed <= text->capacity) return;
  int32_t grown = text->capacity < 32 ? 32 : text->capacity;
  while (grown < needed) {
    if (grown > 0x3FFFFFFF) report_out_of_memory();
    grown *= 2;
  }
  char* bytes = static_cast<char*>(realloc(text->bytes, static_cast<size_t>(grown)));
  if (!bytes) report_out_of_memory();
  text->bytes = bytes;
  text->capacity = grown;
}

void text_append(byte_string* text, const char* bytes, int32_t count) {
  if (count < 0 || text->length > 0x7FFFFFFE - count) report_out_of_memory();
  reserve(text, text->length + count + 1);
  memcpy(text->bytes + text->length, bytes, static_cast<size_t>(count));
  text->length += count;
  text->bytes[text->length] = 0;
}

void text_append_byte(byte_string* text, char byte) {
  if (text->length + 1 < text->capacity) {
    text->bytes[text->length++] = byte;
    text->bytes[text->length] = 0;
    return;
  }
  text_append(text, &byte, 1);
}

void text_append_c_str(byte_string* text, const char* zero_terminated) {
  text_append(text, zero_terminated, static_cast<int32_t>(strlen(zero_terminated)));
}

void text_assign_c_str(byte_string* text, const char* zero_terminated) {
  text_clear(text);
  text_append_c_str(text, zero_terminated);
}

void text_truncate(byte_string* text, int32_t length) {
  if (length >= text->length) return;
  text->length = length;
  text->bytes[length] = 0;
}

bool text_ends_with(const byte_string* text, const char* suffix) {
  int32_t n = static_cast<int32_t>(strlen(suffix));
  return text->length >= n && memcmp(text->bytes + text->length - n, suffix, static_cast<size_t>(n)) == 0;
}
