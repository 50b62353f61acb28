// Files whose data is coded here: the one part of the payload writer that
// needs the encoder.
#include <stdexcept>

#include "pack/payload.h"

namespace quorvex::pack {

void payload_writer::add_file(const std::string& name, const file_times& times, const uint8_t* data, size_t size) {
  // The extractor compares sizes as signed 32-bit numbers.
  if (size >= 0x80000000u) throw std::invalid_argument("a file of 2 GiB or more cannot be stored: " + name);
  add_coded_file(name, times, static_cast<uint32_t>(size), encode_entry(data, size, effort_));
}

std::vector<uint8_t> make_payload(const std::vector<payload_entry>& entries, level effort) {
  payload_writer writer(effort);
  for (const payload_entry& e : entries) {
    if (e.is_folder) {
      writer.add_folder(e.name);
    } else {
      writer.add_file(e.name, e.times, e.data);
    }
  }
  return writer.take();
}

}  // namespace quorvex::pack
