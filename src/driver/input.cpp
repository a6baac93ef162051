#include "driver/input.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

#include "driver/report.h"
#include "textio/input_fields.h"
#include "textio/units.h"

namespace liftsim::driver {
namespace {

using textio::ErrorCode;
using textio::FieldSpec;
using textio::Statement;

// The widest record statement reads two fields of ten columns.
constexpr std::size_t kKeptBytes = 64;

constexpr FieldSpec kF9_4{9, 4};
constexpr FieldSpec kF10_5{10, 5};
constexpr FieldSpec kE12_5{12, 5};

// Reads "dani.dat" one record per statement and turns every failure into an InputError whose
// message names the record, its columns and the quantity it fills.
class InputFile {
 public:
  explicit InputFile(const RecordSource& source) : source_(source) {}

  void skip(const char* what) { read({}, {}, what, {}); }

  void one(FieldSpec field, double& value, const char* what) {
    const std::array<FieldSpec, 1> fields{field};
    std::array<double, 1> values{};
    const std::array<const char*, 1> names{what};
    read(fields, values, what, names);
    value = values[0];
  }

  void two(FieldSpec field, double& a, const char* what_a, double& b, const char* what_b,
           const char* what) {
    const std::array<FieldSpec, 2> fields{field, field};
    std::array<double, 2> values{};
    const std::array<const char*, 2> names{what_a, what_b};
    read(fields, values, what, names);
    a = values[0];
    b = values[1];
  }

 private:
  [[noreturn]] void fail(ErrorCode code, const std::string& message) const {
    throw InputError(code, record_, message);
  }

  void read(std::span<const FieldSpec> fields, std::span<double> values, const char* what,
            std::span<const char* const> names) {
    ++record_;
    int error_number = 0;
    switch (source_(record_buf_, kKeptBytes, error_number)) {
      case textio::ReadStatus::ok:
        break;
      case textio::ReadStatus::end_of_file:
        fail(ErrorCode::F6501, "end of file: record " + std::to_string(record_) + " of " +
                                   std::to_string(kInputRecords) + " (" + what + ") is missing");
      case textio::ReadStatus::failure:
        fail(ErrorCode::F6500, "read failure at record " + std::to_string(record_) + " (" + what +
                                   "): " + std::strerror(error_number));
    }
    textio::FieldFailure failure;
    if (textio::read_fields(record_buf_, fields, values, failure)) return;

    const std::string where = "record " + std::to_string(record_) + ", columns " +
                              std::to_string(failure.first_column) + "-" +
                              std::to_string(failure.last_column) + " (" +
                              names[static_cast<std::size_t>(failure.field_index)] + ")";
    switch (failure.error) {
      case textio::FieldError::bad_character:
        fail(ErrorCode::F6103, "invalid character " + describe(failure.offending) + " in " + where);
      case textio::FieldError::too_large:
        fail(ErrorCode::F6102,
             "value '" + printable(failure.text) + "' too large for a double in " + where);
      case textio::FieldError::end_of_file:
      case textio::FieldError::none:
        break;
    }
    fail(ErrorCode::F6501, "end-of-file mark (Ctrl-Z) in " + where);
  }

  static std::string describe(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) return std::string("'") + c + "'";
    char hex[16];
    std::snprintf(hex, sizeof hex, "byte 0x%02X", byte);
    return hex;
  }

  static std::string printable(const std::string& text) {
    std::string out;
    for (char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      out += (byte >= 0x20 && byte < 0x7F) ? c : '?';
    }
    return out;
  }

  const RecordSource& source_;
  int record_ = 0;
  std::string record_buf_;
};

}  // namespace

