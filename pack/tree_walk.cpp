#include "pack/tree_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "pack/archive_names.h"
#include "pack/entry_times.h"
#include "pack/refusal.h"

namespace quorvex::pack {

namespace {

// The extractor compares sizes as signed 32-bit numbers.
constexpr uint64_t size_limit = uint64_t{1} << 31;
// Names this long may pass the 259 bytes of a Windows path once the
// destination folder stands in front.
constexpr size_t long_name = 200;

std::string cannot_read(const std::string& path, int error) {
  return "cannot read '" + path + "': " + std::strerror(error);
}

struct found {
  struct statx status;
  file_identity identity;
  bool is_folder() const { return S_ISDIR(status.stx_mode); }
  bool is_file() const { return S_ISREG(status.stx_mode); }
};

// Links are followed: the archive keeps no links, only what they lead to.
std::optional<found> look_up(const std::string& path, int& error) {
  found f;
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &f.status) != 0) {
    error = errno;
    return std::nullopt;
  }
  f.identity = {makedev(f.status.stx_dev_major, f.status.stx_dev_minor), f.status.stx_ino};
  return f;
}

std::vector<std::string> split_path(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (!part.empty() && part != ".") parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

std::string join(const std::vector<std::string>& parts, char separator) {
  std::string out;
  for (const std::string& part : parts) {
    if (!out.empty()) out += separator;
    out += part;
  }
  return out;
}

class walker {
 public:
  explicit walker(const walk_settings& settings) : settings_(settings) {}

  void walk(const pack_input& input) {
    bool absolute = !input.path.empty() && input.path[0] == '/';
    std::string path = absolute || input.base.empty() ? input.path : input.base + "/" + input.path;
    std::vector<std::string> names = split_path(input.path);
    if (absolute && !names.empty() && !told_about_root_) {
      warn("removing the leading '/' from names in the archive");
      told_about_root_ = true;
    }
    if (std::find(names.begin(), names.end(), "..") != names.end()) {
      throw refusal("cannot store '" + input.path +
                    "': '..' would lead out of the destination folder; use -C to pack from another folder");
    }
    int error = 0;
    std::optional<found> top = look_up(path, error);
    if (!top) throw refusal(cannot_read(path, error));
    std::vector<std::string> archive_names;
    for (size_t i = 0; i + 1 < names.size(); ++i) {
      archive_names.push_back(component(names[i], names, i));
      add_folder(archive_names, std::vector<std::string>(names.begin(), names.begin() + i + 1), "");
    }
    if (!names.empty()) archive_names.push_back(component(names.back(), names, names.size() - 1));
    visit(path, names, archive_names, *top);
  }

  std::vector<tree_entry> result() {
    std::vector<tree_entry> entries;
    std::map<std::string, std::string> windows_names;  // key -> the first name shown
    for (auto& [key, entry] : entries_) {
      auto [first, added] = windows_names.emplace(windows_key(entry.name), entry.shown);
      if (!added) {
        warn("'" + first->second + "' and '" + entry.shown + "' differ only in letter case: they are one name on Windows");
      }
      if (entry.name.size() > long_name) {
        warn("'" + entry.shown + "' has a name of " + std::to_string(entry.name.size()) +
             " bytes: with the destination folder in front it may pass the 259 bytes of a Windows path");
      }
      entries.push_back(std::move(entry));
    }
    return entries;
  }

 private:
  void warn(const std::string& text) const {
    if (settings_.warn) settings_.warn(text);
  }

  // The code page 932 form of names[index], refused with the whole path.
  std::string component(const std::string& utf8, const std::vector<std::string>& names, size_t index) {
    return archive_component(utf8, join(std::vector<std::string>(names.begin(), names.begin() + index + 1), '/'));
  }

  void visit(const std::string& path, const std::vector<std::string>& names,
             const std::vector<std::string>& archive_names, const found& item) {
    std::string shown = join(names, '/');
    if (!names.empty() && excluded(settings_.excludes, shown)) return;
    if (std::find(settings_.leave_out.begin(), settings_.leave_out.end(), item.identity) != settings_.leave_out.end()) {
      warn("leaving out '" + path + "': it is the output file");
      return;
    }
    if (item.is_folder()) {
      visit_folder(path, names, archive_names, item);
    } else if (item.is_file()) {
      if (item.status.stx_size >= size_limit) {
        throw refusal("cannot store '" + path + "': it has " + std::to_string(item.status.stx_size) +
                      " bytes; a file must stay below 2^31 (2147483648) bytes");
      }
      int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) throw refusal(cannot_read(path, errno));
      close(fd);
      if (names.empty()) throw refusal("cannot store '" + path + "': a file needs a name");
      tree_entry entry = make_entry(names, archive_names, path, item);
      entry.size = item.status.stx_size;
      add(std::move(entry));
    } else {
      warn("leaving out '" + path + "': it is neither a file nor a folder");
    }
  }

  void visit_folder(const std::string& path, const std::vector<std::string>& names,
                    const std::vector<std::string>& archive_names, const found& item) {
    if (std::find(ancestors_.begin(), ancestors_.end(), item.identity) != ancestors_.end()) {
      warn("leaving out '" + path + "': it leads back to a folder that holds it");
      return;
    }
    if (!names.empty()) add_folder(archive_names, names, path);
    DIR* folder = opendir(path.c_str());
    if (!folder) throw refusal(cannot_read(path, errno));
    std::vector<std::string> children;
    errno = 0;
    while (dirent* child = readdir(folder)) {
      if (std::strcmp(child->d_name, ".") != 0 && std::strcmp(child->d_name, "..") != 0) {
        children.push_back(child->d_name);
      }
    }
    int error = errno;
    closedir(folder);
    if (error) throw refusal(cannot_read(path, error));
    ancestors_.push_back(item.identity);
    for (const std::string& child : children) {
      std::string child_path = path + (path.back() == '/' ? "" : "/") + child;
      std::vector<std::string> child_names = names;
      child_names.push_back(child);
      int child_error = 0;
      std::optional<found> child_item = look_up(child_path, child_error);
      if (!child_item) {
        if (excluded(settings_.excludes, join(child_names, '/'))) continue;
        throw refusal(cannot_read(child_path, child_error));
      }
      std::vector<std::string> child_archive_names = archive_names;
      child_archive_names.push_back(component(child, child_names, child_names.size() - 1));
      visit(child_path, child_names, child_archive_names, *child_item);
    }
    ancestors_.pop_back();
  }

  tree_entry make_entry(const std::vector<std::string>& names, const std::vector<std::string>& archive_names,
                        const std::string& source, const found& item) const {
    tree_entry entry;
    entry.components = archive_names;
    entry.name = join(archive_names, '\\');
    entry.shown = join(names, '/');
    entry.source = source;
    entry.is_folder = item.is_folder();
    if (entry.is_folder) entry.shown += '/';
    entry.times = times_of(item.status);
    if (settings_.fixed_time) entry.times = {*settings_.fixed_time, *settings_.fixed_time, *settings_.fixed_time};
    std::string problem = name_problem(entry.name);
    if (!problem.empty()) throw refusal("cannot store '" + entry.shown + "': " + problem);
    return entry;
  }

  // A folder on the way to an input, or one found by the walk.
  void add_folder(const std::vector<std::string>& archive_names, const std::vector<std::string>& names,
                  const std::string& source) {
    found folder = {};
    folder.status.stx_mode = S_IFDIR;
    tree_entry entry = make_entry(names, archive_names, source, folder);
    auto existing = entries_.find(entry.components);
    if (existing != entries_.end() && existing->second.is_folder) {
      if (existing->second.source.empty()) existing->second.source = source;
      return;
    }
    add(std::move(entry));
  }

  void add(tree_entry entry) {
    auto [existing, added] = entries_.emplace(entry.components, entry);
    if (added) return;
    const tree_entry& first = existing->second;
    if (!first.is_folder && !entry.is_folder) {
      std::optional<file_identity> a = identity_of(first.source), b = identity_of(entry.source);
      if (a && b && *a == *b) return;  // the same file, given twice
    }
    throw refusal("'" + entry.shown + "' would be stored twice: from '" + first.source + "' and from '" +
                  entry.source + "'");
  }

  const walk_settings& settings_;
  struct archive_order {
    bool operator()(const std::vector<std::string>& a, const std::vector<std::string>& b) const {
      return comes_before(a, b);
    }
  };
  std::map<std::vector<std::string>, tree_entry, archive_order> entries_;
  std::vector<file_identity> ancestors_;
  bool told_about_root_ = false;
};

}  // namespace

std::optional<file_identity> identity_of(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  return file_identity{status.st_dev, status.st_ino};
}

bool excluded(const std::vector<std::string>& globs, const std::string& name) {
  for (const std::string& glob : globs) {
    for (size_t start = 0; start != std::string::npos;) {
      if (fnmatch(glob.c_str(), name.c_str() + start, 0) == 0) return true;
      size_t slash = name.find('/', start);
      start = slash == std::string::npos ? slash : slash + 1;
    }
  }
  return false;
}

std::vector<tree_entry> walk_inputs(const std::vector<pack_input>& inputs, const walk_settings& settings) {
  walker walk(settings);
  for (const pack_input& input : inputs) walk.walk(input);
  return walk.result();
}

}  // namespace quorvex::pack
