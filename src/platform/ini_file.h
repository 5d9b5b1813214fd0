// An INI file parsed once: sections "[name]", lines "key=value", CR LF or LF. Section and key
// names match case-insensitively (ASCII letters) and blanks around them are ignored; a value is
// everything after the first "=" up to the end of the line, blanks included. Lines before the
// first section belong to no section; of several equal keys in a section (also in a section
// that appears twice) the first one wins. The text is GBK unless it starts with the UTF-8
// byte-order mark; values come back as UTF-8.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tovask::platform {

class IniFile {
 public:
  IniFile() = default;

  // Parses the raw bytes of a file. Lines are decoded one at a time, so a damaged line costs
  // only itself: a key name that does not decode is skipped, a section header that does not
  // decode ends the current section without opening one.
  [[nodiscard]] static IniFile Parse(std::string_view bytes);

  // The value of the first key of that name in the section; nullopt when the section or key
  // is missing, or when that first value does not decode (a later equal key does not stand in).
  [[nodiscard]] std::optional<std::string> Value(std::string_view section,
                                                 std::string_view key) const;

 private:
  // Orders names ignoring the case of ASCII letters, so that lookups need no upper-cased copy.
  struct NameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  // Values by key by section; nullopt marks a first value that did not decode.
  using Section = std::map<std::string, std::optional<std::string>, NameLess>;
  std::map<std::string, Section, NameLess> sections_;
};

}  // namespace tovask::platform
