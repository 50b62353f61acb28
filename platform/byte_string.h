// The one text type of the extractor: bytes in the ANSI code page (932),
// growable, joined by concatenation, never holding a zero byte inside.
//
// A plain struct with no constructor or destructor: the stub links no C++
// runtime, and a failure exit may leave a function without unwinding it.
// Storage is malloc/realloc; `bytes` is always zero-terminated once the text
// has been written to, so it can be handed to the platform as it stands.
#pragma once
#include <stdint.h>

struct byte_string {
  char* bytes;       // null until the first append
  int32_t length;    // bytes in use, without the terminating zero
  int32_t capacity;  // bytes allocated, terminating zero included
};

// The text as a zero-terminated C string; "" for a text never written to.
const char* text_c_str(const byte_string* text);
void text_clear(byte_string* text);  // empties, keeps the storage
void text_release(byte_string* text);  // empties and frees the storage
void text_append(byte_string* text, const char* bytes, int32_t count);
void text_append_byte(byte_string* text, char byte);
void text_append_c_str(byte_string* text, const char* zero_terminated);
void text_assign_c_str(byte_string* text, const char* zero_terminated);
void text_truncate(byte_string* text, int32_t length);  // length <= current
bool text_ends_with(const byte_string* text, const char* suffix);

// Called when storage cannot be grown; does not return.
[[noreturn]] void report_out_of_memory();
