// The entry record writer picks the shorter name form, and whatever it writes
// the extraction run reads back as the same names.
#include <gtest/gtest.h>

#include <stdexcept>

#include "support/extraction_fixture.h"

namespace {

using quorvex::pack::name_record;
using quorvex::pack::payload_writer;
using bytes = std::vector<uint8_t>;

bytes text(const std::string& s) { return bytes(s.begin(), s.end()); }
bytes join(bytes a, const bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct form_case {
  const char* what;
  std::string previous, name;
  bytes record;
};

TEST(record_writer, takes_the_prefix_form_only_where_it_is_shorter) {
  const form_case cases[] = {
      {"nothing in common", "abc", "xyz", join(text("xyz"), {0})},
      {"two bytes in common cost as much as they save", "ab1", "ab2", join(text("ab2"), {0})},
      {"three bytes in common", "abc1", "abc2", join({0x2A, 0x01}, join(text("2"), {0}))},
      {"the whole previous name", "dir\\.", "dir\\.x", join({0x2A, 0x03}, join(text("x"), {0}))},
      {"at most 257 bytes are taken", std::string(300, 'p'), std::string(300, 'p') + "q",
       join({0x2A, 0xFF}, join(text(std::string(43, 'p') + "q"), {0}))},
      {"the empty name", "abc", "", {0}},
      {"a name beginning with '*' after an empty previous name", "", "*x", join({0x2A, 0x00}, join(text("*x"), {0}))},
      {"a name beginning with '*' after a one-byte previous name that is its start", "*", "*x",
       join({0x2A, 0x00}, join(text("x"), {0}))},
      {"a name beginning with '*' that shares two bytes", "*a1", "*a2", join({0x2A, 0x00}, join(text("2"), {0}))},
  };
  for (const form_case& c : cases) EXPECT_EQ(name_record(c.previous, c.name), c.record) << c.what;
}

TEST(record_writer, refuses_what_it_cannot_write) {
  EXPECT_THROW(name_record("abc", "*x"), std::invalid_argument) << "no plain form, nothing in common";
  EXPECT_THROW(name_record("x", "*x"), std::invalid_argument) << "a one-byte previous name it does not begin with";
  EXPECT_THROW(name_record("", std::string("a\0b", 3)), std::invalid_argument);
  payload_writer writer;
  EXPECT_THROW(writer.add_coded_file("a\\.", {}, 0, {}), std::invalid_argument) << "a file would read as a folder";
  EXPECT_THROW(writer.add_coded_file(".", {}, 0, {}), std::invalid_argument);
}

TEST(record_writer, everything_it_writes_reads_back_as_the_same_names) {
  extraction_fixture run;
  payload_writer writer;
  writer.add_coded_file("*first", {}, 1, coded_one_a().coded);
  writer.add_coded_file("*first too", {}, 0, {});
  writer.add_folder("shared\\beginning");
  writer.add_coded_file("shared\\beginning\\one", {}, 5, coded_five_a().coded);
  writer.add_coded_file("shared\\beginning\\two", {}, 0, {});
  writer.add_coded_file("shared\\other", {}, 0, {});
  writer.add_folder(std::string(150, 'L'));
  writer.add_coded_file(std::string(150, 'L') + "\\x", {}, 0, {});
  EXPECT_EQ(run.extract(writer.bytes()), -1);
  EXPECT_EQ(tree_of(run.out()), (std::map<std::string, std::string>{
                                    {"*first", "A"},
                                    {"*first too", ""},
                                    {"shared/", ""},
                                    {"shared/beginning/", ""},
                                    {"shared/beginning/one", "aaaaa"},
                                    {"shared/beginning/two", ""},
                                    {"shared/other", ""},
                                    {std::string(150, 'L') + "/", ""},
                                    {std::string(150, 'L') + "/x", ""},
                                }));
}

}  // namespace
