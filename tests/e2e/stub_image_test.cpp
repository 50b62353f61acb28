// The stub's program image as the archive format and Windows need it: exactly
// 25600 bytes, a 32-bit GUI program for i386 with ASLR and DEP, importing
// only system DLLs, carrying its icon group and an asInvoker manifest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

std::vector<uint8_t> read_stub() {
  std::ifstream in(std::filesystem::path(QUORVEX_WIN32_BUILD_DIR) / "quorvex-stub.exe", std::ios::binary);
  EXPECT_TRUE(in) << "the win32 build has no quorvex-stub.exe";
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct section {
  std::string name;
  uint32_t virtual_address, virtual_size, raw_offset, raw_size;
};

// Just enough of the PE format to answer the questions below; every read is
// bounds-checked, so a malformed image fails the tests instead of crashing.
class pe_image {
 public:
  explicit pe_image(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
    if (u16(0) != 0x5A4D) return;
    pe_ = u32(0x3C);
    if (u32(pe_) != 0x00004550) return;
    optional_ = pe_ + 24;
    uint16_t count = u16(pe_ + 6);
    uint32_t table = optional_ + u16(pe_ + 20);
    for (uint16_t i = 0; i < count; ++i) {
      uint32_t at = table + 40u * i;
      std::string name;
      for (int k = 0; k < 8 && at + k < bytes_.size() && bytes_[at + k]; ++k) name += static_cast<char>(bytes_[at + k]);
      sections_.push_back({name, u32(at + 12), u32(at + 8), u32(at + 20), u32(at + 16)});
    }
    valid_ = true;
  }

  bool valid() const { return valid_; }
  size_t size() const { return bytes_.size(); }
  uint16_t machine() const { return u16(pe_ + 4); }
  uint16_t characteristics() const { return u16(pe_ + 22); }
  uint16_t magic() const { return u16(optional_); }
  uint16_t subsystem() const { return u16(optional_ + 68); }
  uint16_t dll_characteristics() const { return u16(optional_ + 70); }
  uint32_t file_alignment() const { return u32(optional_ + 36); }
  uint32_t entry_point() const { return u32(optional_ + 16); }
  // Data directory n: (virtual address, size).
  std::pair<uint32_t, uint32_t> directory(int n) const {
    return {u32(optional_ + 96 + 8 * n), u32(optional_ + 100 + 8 * n)};
  }
  const std::vector<section>& sections() const { return sections_; }

  // The end of the last section's raw data: the linked image without padding.
  uint32_t linked_end() const {
    uint32_t end = 0;
    for (const section& s : sections_) end = std::max(end, s.raw_offset + s.raw_size);
    return end;
  }

  const section* section_of(uint32_t rva) const {
    for (const section& s : sections_) {
      if (rva >= s.virtual_address && rva < s.virtual_address + std::max(s.virtual_size, s.raw_size)) return &s;
    }
    return nullptr;
  }

  uint32_t offset_of(uint32_t rva) const {
    const section* s = section_of(rva);
    return s ? rva - s->virtual_address + s->raw_offset : UINT32_MAX;
  }

  std::string text_at(uint32_t rva) const {
    std::string text;
    for (uint32_t at = offset_of(rva); at < bytes_.size() && bytes_[at]; ++at) text += static_cast<char>(bytes_[at]);
    return text;
  }

  uint8_t u8(uint32_t at) const { return at < bytes_.size() ? bytes_[at] : 0; }
  uint16_t u16(uint32_t at) const { return static_cast<uint16_t>(u8(at) | u8(at + 1) << 8); }
  uint32_t u32(uint32_t at) const { return u16(at) | static_cast<uint32_t>(u16(at + 2)) << 16; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

  // The names of the imported DLLs, in lower case.
  std::set<std::string> imported_dlls() const {
    std::set<std::string> names;
    uint32_t at = offset_of(directory(1).first);
    for (; at != UINT32_MAX && at + 20 <= bytes_.size() && u32(at + 12) != 0; at += 20) {
      std::string name = text_at(u32(at + 12));
      std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
      names.insert(name);
    }
    return names;
  }

  // Resource directory walk: the entries of one directory table, as (name or
  // id, offset of the entry's data or subdirectory relative to .rsrc, is a
  // directory).
  struct resource_entry {
    std::string name;  // empty for an id
    uint32_t id;
    uint32_t target;
    bool is_directory;
  };
  std::vector<resource_entry> resource_table(uint32_t relative) const {
    std::vector<resource_entry> entries;
    uint32_t base = offset_of(directory(2).first);
    if (base == UINT32_MAX) return entries;
    uint32_t at = base + relative;
    uint32_t count = u16(at + 12) + u16(at + 14);
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t entry = at + 16 + 8 * i;
      uint32_t name_field = u32(entry), target = u32(entry + 4);
      resource_entry e = {"", 0, target & 0x7FFFFFFF, (target & 0x80000000u) != 0};
      if (name_field & 0x80000000u) {
        uint32_t s = base + (name_field & 0x7FFFFFFF);
        for (uint16_t k = 0; k < u16(s); ++k) e.name += static_cast<char>(u16(s + 2 + 2 * k));
      } else {
        e.id = name_field;
      }
      entries.push_back(e);
    }
    return entries;
  }

  // The data of the first language of resource type/name: its bytes.
  std::vector<uint8_t> resource_data(uint32_t type, const std::string& name, uint32_t id) const {
    uint32_t base = offset_of(directory(2).first);
    for (const auto& t : resource_table(0)) {
      if (t.name.empty() && t.id == type && t.is_directory) {
        for (const auto& n : resource_table(t.target)) {
          if ((name.empty() ? n.name.empty() && n.id == id : n.name == name) && n.is_directory) {
            auto languages = resource_table(n.target);
            if (languages.empty()) return {};
            uint32_t data_entry = base + languages[0].target;
            uint32_t at = offset_of(u32(data_entry)), size = u32(data_entry + 4);
            if (at == UINT32_MAX || at + size > bytes_.size()) return {};
            return std::vector<uint8_t>(bytes_.begin() + at, bytes_.begin() + at + size);
          }
        }
      }
    }
    return {};
  }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t pe_ = 0, optional_ = 0;
  std::vector<section> sections_;
  bool valid_ = false;
};

class StubImage : public ::testing::Test {
 protected:
  pe_image image{read_stub()};
};

TEST_F(StubImage, IsExactlyTheImageSizeOfTheArchiveFormat) {
  EXPECT_EQ(image.size(), 25600u);
}

TEST_F(StubImage, IsA32BitGuiProgramForI386) {
  ASSERT_TRUE(image.valid());
  EXPECT_EQ(image.machine(), 0x14C);
  EXPECT_EQ(image.magic(), 0x10B) << "PE32";
  EXPECT_EQ(image.subsystem(), 2) << "Windows GUI";
  EXPECT_TRUE(image.characteristics() & 0x0002) << "executable image";
  EXPECT_TRUE(image.characteristics() & 0x0100) << "32-bit machine";
  EXPECT_FALSE(image.characteristics() & 0x2000) << "not a DLL";
  EXPECT_EQ(image.file_alignment(), 512u);
  const section* code = image.section_of(image.entry_point());
  ASSERT_NE(code, nullptr);
  EXPECT_EQ(code->name, ".text");
}

TEST_F(StubImage, IsBuiltForAddressRandomisationAndDataExecutionPrevention) {
  ASSERT_TRUE(image.valid());
  EXPECT_TRUE(image.dll_characteristics() & 0x0040) << "DYNAMICBASE";
  EXPECT_TRUE(image.dll_characteristics() & 0x0100) << "NXCOMPAT";
  // Without relocations the loader could not move the image after all.
  EXPECT_GT(image.directory(5).second, 0u) << "base relocation table";
  EXPECT_FALSE(image.characteristics() & 0x0001) << "relocations stripped";
}

TEST_F(StubImage, ImportsOnlySystemDlls) {
  ASSERT_TRUE(image.valid());
  std::set<std::string> allowed = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "msvcrt.dll"};
  std::set<std::string> imported = image.imported_dlls();
  EXPECT_TRUE(imported.count("kernel32.dll"));
  EXPECT_TRUE(imported.count("user32.dll"));
  for (const std::string& dll : imported) EXPECT_TRUE(allowed.count(dll)) << dll;
  EXPECT_EQ(image.directory(9).second, 0u) << "no TLS callbacks of a runtime";
}

