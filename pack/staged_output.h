// The output file, written under a temporary name next to its place and
// renamed into place only when complete: a refusal, a failure or an
// interrupt leaves no output behind.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pack/tree_walk.h"

namespace quorvex::pack {

class staged_output {
 public:
  // Creates the temporary file; throws refusal when it cannot.
  explicit staged_output(const std::string& final_path);
  // Removes the temporary file unless it was committed.
  ~staged_output();
  staged_output(const staged_output&) = delete;
  staged_output& operator=(const staged_output&) = delete;

  file_identity identity() const { return identity_; }
  void write(const std::vector<uint8_t>& bytes);
  // Flushes the file to disk and renames it into place.
  void commit();

 private:
  std::string final_path_;
  std::string temporary_path_;
  int fd_ = -1;
  file_identity identity_{};
  bool committed_ = false;
};

}  // namespace quorvex::pack
