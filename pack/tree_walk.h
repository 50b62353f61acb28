// The tree that goes into an archive: the inputs walked recursively, every
// entry named as the archive will hold it, sorted, checked.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pack/payload.h"

namespace quorvex::pack {

struct pack_input {
  std::string base;  // the folder -C chose before this input; "" for the current one
  std::string path;  // as given; its name in the archive is this path, as with tar
};

struct tree_entry {
  std::vector<std::string> components;  // code page 932
  std::string name;                     // the components joined by backslashes
  std::string shown;                    // UTF-8 with '/', a folder's ending in '/'
  std::string source;                   // where to read it; "" for a folder that is only a parent
  bool is_folder = false;
  uint64_t size = 0;
  file_times times;
};

struct file_identity {
  dev_t device;
  ino_t inode;
  bool operator==(const file_identity& other) const { return device == other.device && inode == other.inode; }
};

std::optional<file_identity> identity_of(const std::string& path);

struct walk_settings {
  std::vector<std::string> excludes;     // globs, as --exclude takes them
  std::optional<uint64_t> fixed_time;    // every time of every entry, when set
  std::vector<file_identity> leave_out;  // the output file and its temporary
  std::function<void(const std::string&)> warn;
};

// True when a glob matches the UTF-8 name (no final '/') or any tail of it
// that starts after a '/': "*.o" leaves out a/b.o, "cache" leaves out x/cache.
bool excluded(const std::vector<std::string>& globs, const std::string& name);

// Folders come before their contents and every folder of a path has its own
// entry; the order depends only on the names. Throws refusal for a name that
// cannot be stored or extracted, a file of 2^31 bytes or more, an input that
// cannot be read, and two different inputs of the same name.
std::vector<tree_entry> walk_inputs(const std::vector<pack_input>& inputs, const walk_settings& settings);

}  // namespace quorvex::pack
