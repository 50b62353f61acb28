// Names and texts as an archive holds them: code page 932 bytes, folders
// separated by backslashes. The tree on Linux has UTF-8 names.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace quorvex::pack {

// UTF-8 -> code page 932; nothing when some character has no code page 932
// form (or the text is not UTF-8).
std::optional<std::string> cp932_text(const std::string& utf8);

// The first character of a UTF-8 text that code page 932 cannot hold, for a
// message: "U+1F600 (😀)", or "the byte 0xFF (not UTF-8)"; "" when none.
std::string unrepresentable_part(const std::string& utf8);

// One folder or file name (UTF-8, no '/') in code page 932. Throws refusal,
// naming `shown` (the whole path, UTF-8), when it cannot be stored so that
// it comes back as the same single name.
std::string archive_component(const std::string& utf8_component, const std::string& shown);

// Why an archive name (code page 932 components joined by backslashes; a
// folder's without the final "\.") could not be extracted as it is, or "":
// the extractor's own refusals, and what Windows cannot create.
std::string name_problem(const std::string& name);

// The order of entries: component by component, bytewise, so that every
// folder comes right before its contents.
bool comes_before(const std::vector<std::string>& a, const std::vector<std::string>& b);

// The name as Windows compares names: its ASCII letters in one case (the
// trail bytes of double-byte characters untouched). Two names with the same
// key are one name on Windows.
std::string windows_key(const std::string& name);

// A comment for the setup window: UTF-8 in (a leading byte order mark is
// dropped), code page 932 out, every line break CR LF. Throws refusal.
std::string comment_text(const std::string& utf8);

}  // namespace quorvex::pack
