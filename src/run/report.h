// The report "result.rez": parameter echo, initial state, statics and leg ends, block by block.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "model/state.h"
#include "params/table.h"
#include "run/statics.h"
#include "textio/files.h"
#include "textio/format.h"

namespace liftsim::run {

inline constexpr int kReportUnit = 13;

// Writes the report's blocks to a unit of the run's files.
class Report {
 public:
  Report(textio::FileSet& files, int unit) : files_(files), unit_(unit) {}

  void echo(const params::EchoBlock& block, const params::CaseValues& v);  // blocks 1 to 10
  void initial_state(const model::StateVector& y);                         // block 11
  void statics(const StaticsResult& s, double lh_free);                    // blocks 12 to 17
  void leg_end(std::int32_t ihlf, double t_reached);                       // blocks 18 and 19

 private:
  void write(const textio::Format& format, std::initializer_list<textio::Item> items);

  textio::FileSet& files_;
  int unit_;
  std::string buffer_;
};

}  // namespace liftsim::run
