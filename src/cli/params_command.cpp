#include "cli/params_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "params/overrides.h"
#include "run/input.h"
#include "textio/files.h"

namespace liftsim::cli {
namespace {

// The value as a person reads it: a built-in single-precision constant as the decimal it was
// written as, anything else (read from dani.dat or set by name) as its shortest text.
params::Written shown_value(const params::Param& p, const params::CaseValues& values,
                            bool overridden) {
  const double value = params::get(p, values);
  if (p.built_in && !overridden && value == *p.built_in) return params::written(value);
  return {params::shortest(value), false};
}

}  // namespace

int params_command(const ParamsOptions& options) {
  ResolvedCase rc = resolve(options.case_options, model::Kind::legacy);
  // The values of dani.dat in the folder where it can be read; the built-in ones otherwise.
  params::CaseValues values = params::built_in_case();
  for (const auto& a : rc.overrides.list()) a.param->ref(values) = a.value;
  bool have_input = false;
  std::optional<textio::RunError> unreadable;  // a dani.dat that is there but a run cannot read
  try {
    textio::FileSet files(rc.dir_fd);
    files.open_for_reading(12, "dani.dat");
    const run::RecordSource source = [&files](std::string& record, std::size_t keep, int& e) {
      return files.read_record(12, record, keep, e, run::kLongestRecord);
    };
    run::read_case(source, "dani.dat", rc.overrides, values, {});
    have_input = true;
  } catch (const textio::RunFailure& failure) {
    values = params::built_in_case();
    for (const auto& a : rc.overrides.list()) a.param->ref(values) = a.value;
    struct stat st{};
    if (::fstatat(rc.dir_fd, "dani.dat", &st, 0) == 0) unreadable = failure.error();
  }
  if (rc.dir_fd >= 0) ::close(rc.dir_fd);

  std::string out;
  if (options.json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const params::Param& p : params::all_params()) {
      const bool overridden = rc.overrides.find(p).has_value();
      nlohmann::ordered_json item;
      item["name"] = p.name;
      const bool known = have_input || p.built_in || overridden;
      const params::Written shown = shown_value(p, values, overridden);
      item["value"] = known ? nlohmann::ordered_json(params::get(p, values)) : nullptr;
      item["written"] = known ? nlohmann::ordered_json(shown.text) : nullptr;
      item["single_precision"] = known && shown.single;
      item["unit"] = p.unit;
      item["source"] = params::source_text(p, overridden);
      item["record"] =
          p.record == 0 ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(p.record);
      item["built_in"] = p.built_in ? nlohmann::ordered_json(*p.built_in) : nullptr;
      item["settable"] = p.settable;
      item["echo_only"] = p.echo_only;
      std::string_view allowed;
      params::in_range(p, 0.0, allowed);
      item["range"] = allowed;
      item["meaning"] = p.meaning;
      list.push_back(item);
    }
    out = list.dump(2) + "\n";
  } else {
    out = "name     value         unit     source                                 meaning\n";
    const params::Param* first_single = nullptr;
    for (const params::Param& p : params::all_params()) {
      const bool overridden = rc.overrides.find(p).has_value();
      const bool known = have_input || p.built_in || overridden;
      const params::Written shown = shown_value(p, values, overridden);
      if (known && shown.single && first_single == nullptr) first_single = &p;
      std::string line(p.name);
      line.resize(std::max<std::size_t>(line.size() + 1, 9), ' ');
      line += known ? shown.text + (shown.single ? " *" : "") : "(dani.dat)";
      line.resize(std::max<std::size_t>(line.size() + 1, 23), ' ');
      line += p.unit;
      line.resize(std::max<std::size_t>(line.size() + 1, 32), ' ');
      line += params::source_text(p, overridden);
      line.resize(std::max<std::size_t>(line.size() + 1, 71), ' ');
      line += p.meaning;
      if (!p.settable) line += " [not settable]";
      out += line + "\n";
    }
    if (first_single != nullptr) {
      const std::string name(first_single->name);
      const double exact = params::get(*first_single, values);
      const std::string text = params::written(exact).text;
      out += "* a single-precision constant, shown as the decimal it was written as: a run uses "
             "its exact double\n  (" + name + " = " + text + " stands for " +
             params::shortest(exact) + "; --set " + name + "=" + text +
             " would give another value; --json lists both)\n";
    }
    if (!have_input) {
      out += unreadable ? "(dani.dat cannot be read, as the report says: a run here fails; values "
                          "marked (dani.dat) come from it)\n"
                        : "(no dani.dat in the folder: values marked (dani.dat) come from it)\n";
    }
  }
  textio::write_all(STDOUT_FILENO, out);
  if (unreadable) {
    textio::RunError shown = *unreadable;
    shown.message = escaped(shown.message, true);
    textio::write_all(STDERR_FILENO, textio::report_text(shown));
    return 1;
  }
  return 0;
}

}  // namespace liftsim::cli
