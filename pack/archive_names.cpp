#include "pack/archive_names.h"

#include <algorithm>
#include <cstdio>

#include "extract/name_check.h"
#include "pack/refusal.h"
#include "platform/posix/posix_files.h"

namespace quorvex::pack {

namespace {

// Length of the UTF-8 sequence that `lead` starts, 0 for a byte that starts
// none.
size_t utf8_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

struct bad_character {
  size_t offset;
  std::string description;
};

std::optional<bad_character> first_unrepresentable(const std::string& utf8) {
  char buffer[48];
  for (size_t at = 0; at < utf8.size();) {
    unsigned char lead = static_cast<unsigned char>(utf8[at]);
    size_t length = utf8_length(lead);
    if (length == 0 || at + length > utf8.size()) {
      std::snprintf(buffer, sizeof buffer, "the byte 0x%02X (not UTF-8)", lead);
      return bad_character{at, buffer};
    }
    std::string character = utf8.substr(at, length);
    if (!cp932_text(character)) {
      uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
      for (size_t i = 1; i < length; ++i) code = (code << 6) | (static_cast<unsigned char>(character[i]) & 0x3F);
      if (code < 0x20 || code == 0x7F) {
        std::snprintf(buffer, sizeof buffer, "U+%04X", code);
      } else {
        std::snprintf(buffer, sizeof buffer, "U+%04X (%s)", code, character.c_str());
      }
      return bad_character{at, buffer};
    }
    at += length;
  }
  return std::nullopt;
}

// A backslash character of its own, not the trail byte of a double-byte one.
bool has_separator(const std::string& cp932) {
  for (const char* p = cp932.c_str(); *p; p = cp932_char_next(p)) {
    if (*p == '\\') return true;
  }
  return false;
}

// The extractor's check steps through characters with the installed file
// layer; the maker may run before anything installed one.
void ensure_character_step() {
  if (!platform_files) install_platform(&posix_file_layer, platform_front);
}

}  // namespace

std::optional<std::string> cp932_text(const std::string& utf8) {
  if (utf8.find('\0') != std::string::npos) return std::nullopt;
  byte_string converted = {};
  bool ok = cp932_from_utf8(utf8.c_str(), &converted);
  std::string out(text_c_str(&converted), static_cast<size_t>(converted.length));
  text_release(&converted);
  if (!ok) return std::nullopt;
  return out;
}

std::string unrepresentable_part(const std::string& utf8) {
  std::optional<bad_character> bad = first_unrepresentable(utf8);
  return bad ? bad->description : std::string();
}

std::string archive_component(const std::string& utf8_component, const std::string& shown) {
  const std::string cannot = "cannot store '" + shown + "': ";
  std::optional<std::string> converted = cp932_text(utf8_component);
  if (!converted) {
    throw refusal(cannot + unrepresentable_part(utf8_component) + " has no code page 932 form");
  }
  // A backslash, or a character that code page 932 writes as one (the yen
  // sign), would split the name into folders on extraction.
  if (has_separator(*converted)) {
    throw refusal(cannot + "the name holds a character that Windows reads as a folder separator (\\)");
  }
  return *converted;
}

std::string name_problem(const std::string& name) {
  ensure_character_step();
  if (!name_is_safe(name.c_str())) {
    return "the extractor refuses it as unsafe (a '..' or dots-only component, a leading separator, "
           "a colon or control character, or a device name such as CON or LPT1)";
  }
  const char* component = name.c_str();
  for (const char* p = name.c_str();; p = cp932_char_next(p)) {
    if (*p != 0 && *p != '\\') {
      // Single-byte characters only: a trail byte may have any of these values.
      if (cp932_char_next(p) - p == 1 && std::string("<>\"|?*").find(*p) != std::string::npos) {
        return std::string("Windows does not allow the character ") + *p + " in a name";
      }
      continue;
    }
    char last = p > component ? p[-1] : 0;
    if (last == '.' || last == ' ') return "Windows drops a dot or space at the end of a name";
    if (*p == 0) return "";
    component = p + 1;
  }
}

bool comes_before(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  // std::string compares its bytes as unsigned values, like memcmp.
  return a < b;
}

std::string windows_key(const std::string& name) {
  std::string out;
  for (const char* p = name.c_str(); *p;) {
    const char* next = cp932_char_next(p);
    if (next - p == 1 && *p >= 'a' && *p <= 'z') {
      out += static_cast<char>(*p - 'a' + 'A');
    } else {
      out.append(p, next);
    }
    p = next;
  }
  return out;
}

std::string comment_text(const std::string& utf8) {
  std::string text = utf8.compare(0, 3, "\xEF\xBB\xBF") == 0 ? utf8.substr(3) : utf8;
  if (text.find('\0') != std::string::npos) throw refusal("the comment holds a zero byte");
  // CR LF, a lone CR and a lone LF each become CR LF, the break the setup
  // window's edit box shows.
  std::string lines;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines += "\r\n";
    } else {
      lines += text[i];
    }
  }
  std::optional<bad_character> bad = first_unrepresentable(lines);
  if (bad) {
    size_t line = 1 + static_cast<size_t>(std::count(lines.begin(), lines.begin() + bad->offset, '\n'));
    throw refusal("the comment has a character without a code page 932 form: " + bad->description + " on line " +
                  std::to_string(line));
  }
  std::optional<std::string> converted = cp932_text(lines);
  if (!converted) throw refusal("the comment does not convert to code page 932");
  return *converted;
}

}  // namespace quorvex::pack