TEST_F(StubImage, IsPaddedWithZeroBytesAfterTheLinkedImage) {
  ASSERT_TRUE(image.valid());
  uint32_t end = image.linked_end();
  ASSERT_LE(end, image.size());
  EXPECT_TRUE(std::all_of(image.bytes().begin() + end, image.bytes().end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(StubImage, CarriesOneSixteenColourIconInTheGroupMainIcon) {
  ASSERT_TRUE(image.valid());
  std::vector<uint8_t> group = image.resource_data(14, "MAIN_ICON", 0);
  ASSERT_GE(group.size(), 6u + 14u);
  EXPECT_EQ(group[2] | group[3] << 8, 1) << "icon type";
  ASSERT_EQ(group[4] | group[5] << 8, 1) << "one image";
  EXPECT_EQ(group[6], 32) << "width";
  EXPECT_EQ(group[7], 32) << "height";
  EXPECT_EQ(group[8], 16) << "colours";
  EXPECT_EQ(group[12] | group[13] << 8, 4) << "bits per pixel";
  uint32_t icon_id = group[18] | group[19] << 8;
  std::vector<uint8_t> icon = image.resource_data(3, "", icon_id);
  ASSERT_GE(icon.size(), 40u);
  EXPECT_EQ(icon[4] | icon[5] << 8, 32) << "bitmap width";
  EXPECT_EQ(icon[14] | icon[15] << 8, 4) << "bitmap bits per pixel";
}

TEST_F(StubImage, ManifestRunsItWithTheUsersOwnRightsAndNothingElse) {
  ASSERT_TRUE(image.valid());
  std::vector<uint8_t> data = image.resource_data(24, "", 1);
  std::string manifest(data.begin(), data.end());
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("supportedOS"), std::string::npos);
  // No visual styles (comctl32 6) and no DPI awareness: the windows keep the
  // system font and the plain controls their layout was measured with.
  EXPECT_EQ(manifest.find("dependentAssembly"), std::string::npos);
  EXPECT_EQ(manifest.find("dpiAware"), std::string::npos);
  EXPECT_EQ(manifest.find("dpiAwareness"), std::string::npos);
}

// The build step that pads the image: exact padding, and a failed build for
// an image that has outgrown the format.
class StubPadding : public ::testing::Test {
 protected:
  int pad(const std::filesystem::path& image) {
    std::string command = "cmake -DIMAGE='" + image.string() + "' -DSIZE=25600 -P '" QUORVEX_SOURCE_DIR
                          "/app/win32/pad_image.cmake' >/dev/null 2>&1";
    return std::system(command.c_str());
  }
  temp_dir dir;
};

TEST_F(StubPadding, FillsASmallerImageWithZeroBytesUpToTheImageSize) {
  auto image = dir / "small.exe";
  std::vector<uint8_t> linked(20000, 0xAB);
  write_file(image, linked);
  EXPECT_EQ(pad(image), 0);
  std::vector<uint8_t> padded = read_file(image);
  ASSERT_EQ(padded.size(), 25600u);
  EXPECT_TRUE(std::equal(linked.begin(), linked.end(), padded.begin()));
  EXPECT_TRUE(std::all_of(padded.begin() + 20000, padded.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(StubPadding, FailsTheBuildForAnImageLargerThanTheImageSize) {
  auto image = dir / "large.exe";
  write_file(image, std::vector<uint8_t>(25601, 0xAB));
  EXPECT_NE(pad(image), 0);
  // Removed, so that the next build links again instead of keeping it.
  EXPECT_FALSE(std::filesystem::exists(image));
}

}  // namespace
