#include "run/report.h"

#include <array>
#include <vector>

namespace liftsim::run {
namespace {

using textio::Format;

// The echo blocks' formats, parsed once for every run.
const Format& echo_format(std::size_t index) {
  static const std::vector<Format> formats = [] {
    std::vector<Format> f;
    for (const params::EchoBlock& b : params::echo_blocks()) f.emplace_back(b.format);
    return f;
  }();
  return formats.at(index);
}

}  // namespace

void Report::write(const Format& format, std::initializer_list<textio::Item> items) {
  buffer_.clear();
  format.render(buffer_, items);
  files_.write_records(unit_, buffer_);
}

void Report::echo(const params::EchoBlock& block, const params::CaseValues& v) {
  const auto blocks = params::echo_blocks();
  const auto index = static_cast<std::size_t>(&block - blocks.data());
  std::array<textio::Item, 8> items{0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  for (int k = 0; k < block.count; ++k) {
    items[k] = params::get(*params::find_param(block.params[k]), v);
  }
  buffer_.clear();
  echo_format(index).render(buffer_, std::span<const textio::Item>(items.data(), block.count));
  files_.write_records(unit_, buffer_);
}

void Report::initial_state(const model::StateVector& y) {
  namespace ix = model::ix;
  static const Format f(
      "(10X,'ЗНАЧЕННЯ УЗАГАЛЬНЕНИХ КООРДИНАТ В ПОЧАТКОВИЙ МОМЕНТ ЧАСУ : ',/,"
      "'X_01.3 : ',F9.4,/,'Z_01.3 : ',F9.4,/,'Fi_1   : ',F9.4,/,'Fi_3   : ',F9.4,/,"
      "'Z_02   : ',F9.4,/,'X_C4   : ',F9.4,/,'Fi_tk  : ',F9.4,/,"
      "10X,'ПОХІДНІ ВІД УЗАГАЛЬНЕНИХ КООРДИНАТ В ПОЧАТКОВИЙ МОМЕНТ ЧАСУ:',/,"
      "'VX_01.3 : ',F9.4,/,'VZ_01.3 : ',F9.4,/,'VFi_1   : ',F9.4,/,'VFi_3   : ',F9.4,/,"
      "'VZ_02   : ',F9.4,/,'VX_C4   : ',F9.4,/,'VFi_tk  : ',F9.4,/)");
  write(f, {y[ix::X_013], y[ix::Z_013], y[ix::Fi_1], y[ix::Fi_3], y[ix::Z_02], y[ix::X_C4],
            y[ix::Fi_tk], y[ix::VX_013], y[ix::VZ_013], y[ix::VFi_1], y[ix::VFi_3], y[ix::VZ_02],
            y[ix::VX_C4], y[ix::VFi_tk]});
}

void Report::statics(const StaticsResult& s, double lh_free) {
  static const Format single("(E12.5)");
  static const Format forces(
      "(/,/,/,15X,'Статичні силові співвідношення:',/,/,9X,'-SF13=',E12.5,5X,'-SF12=',E12.5,/,"
      "9X,'-F_tp_0=',E12.5,5X,'-F_kp_0=',E12.5)");
  write(single, {s.lh_0});
  write(single, {s.dl_t1});
  write(single, {s.dl_t3});
  write(single, {s.dl_tilt});
  write(single, {lh_free});
  write(forces, {s.SF13, s.SF12, s.F_tp_0, s.F_kp_0});
}

void Report::leg_end(std::int32_t ihlf, double t_reached) {
  static const Format code("(15X,'ihlf=',I2)");
  static const Format time("(15X,'ypop(15)=',E12.5)");
  write(code, {ihlf});
  write(time, {t_reached});
}

}  // namespace liftsim::run
