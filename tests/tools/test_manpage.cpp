// The manual page from the help texts: CLI11's entries parsed, roff requests defused, footers kept.
#include <gtest/gtest.h>

#include <string>

#include "manpage/help_page.h"

namespace liftsim::manpage {
namespace {

TEST(HelpPage, ParsesCli11Layout) {
  const std::string text =
      "Does one thing\n"
      "Usage: prog sub [OPTIONS] files...\n"
      "\n"
      "Positionals:\n"
      "  files TEXT ... REQUIRED     Shard files\n"
      "\n"
      "Options:\n"
      "  -h,--help                   Print this help message and exit\n"
      "  --name-of-twenty-seven-ch N Description right after one space\n"
      "  --a-name-longer-than-the-column VALUE\n"
      "                              Description on the next line\n"
      "                              and on one more\n"
      "  --flag\n"
      "\n"
      "A footer line\n"
      "and its second line\n";
  const Help help = parse_help(text);
  EXPECT_EQ(help.description, std::vector<std::string>{"Does one thing"});
  EXPECT_EQ(help.usage, "prog sub [OPTIONS] files...");
  ASSERT_EQ(help.lists.size(), 2u);
  ASSERT_NE(help.find("Positionals"), nullptr);
  const std::pair<std::string, std::string> expected[] = {
      {"-h,--help", "Print this help message and exit"},
      {"--name-of-twenty-seven-ch N", "Description right after one space"},
      {"--a-name-longer-than-the-column VALUE", "Description on the next line and on one more"},
      {"--flag", ""}};
  const auto& options = help.find("Options")->entries;
  ASSERT_EQ(options.size(), std::size(expected));
  for (std::size_t i = 0; i < options.size(); ++i) {
    EXPECT_EQ(options[i].name, expected[i].first);
    EXPECT_EQ(options[i].description, expected[i].second);
  }
  EXPECT_EQ(help.find("Positionals")->entries[0].name, "files TEXT ... REQUIRED");
  EXPECT_EQ(help.paragraphs.size(), 1u);
}

TEST(HelpPage, RoffTextCannotBeARequestOrAnEscape) {
  const std::pair<const char*, const char*> cases[] = {
      {".so /etc/passwd", "\\&.so /etc/passwd"},
      {"'br", "\\&'br"},
      {"a\\fBb", "a\\efBb"},
      {"--set m_4=1", "\\-\\-set m_4=1"},
      {"x . y", "x . y"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(roff_text(in), out) << in;
}

TEST(HelpPage, SubcommandFooterShownOnlyWhenItIsItsOwn) {
  Program p{"prog", "does things", "prog 1.0", parse_help("Usage: prog\n\nShared footer\n"), {}};
  p.subcommands.emplace_back("same", parse_help("Usage: prog same\n\nShared footer\n"));
  p.subcommands.emplace_back("own", parse_help("Usage: prog own\n\nIts own footer\n"));
  const std::string page = render(p);
  EXPECT_EQ(page.find("Shared footer"), page.rfind("Shared footer"));
  EXPECT_NE(page.find("Its own footer"), std::string::npos);
  EXPECT_NE(page.find(".SS \"prog own\""), std::string::npos);
}

}  // namespace
}  // namespace liftsim::manpage
