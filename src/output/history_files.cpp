#include "output/history_files.h"

#include <algorithm>

#include "textio/format.h"

namespace liftsim::output {
namespace {

namespace ix = model::ix;

template <int I>
double state(const Logged&, const double* y, const model::Published&) {
  return y[I];
}

#define LIFTSIM_LOGGED(field) \
  [](const Logged& lg, const double*, const model::Published&) { return lg.field; }

const textio::Format& two_columns() {
  static const textio::Format f("(2X,E12.5,2X,E12.5)");
  return f;
}
const textio::Format& three_columns() {
  static const textio::Format f("(2X,E12.5,2X,E12.5,2X,E12.5)");
  return f;
}

}  // namespace

const std::array<HistoryFile, 22> kHistoryFiles{{
    {54, "1XZ2P.rez", 2, {LIFTSIM_LOGGED(ax_p[0]), LIFTSIM_LOGGED(az_p[0])}},
    {55, "2XZ2P.rez", 2, {LIFTSIM_LOGGED(ax_p[1]), LIFTSIM_LOGGED(az_p[1])}},
    {56, "3XZ2P.rez", 2, {LIFTSIM_LOGGED(ax_p[2]), LIFTSIM_LOGGED(az_p[2])}},
    {57, "Engine.rez", 1, {[](const Logged&, const double*, const model::Published& pub) {
       return pub.M_eng;
     }}},
    {50, "F_13.rez", 1, {LIFTSIM_LOGGED(F_13)}},
    {51, "F_12.rez", 1, {LIFTSIM_LOGGED(F_12)}},
    // the progress line
    {52,
     "F_tp.rez",
     2,
     {LIFTSIM_LOGGED(F_tp),
      [](const Logged& lg, const double*, const model::Published&) { return lg.F_an / 10.0; }}},
    {53, "F_kp.rez", 1, {LIFTSIM_LOGGED(F_kp)}},
    {21, "vx_013.rez", 1, {state<ix::VX_013>}},
    {22, "vz_013.rez", 1, {state<ix::VZ_013>}},
    {23, "vfi1.rez", 1, {state<ix::VFi_1>}},
    {24, "vfi3.rez", 1, {state<ix::VFi_3>}},
    {25, "vz_02.rez", 1, {state<ix::VZ_02>}},
    {26, "x_013.rez", 1, {state<ix::X_013>}},
    {27, "z_013.rez", 1, {state<ix::Z_013>}},
    {28, "fi1.rez", 1, {LIFTSIM_LOGGED(Fi_1deg)}},
    {29, "fi3.rez", 1, {LIFTSIM_LOGGED(Fi_3deg)}},
    {30, "z_02.rez", 1, {state<ix::Z_02>}},
    {31, "vx_c4.rez", 1, {state<ix::VX_C4>}},
    {32, "vfi_tk.rez", 1, {state<ix::VFi_tk>}},
    {33, "x_c4.rez", 1, {state<ix::X_C4>}},
    {34, "fi_tk.rez", 1, {LIFTSIM_LOGGED(Fi_tkdeg)}},
}};

#undef LIFTSIM_LOGGED

void open_history_files(textio::FileSet& files) {
  std::array<const HistoryFile*, kHistoryFiles.size()> by_unit;
  for (std::size_t i = 0; i < kHistoryFiles.size(); ++i) by_unit[i] = &kHistoryFiles[i];
  std::sort(by_unit.begin(), by_unit.end(),
            [](const HistoryFile* a, const HistoryFile* b) { return a->unit < b->unit; });
  for (const HistoryFile* f : by_unit) files.open(f->unit, f->name);
}

HistoryFiles::HistoryFiles(textio::FileSet* files, textio::Console* console)
    : files_(files), console_(console) {
  buffer_.reserve(128);
}

void HistoryFiles::on_point(const OutputPoint& p) {
  if (p.n_out % kThinning != 0) return;
  const Logged lg = compute_logged(p.x, p.y, *p.model, *p.obs, *p.hist);
  if (files_ == nullptr) return;
  for (std::size_t i = 0; i < kHistoryFiles.size(); ++i) {
    if (i == kProgressLineAfter && console_ != nullptr) {
      buffer_.clear();
      textio::append_list_directed(buffer_, p.n_out, p.x);
      buffer_ += "\r\n";
      console_->write(buffer_);
    }
    const HistoryFile& f = kHistoryFiles[i];
    buffer_.clear();
    if (f.values == 1) {
      two_columns().render(buffer_, {p.x, f.value[0](lg, p.y, *p.pub)});
    } else {
      three_columns().render(buffer_,
                             {p.x, f.value[0](lg, p.y, *p.pub), f.value[1](lg, p.y, *p.pub)});
    }
    files_->write_records(f.unit, buffer_);
  }
}

}  // namespace liftsim::output
