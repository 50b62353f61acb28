// A refusal of the maker: the input cannot make an archive that extracts as
// it should. The message names what is refused and why; no output is left.
#pragma once
#include <stdexcept>

namespace quorvex::pack {

class refusal : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace quorvex::pack
