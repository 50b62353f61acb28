// The file layer on Linux, for the portable tool and the tests.
//
// Paths arrive as code page 932 bytes with backslashes and become UTF-8 paths
// with slashes through iconv. A path that does not convert fails the
// operation with EILSEQ in the I/O result; nothing is guessed.
#pragma once
#include "platform/platform.h"

extern const file_layer posix_file_layer;

// The code page 932 character step, as CharNextA moves on such a system.
const char* cp932_char_next(const char* position);

// Code page 932 text with backslashes -> UTF-8 with slashes. False when the
// text is not valid code page 932.
bool utf8_path_from_archive(const char* cp932_path, byte_string* out);
// Code page 932 text -> UTF-8, bytes otherwise unchanged.
bool utf8_from_cp932(const char* cp932_text, byte_string* out);
// UTF-8 text -> code page 932. False when some character has no code.
bool cp932_from_utf8(const char* utf8_text, byte_string* out);
