#include "cli/columns_command.h"

#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>

#include "results/columns.h"
#include "textio/files.h"

namespace liftsim::cli {

int columns_command(bool json) {
  std::string out;
  if (json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const results::Column& c : results::columns()) {
      list.push_back(
          {{"name", c.name}, {"unit", c.unit}, {"group", c.group}, {"meaning", c.meaning}});
    }
    out = list.dump(2) + "\n";
  } else {
    out = "name      unit     group               meaning\n";
    for (const results::Column& c : results::columns()) {
      std::string line(c.name);
      line.resize(std::max<std::size_t>(line.size() + 1, 10), ' ');
      line += c.unit;
      line.resize(std::max<std::size_t>(line.size() + 1, 19), ' ');
      line += c.group;
      line.resize(std::max<std::size_t>(line.size() + 1, 39), ' ');
      line += c.meaning;
      out += line + "\n";
    }
  }
  textio::write_all(STDOUT_FILENO, out);
  return 0;
}

}  // namespace liftsim::cli
