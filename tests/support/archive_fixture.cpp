#include "support/archive_fixture.h"

std::vector<uint8_t> fake_stub_image() {
  std::vector<uint8_t> image(quorvex::pack::stub_size);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + 3);
  image[0] = 'M';
  image[1] = 'Z';
  return image;
}

std::vector<uint8_t> archive_file_bytes(const quorvex::pack::header_fields& header,
                                        const std::vector<uint8_t>& payload) {
  return quorvex::pack::make_archive_file(fake_stub_image(), header, payload);
}

std::string logic_path(const std::filesystem::path& path) {
  std::string text = path.string();
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}
