// Expected texts for tests, converted independently of the code under test.
#pragma once
#include <string>

// UTF-8 -> code page 932 bytes, through iconv. Fails the test on a character
// that has no code page 932 form.
std::string cp932(const std::string& utf8);
// Code page 932 bytes -> UTF-8, for readable failure messages; stops quietly
// at bytes that do not convert.
std::string utf8(const std::string& cp932_bytes);
