#include "support/cp932.h"

#include <gtest/gtest.h>
#include <iconv.h>

static std::string convert(const char* to, const char* from, const std::string& in, bool strict) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    ADD_FAILURE() << "iconv cannot convert " << from << " to " << to;
    return {};
  }
  std::string out(in.size() * 4 + 16, '\0');
  char* in_ptr = const_cast<char*>(in.data());
  size_t in_left = in.size();
  char* out_ptr = out.data();
  size_t out_left = out.size();
  if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<size_t>(-1) && strict) {
    ADD_FAILURE() << "text does not convert from " << from << " to " << to;
  }
  iconv_close(cd);
  out.resize(out.size() - out_left);
  return out;
}

std::string cp932(const std::string& utf8_text) { return convert("CP932", "UTF-8", utf8_text, true); }
std::string utf8(const std::string& cp932_bytes) { return convert("UTF-8", "CP932", cp932_bytes, false); }
