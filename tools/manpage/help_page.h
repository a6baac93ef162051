// The manual page liftsim.1, made from the program's own --help texts so that it says what the
// program says: the main help and every subcommand's, as CLI11 lays them out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace liftsim::manpage {

// One entry of an "Options:", "Positionals:" or "Subcommands:" list: "-C DIR" and what it does.
struct Entry {
  std::string name;
  std::string description;
};

// A list with its heading ("Options", ...).
struct List {
  std::string heading;
  std::vector<Entry> entries;
};

// One --help text taken apart: the lines before "Usage:", the usage line, the lists, and the
// paragraphs after them (the footer).
struct Help {
  std::vector<std::string> description;
  std::string usage;  // without "Usage: "
  std::vector<List> lists;
  std::vector<std::vector<std::string>> paragraphs;
  // The list under `heading`, or nullptr.
  const List* find(std::string_view heading) const;
};

Help parse_help(std::string_view text);

// What the page is made of: the program's help and version line, then each subcommand's name
// and help in the order the program lists them.
struct Program {
  std::string name;     // "liftsim"
  std::string summary;  // one line for NAME
  std::string version;  // the --version line
  Help help;
  std::vector<std::pair<std::string, Help>> subcommands;
};

// The page as roff with the man macros.
std::string render(const Program& program);

// `text` safe as roff running text: backslashes as \e, a leading dot or quote protected.
std::string roff_text(std::string_view text);

}  // namespace liftsim::manpage
