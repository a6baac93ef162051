#include "driver/report.h"

#include "textio/format.h"

namespace liftsim::driver {
namespace {

using textio::Format;
using textio::write_formatted;

void write(const Format& format, std::initializer_list<textio::Item> items) {
  write_formatted(kReportUnit, format, items);
}

}  // namespace

void write_masses(const model::Par& p) {
  static const Format f(
      "('МАСА ВАНТАЖОПІДЙОМНИКА ',F9.4,/,'МАСА КАРЕТКИ ',F9.4,/,'МАСА КОРПУСА ',F9.4,/,"
      "'МАСА ВАНТАЖУ ',F9.4,/)");
  write(f, {p.m_1, p.m_2, p.m_3, p.m_4});
}

void write_mass_centres(const model::Par& p) {
  static const Format f(
      "(10X,'КООРДИНАТИ ПОЛОЖЕННЯ ЦЕНТРІВ МАС',/,'ВАНТАЖОПІДЙОМНИКА ',2(F9.4),/,"
      "'КАРЕТКИ ',2(F9.4),/,'КОРПУСА ',2(F9.4),/,'ВАНТАЖУ ',2(F9.4),/)");
  write(f, {p.xc_1, p.zc_1, p.xc_2, p.zc_2, p.xc_3, p.zc_3, p.xc_4, p.zc_4});
}

void write_inertia(const model::Par& p) {
  static const Format f(
      "(15X,'ОСЬОВІ МОМЕНТИ ІНЕРЦІЇ ',/,'ВАНТАЖОПІДЙОМНИКА ',F9.4,/,'КАРЕТКИ ',F9.4,/,"
      "'КОРПУСА ',F9.4,/,'ВАНТАЖУ ',F9.4,/,'ВАЛУ ТЯГОВОГО КОЛЕСА',E12.5,/)");
  write(f, {p.J_1, p.J_2, p.J_3, p.J_4, p.J_tk});
}

void write_tyre_stiffness(const model::Par& p) {
  static const Format f(
      "('ЖОРСТКІСТЬ ТЯГОВИХ КОЛІС В ТАНГЕНЦІАЛЬНОМУ НАПРЯМКУ ',E12.5,/,"
      "'ЖОРСТКІСТЬ ТЯГОВИХ КОЛІС В РАДІАЛЬНОМУ НАПРЯМКУ ',E12.5,/,"
      "'ЖОРСТКІСТЬ КЕРОВАНИХ КОЛІС В РАДІАЛЬНОМУ НАПРЯМКУ ',E12.5,/,"
      "'ЖОРСТКІСТЬ ГУМОВОГО БУФЕРА ',E12.5,/)");
  write(f, {p.c_tt, p.c_tr, p.c_kr, p.c_buf});
}

void write_wheel_radii(const model::Par& p) {
  static const Format f("('РАДІУС ТЯГОВОГО КОЛЕСА ',F9.4,/,'РАДІУС КЕРОВАНОГО КОЛЕСА ',F9.4,/)");
  write(f, {p.R_t, p.R_k});
}

void write_rolling_friction(const model::Par& p) {
  static const Format f(
      "('КОЕФІЦІЄНТ ТЕРТЯ КОЧЕНЯ ТЯГОВИХ КОЛІС ',F9.4,/,"
      "'КОЕФІЦІЄНТ ТЕРТЯ КОЧЕНЯ КЕРОВАНИХ КОЛІС ',F9.4,/)");
  write(f, {p.f_t, p.f_k});
}

void write_cylinder_points(const model::Par& p) {
  static const Format f(
      "('КООРДИНАТИ ТОЧКИ КРІПЛЕННЯ ГІДРОЦИЛІНДРІВ ДО              ВАНТАЖОПІДЙОМНИКА ',"
      "2(F9.4),/,'КООРДИНАТИ ТОЧКИ КРІПЛЕННЯ ГІДРОЦИЛІНДРІВ ДО КОРПУСА ',2(F9.4),/)");
  write(f, {p.xh_1, p.zh_1, p.xh_3, p.zh_3});
}

void write_cylinder_stiffness(const model::Par& p) {
  static const Format f(
      "('ЖОРСТКІСТЬ НА РОЗТЯГ-СТИСК ГІДРОЦИЛІНДРА І ЛАНЦЮГІВ ',E12.5,/,"
      "'ЖОРСТКІСТЬ НА РОЗТЯГ-СТИСК ГІДРОЦИЛІНДРА МІЖ В-ОМ І КОРПУСОМ ',E12.5,/)");
  write(f, {p.c_lift, p.c_tilt});
}

void write_carriage_and_engine(const model::Par& p) {
  static const Format f(
      "('КООРДИНАТА ПОЧАТКУ СИСТЕМИ КООРДИНАТ X2O2Z2 ',F9.4,/,'БАЗОВА ВІДСТАНЬ МІЖ ОСЯМИ ',F9.4,/,"
      "'МОМЕНТ ВІД ДВИГУНА ',F9.4,/,'КОЕФІЦІЄНТ ТЕРТЯ ',F9.4,/,'ТОЧНІСТЬ ',F9.4,/)");
  write(f, {p.x_O2, p.L_b, p.M_eng, p.f_fr, p.eps});
}

void write_integration_control(const std::array<double, 5>& prmt) {
  static const Format f(
      "('ПОЧАТКОВИЙ МОМЕНТ ЧАСУ ',F9.4,/,'КІНЦЕВИЙ МОМЕНТ ЧАСУ ',F9.4,/,"
      "'МАКСИМАЛЬНИЙ КРОК ІНТЕГРУВАННЯ ',F9.4,/,'ТОЧНІСТЬ ІНТЕГРУВАННЯ ',F9.4,/,"
      "'prmt(5)= ',F9.4,/)");
  write(f, {prmt[0], prmt[1], prmt[2], prmt[3], prmt[4]});
}

void write_initial_state(const model::StateVector& y) {
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

void write_statics(const StaticsResult& s, double lh_free) {
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

void write_leg_end(std::int32_t ihlf, double t_reached) {
  static const Format code("(15X,'ihlf=',I2)");
  static const Format time("(15X,'ypop(15)=',E12.5)");
  write(code, {ihlf});
  write(time, {t_reached});
}

}  // namespace liftsim::driver