void read_records(RunState& run, const RecordSource& source, bool echo) {
  model::Par& p = run.par;
  InputFile in(source);

  in.skip("heading line 1");
  in.skip("heading line 2");

  in.one(kF9_4, p.m_1, "mast mass m_1");
  in.one(kF9_4, p.m_2, "carriage mass m_2");
  in.one(kF9_4, p.m_3, "body mass m_3");
  in.one(kF9_4, p.m_4, "load mass m_4");
  p.m_1 = 210.0;
  p.m_2 = 90.0;
  p.m_3 = 1880.0;
  if (echo) write_masses(p);

  in.two(kF10_5, p.xc_1, "mast centre of mass x xc_1", p.zc_1, "mast centre of mass z zc_1",
         "mast centre of mass xc_1, zc_1");
  in.two(kF10_5, p.xc_2, "carriage centre of mass x xc_2", p.zc_2, "carriage centre of mass z zc_2",
         "carriage centre of mass xc_2, zc_2");
  in.two(kF10_5, p.xc_3, "body centre of mass x xc_3", p.zc_3, "body centre of mass z zc_3",
         "body centre of mass xc_3, zc_3");
  in.two(kF10_5, p.xc_4, "load centre of mass x xc_4", p.zc_4, "load centre of mass z zc_4",
         "load centre of mass xc_4, zc_4");
  p.xc_1 = double{0.07f};
  p.zc_1 = double{0.825f};
  p.xc_2 = double{0.03f};
  p.zc_2 = double{0.825f};
  p.xc_3 = double{-0.999f};
  p.zc_3 = double{0.485f};
  if (echo) write_mass_centres(p);

  in.one(kF9_4, p.J_1, "mast moment of inertia J_1");
  in.one(kF9_4, p.J_2, "carriage moment of inertia J_2");
  in.one(kF9_4, p.J_3, "body moment of inertia J_3");
  in.one(kF9_4, p.J_4, "load moment of inertia J_4");
  in.one(kE12_5, p.J_tk, "wheel-shaft moment of inertia J_tk");
  p.J_1 = 70.0;
  p.J_2 = 25.0;
  p.J_3 = 300.0;
  p.J_4 = 80.0;
  p.J_tk = 1767.0;
  if (echo) write_inertia(p);

  in.one(kE12_5, p.c_tt, "traction tyre tangential stiffness c_tt");
  in.one(kE12_5, p.c_tr, "traction tyre radial stiffness c_tr");
  in.one(kE12_5, p.c_kr, "steered tyre radial stiffness c_kr");
  in.one(kE12_5, p.c_buf, "rubber buffer stiffness c_buf");
  p.c_tt = 200000.0;
  p.c_tr = 552000.0;
  p.c_kr = 378000.0;
  p.c_buf = 503000.0;
  if (echo) write_tyre_stiffness(p);

  in.one(kF9_4, p.R_t, "traction wheel radius R_t");
  in.one(kF9_4, p.R_k, "steered wheel radius R_k");
  p.R_t = double{0.401f};
  p.R_k = double{0.401f};
  if (echo) write_wheel_radii(p);

  in.one(kF9_4, p.f_t, "traction wheel rolling friction f_t");
  in.one(kF9_4, p.f_k, "steered wheel rolling friction f_k");
  p.f_t = double{0.012f};
  p.f_k = double{0.012f};
  if (echo) write_rolling_friction(p);

  in.two(kF10_5, p.xh_1, "tilt-cylinder point on the mast x xh_1", p.zh_1,
         "tilt-cylinder point on the mast z zh_1", "tilt-cylinder point on the mast xh_1, zh_1");
  in.two(kF10_5, p.xh_3, "tilt-cylinder point on the body x xh_3", p.zh_3,
         "tilt-cylinder point on the body z zh_3", "tilt-cylinder point on the body xh_3, zh_3");
  p.xh_1 = 0.25;
  p.zh_1 = double{0.456f};
  p.xh_3 = double{-0.253f};
  p.zh_3 = double{0.38f};
  if (echo) write_cylinder_points(p);

  in.one(kE12_5, p.c_lift, "lift cylinder and chains stiffness c_lift");
  in.one(kE12_5, p.c_tilt, "tilt cylinder stiffness c_tilt");
  p.c_lift = 120000.0;
  p.c_tilt = 12000000.0;
  if (echo) write_cylinder_stiffness(p);

  in.one(kF9_4, p.x_O2, "carriage system origin x_O2");
  in.one(kF9_4, p.L_b, "wheelbase L_b");
  in.one(kF9_4, p.M_eng, "engine torque M_eng");
  in.one(kF9_4, p.f_fr, "friction coefficient f_fr");
  in.one(kF9_4, p.eps, "accuracy eps");
  p.x_O2 = double{0.28f};
  p.L_b = double{0.9f};
  p.M_eng = 0.0;
  p.f_fr = double{0.15f};
  p.eps = double{0.001f};
  if (echo) write_carriage_and_engine(p);

  // Initial state: the truck at rest on undeflected wheels, the load 0.6 m along the forks.
  run.y.fill(0.0);
  run.y[model::ix::Z_013] = double{0.401f};
  run.y[model::ix::X_C4] = double{0.6f};

  auto& prmt = run.prmt;
  in.one(kF9_4, prmt[0], "start time prmt(1)");
  in.one(kF9_4, prmt[1], "end time prmt(2)");
  in.one(kF9_4, prmt[2], "largest step prmt(3)");
  in.one(kF9_4, prmt[3], "error bound prmt(4)");
  in.one(kF9_4, prmt[4], "stop flag prmt(5)");
  prmt[0] = 0.0;
  prmt[1] = 10.0;
  prmt[2] = double{0.001f};
  prmt[3] = double{0.004f};
  prmt[4] = 0.0;
  if (echo) write_integration_control(prmt);

  run.w_err.fill(double{0.0714285746f});
  run.hist.t_prev = prmt[0];
  run.hist.t_last = prmt[0];

  auto& o = run.obs;
  in.one(kF9_4, o.xp[0], "observation point 1 x xp(1)");
  in.one(kF9_4, o.zp[0], "observation point 1 z zp(1)");
  in.one(kF9_4, o.xp[1], "observation point 2 x xp(2)");
  in.one(kF9_4, o.zp[1], "observation point 2 z zp(2)");
  in.one(kF9_4, o.xp[2], "observation point 3 x xp(3)");
  in.one(kF9_4, o.zp[2], "observation point 3 z zp(3)");
}

void read_input(RunState& run) {
  const RecordSource unit = [](std::string& record, std::size_t keep, int& error_number) {
    return textio::read_record(kInputUnit, record, keep, error_number);
  };
  try {
    read_records(run, unit, true);
  } catch (const InputError& e) {
    textio::file_error(e.code, Statement::read, textio::unit_file_name(kInputUnit), e.what());
  }
  textio::close_unit(kInputUnit);
}

}  // namespace liftsim::driver
