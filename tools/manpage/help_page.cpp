#include "manpage/help_page.h"

namespace liftsim::manpage {
namespace {

std::string_view trim(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// CLI11 pads an entry's name to this column and starts the description there; a longer name
// puts the description on the next line, indented to it.
constexpr std::size_t kDescriptionColumn = 30;

// "  -C DIR      Run in ..." as name and description. Names hold single spaces only.
Entry entry_of(std::string_view line) {
  const std::string_view body = line.substr(2);
  auto gap = body.find("  ");
  if (gap == std::string_view::npos && line.size() > kDescriptionColumn &&
      line[kDescriptionColumn - 1] == ' ') {
    gap = kDescriptionColumn - 3;
  }
  if (gap == std::string_view::npos) return {std::string(trim(body)), {}};
  return {std::string(trim(body.substr(0, gap))), std::string(trim(body.substr(gap)))};
}

// "\fB\-C\fR \fIDIR\fR": the option itself in bold, what it takes in italics.
std::string entry_name(std::string_view name) {
  const auto space = name.find(' ');
  std::string out = "\\fB";
  for (char c : name.substr(0, space)) {
    out += c == ',' ? std::string("\\fR, \\fB") : roff_text(std::string_view(&c, 1));
  }
  out += "\\fR";
  if (space != std::string_view::npos) out += " \\fI" + roff_text(name.substr(space + 1)) + "\\fR";
  return out;
}

void render_lists(std::string& out, const Help& help, bool skip_subcommands) {
  std::vector<const List*> shown;
  for (const List& list : help.lists)
    if (!(skip_subcommands && list.heading == "Subcommands")) shown.push_back(&list);
  for (const List* list_shown : shown) {
    const List& list = *list_shown;
    if (shown.size() > 1 || list.heading != "Options") {
      out += ".PP\n\\fI" + roff_text(list.heading) + ":\\fR\n";
    }
    for (const Entry& e : list.entries) {
      out += ".TP\n" + entry_name(e.name) + "\n";
      if (!e.description.empty()) out += roff_text(e.description) + "\n";
    }
  }
}

void render_paragraphs(std::string& out, const std::vector<std::vector<std::string>>& paragraphs) {
  for (const auto& paragraph : paragraphs) {
    if (paragraph.empty()) continue;
    out += ".PP\n";
    for (const std::string& line : paragraph) out += roff_text(line) + "\n";
  }
}

// "liftsim params [OPTIONS]" as the command in bold and the rest as written.
std::string synopsis(std::string_view usage, std::string_view command) {
  std::string_view rest = usage;
  if (rest.starts_with(command)) rest.remove_prefix(command.size());
  std::string out = ".B " + roff_text(command) + "\n";
  if (!trim(rest).empty()) out += roff_text(trim(rest)) + "\n";
  return out;
}

}  // namespace

const List* Help::find(std::string_view heading) const {
  for (const List& list : lists)
    if (list.heading == heading) return &list;
  return nullptr;
}

Help parse_help(std::string_view text) {
  Help help;
  bool usage_seen = false;
  List* list = nullptr;
  std::vector<std::string>* paragraph = nullptr;
  for (std::string_view line : lines_of(text)) {
    if (trim(line).empty()) {
      list = nullptr;
      paragraph = nullptr;
      continue;
    }
    if (!usage_seen) {
      if (line.starts_with("Usage: ")) {
        help.usage = trim(line.substr(7));
        usage_seen = true;
      } else {
        help.description.emplace_back(trim(line));
      }
      continue;
    }
    if (list == nullptr && paragraph == nullptr && line.back() == ':' && line.front() != ' ' &&
        line.find(' ') == std::string_view::npos) {
      list = &help.lists.emplace_back();
      list->heading = line.substr(0, line.size() - 1);
      continue;
    }
    if (list != nullptr) {
      // A line indented beyond an entry's own indent carries on its description.
      if (line.starts_with("   ") && !list->entries.empty()) {
        std::string& d = list->entries.back().description;
        d += (d.empty() ? "" : " ") + std::string(trim(line));
      } else {
        list->entries.push_back(entry_of(line));
      }
      continue;
    }
    if (paragraph == nullptr) paragraph = &help.paragraphs.emplace_back();
    paragraph->emplace_back(line);
  }
  return help;
}

std::string roff_text(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  // A line starting with a dot or a quote would be a request.
  if (!text.empty() && (text.front() == '.' || text.front() == '\'')) out += "\\&";
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";  // a minus, so that options copied from the page work
    } else {
      out += c;
    }
  }
  return out;
}

std::string render(const Program& p) {
  std::string upper;
  for (char c : p.name) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  std::string out;
  out += ".\\\" Made from the --help texts of " + p.version +
         " when it was built: change those texts, not this page.\n";
  out += ".TH " + upper + " 1 \"\" \"" + roff_text(p.version) + "\" \"User Commands\"\n";
  // Option names and file names are not to be hyphenated or stretched.
  out += ".nh\n.ad l\n";
  out += ".SH NAME\n" + roff_text(p.name) + " \\- " + roff_text(p.summary) + "\n";
  out += ".SH SYNOPSIS\n" + synopsis(p.help.usage, p.name);
  for (const auto& [name, help] : p.subcommands) {
    out += ".br\n" + synopsis(help.usage, p.name + " " + name);
  }
  out += ".SH DESCRIPTION\n";
  render_paragraphs(out, {p.help.description});
  render_paragraphs(out, p.help.paragraphs);
  out += ".SH OPTIONS\n";
  render_lists(out, p.help, true);
  if (!p.subcommands.empty()) out += ".SH COMMANDS\n";
  for (const auto& [name, help] : p.subcommands) {
    out += ".SS \"" + roff_text(p.name + " " + name) + "\"\n";
    if (!help.description.empty()) render_paragraphs(out, {help.description});
    out += ".PP\n" + synopsis(help.usage, p.name + " " + name);
    render_lists(out, help, false);
    // The paragraphs every command repeats are in DESCRIPTION already.
    if (help.paragraphs != p.help.paragraphs) render_paragraphs(out, help.paragraphs);
  }
  return out;
}

}  // namespace liftsim::manpage
