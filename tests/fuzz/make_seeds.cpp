// Writes the seed archives of the fuzz corpus: small archives that between
// them take every branch of the format (both name forms, folders, protection,
// empty and multi-block payloads, long matches, window shifts, refused names).
// Usage: quorvex_fuzz_seeds FOLDER. Each file is the archive as it follows the
// program image, which is what the fuzz target takes.
#include <stdio.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pack/container.h"
#include "pack/payload.h"
#include "support/first_tree_codes.h"

using namespace quorvex::pack;

namespace {

const file_times some_times{0x01D5C0A1B2C3D4E5ull, 0x01D5C0A1B2C3D4E6ull, 0x01D5C0A1B2C3D4E7ull};

std::vector<uint8_t> bytes_of(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> repeated(const std::string& unit, size_t size) {
  std::vector<uint8_t> out;
  while (out.size() < size) out.push_back(static_cast<uint8_t>(unit[out.size() % unit.size()]));
  return out;
}

// Text-like bytes with some repetition: literals and short matches mixed.
std::vector<uint8_t> prose(size_t size, uint32_t seed) {
  static const char* const words[] = {"archive ", "block ", "stream ", "folder ", "\x95\x5c", "name ", "\r\n", "0x2A "};
  std::vector<uint8_t> out;
  while (out.size() < size) {
    seed = seed * 1103515245u + 12345u;
    const char* w = words[(seed >> 16) % 8];
    for (const char* p = w; *p && out.size() < size; ++p) out.push_back(static_cast<uint8_t>(*p));
    if ((seed >> 8) % 5 == 0) out.push_back(static_cast<uint8_t>(seed >> 24));
  }
  return out;
}

struct seed_writer {
  std::filesystem::path folder;
  int written = 0;

  void write(const std::string& name, const header_fields& header, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> file = make_archive_file(std::vector<uint8_t>(stub_size), header, payload);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data() + stub_size),
              static_cast<std::streamsize>(file.size() - stub_size));
    ++written;
  }
};

header_fields plain_header(const std::string& comment = "") {
  header_fields h;
  h.comment = comment;
  return h;
}

header_fields protected_header(uint8_t protection_byte) {
  header_fields h;
  h.comment = "protected";
  h.protection_byte = protection_byte;
  h.password = "fuzz";
  return h;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: quorvex_fuzz_seeds FOLDER\n");
    return 2;
  }
  seed_writer seeds{argv[1]};
  std::filesystem::create_directories(seeds.folder);

  {  // One small file.
    payload_writer w;
    w.add_file("hello.txt", some_times, bytes_of("hello, world\r\n"));
    seeds.write("one-file", plain_header("a comment"), w.take());
  }
  {  // Folders, nested files, names sharing their start (prefix form).
    payload_writer w;
    w.add_folder("");
    w.add_folder("docs");
    w.add_file("docs\\readme.txt", some_times, prose(300, 1));
    w.add_file("docs\\readme.bak", some_times, prose(200, 2));
    w.add_folder("docs\\old\\deeper");
    w.add_file("docs\\old\\deeper\\x.bin", some_times, repeated("xy", 40));
    w.add_file("empty.txt", some_times, {});
    seeds.write("tree", plain_header(), w.take());
  }
  {  // Protected, masked and unmasked; the key runs over two blocks.
    for (uint8_t protection : {uint8_t{1}, uint8_t{2}}) {
      payload_writer w;
      w.add_file("secret.txt", some_times, prose(24000, 3));
      w.add_file("secret2.txt", some_times, prose(700, 4));
      seeds.write("protected-" + std::to_string(protection), protected_header(protection), w.take());
    }
  }
  {  // Long matches (the 511 escape) and the window's shift past 40960 bytes.
    payload_writer w;
    w.add_file("runs.bin", some_times, repeated("abcabcabd", 41000));
    w.add_file("zeros.bin", some_times, repeated(std::string(1, '\0'), 73729));
    seeds.write("long-matches", plain_header(), w.take());
  }
  {  // Many symbols: rebuilds past 2048, data over several blocks.
    payload_writer w;
    w.add_file("many.txt", some_times, prose(40000, 5));
    seeds.write("many-symbols", plain_header(), w.take());
  }
  {  // Code page 932 names, one with a trail byte 0x5C (表).
    payload_writer w;
    w.add_folder("\x95\xb6\x8f\x91");
    w.add_file("\x95\xb6\x8f\x91\\\x95\x5c.txt", some_times, bytes_of("table"));
    seeds.write("cp932-names", plain_header("\x83\x65\x83\x58\x83\x67"), w.take());
  }
  {  // The same name twice: the overwrite question.
    payload_writer w;
    w.add_file("twice.txt", some_times, bytes_of("first"));
    w.add_file("twice.txt", some_times, bytes_of("second"));
    w.add_file("twice.txt", some_times, bytes_of("third"));
    w.add_file("twice.txt", some_times, bytes_of("fourth"));
    seeds.write("same-name", plain_header(), w.take());
  }
  {  // A launch target and a longer comment.
    header_fields h = plain_header(std::string(300, 'c'));
    h.launch_target = "setup.exe";
    payload_writer w;
    w.add_file("setup.exe", some_times, bytes_of("MZ"));
    seeds.write("launch-target", h, w.take());
  }
  {  // Hand-made coded data: one literal; a match of distance 1.
    payload_writer w;
    w.add_coded_file("a.txt", some_times, 1, {0xAE, 0x01});
    w.add_coded_file("b.txt", some_times, 5, {0xA6, 0x57, 0xA8, 0x02});
    w.add_coded_file("c.txt", some_times, 302, {0xA6, 0x4D, 0x54, 0x5D, 0x01, 0x55, 0x01});
    seeds.write("hand-coded", plain_header(), w.take());
  }
  {  // Names the extractor refuses, in both forms.
    payload_writer w;
    w.add_file("ok.txt", some_times, bytes_of("kept"));
    w.add_name("..\\escape.txt");
    w.add_file_fields(some_times, 0);
    seeds.write("unsafe-plain", plain_header(), w.take());
  }
  {  // A ".." that only the prefix form assembles: "." taken whole, then ".\\...".
    payload_writer w;
    w.add_folder("");
    w.add_prefix_name(0, ".\\escape.txt");
    w.add_file_fields(some_times, 0);
    seeds.write("unsafe-prefix", plain_header(), w.take());
  }
  {  // A size of 2^31, and a first symbol that is a match reaching before the entry.
    first_tree_codes before;
    before.symbol(256);  // length 2
    before.symbol(0);    // distance symbol 0
    before.extra(0, 4);  // distance 1, with nothing produced yet
    payload_writer w;
    w.add_coded_file("huge.bin", some_times, 0x80000000u, {});
    w.add_coded_file("before.bin", some_times, 2, before.bytes);
    seeds.write("hostile-sizes", plain_header(), w.take());
  }
  printf("%d seeds in %s\n", seeds.written, seeds.folder.c_str());
  return 0;
}
