// One run of the simulator as a library call: input, statics, integration legs and the outputs
// the caller chooses. A run owns all its state; runs on different threads share nothing.
#pragma once

#include <fcntl.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/road.h"
#include "output/step_output.h"
#include "params/overrides.h"
#include "run/input.h"
#include "run/legs.h"
#include "run/settle.h"
#include "run/statics.h"
#include "textio/files.h"
#include "textio/run_error.h"

namespace liftsim::run {

enum class Outcome {
  completed,  // reached the end time, or a leg ended short of it with a code other than 11
  error,      // a file, input or floating-point failure ended the run
  stalled,    // the run used up its work limit before reaching its end time
  decided,    // an observer saw all it needed and ended the run (see PointObserver::finished)
  invalid,    // the values set by name make no case; nothing was run or touched
};

const char* outcome_name(Outcome outcome);

struct RunPlan {
  int dir_fd = AT_FDCWD;  // the run's folder
  // The 25 files of a plain run: dani.dat opened (created when missing) with the report and the
  // time histories beside it. Without them the run touches no file but its input, which it only
  // reads.
  bool legacy_files = true;
  // Input held in memory instead of dani.dat in the folder.
  std::optional<std::string> input_text;
  params::Overrides overrides;
  model::Road road;
  model::Drive drive;  // the engine law unless a torque or a brake is given
  // What the road, drive and brake are, in words, for what the run reports ("flat", "road.csv").
  struct Labels {
    std::string road = "flat";
    std::string drive = "engine law";
    std::string brake = "none";
  } labels;
  model::Kind kind = model::Kind::legacy;
  WorkLimit work;
  textio::Console* console = nullptr;             // progress lines (with the time-history files)
  std::vector<output::PointObserver*> observers;  // run after the time-history files
  // A request to stop: when it turns non-zero (the number of the signal that asked) the run ends
  // at its next output point, after the point's records are written, or sooner when it has not
  // begun integrating, with outcome `error` and textio::interrupted_error(value). Not owned.
  const std::atomic<int>* stop = nullptr;
  // Called once the input is read, with the values as the run will use them.
  std::function<void(const params::CaseValues& values, const InputNotes& notes)> on_input;
};

struct RunResult {
  Outcome outcome = Outcome::completed;
  std::optional<textio::RunError> error;  // for `error` and `stalled`
  std::string problem;                    // for `invalid`: what is wrong, for the user
  model::Kind kind = model::Kind::legacy;
  RunPlan::Labels labels;
  RunStats stats;
  params::CaseValues values;  // as the run used them
  InputNotes notes;           // what the input held that reads surprisingly
  bool input_read = false;
  std::optional<StaticsResult> statics;
  double t_reached = 0.0;  // time of the last output point
  int restarts = 0;
  // The sound model starts from its own equilibrium: how far the statics were from it.
  std::optional<Settling> settling;
};

// What is wrong with the values set by name for a run, before anything runs: each value outside
// its parameter's range, and the rules between parameters (end after start). The message is the
// one the command line shows.
std::optional<params::ParseError> check_plan(const RunPlan& setup);

// One run. It refuses (outcome `invalid`, nothing touched) what check_plan refuses.
RunResult simulate(const RunPlan& setup);

inline constexpr int kInputUnit = 12;
inline constexpr int kStaticaUnit = 14;

}  // namespace liftsim::run
