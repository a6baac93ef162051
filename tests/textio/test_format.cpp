#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "textio/codepage.h"
#include "textio/format.h"
#include "textio/units.h"

// Counts heap allocations so that the writer can be shown not to allocate.
namespace {
long allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
// The replacements pair malloc with free, which the compiler cannot see through.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
#pragma GCC diagnostic pop

namespace liftsim::textio {
namespace {

const double kInf = std::numeric_limits<double>::infinity();

double up(double v) {
  return std::nextafter(v, kInf);
}

struct RealCase {
  double value;
  const char* e12_5;
  const char* f9_4;
};

TEST(RealFields, E12_5AndF9_4) {
  const RealCase cases[] = {
      {1.0, "  .10000E+01", "   1.0000"},
      {-0.5, " -.50000E+00", "   -.5000"},
      {123456.0, "  .12346E+06", "*********"},
      {0.0, "  .00000E+00", "    .0000"},
      {-0.0, "  .00000E+00", "    .0000"},
      {2.5, "  .25000E+01", "   2.5000"},
      {0.999996, "  .10000E+01", "   1.0000"},
      {0.00005, "  .50000E-04", "    .0001"},
      {-0.00004, " -.40000E-04", "    .0000"},
      {1234.5678, "  .12346E+04", "1234.5678"},
      {-1234.5, " -.12345E+04", "*********"},
      {1.0e-10, "  .10000E-09", "    .0000"},
      {1.0e100, "  .10000+101", "*********"},
      {-1.0e-100, " -.10000E-99", "    .0000"},
      {0.0012, "  .12000E-02", "    .0012"},
      // carries through nines, also for negative values
      {9.99996, "  .10000E+02", "  10.0000"},
      {-9.99996, " -.10000E+02", " -10.0000"},
      {99.99995, "  .10000E+03", "  99.9999"},  // expanded 99.999949999999998
      {up(99.99995), "  .10000E+03", " 100.0000"},
      {-0.00005, " -.50000E-04", "   -.0001"},
      {4.999999999999999e-05, "  .50000E-04", "    .0000"},
      // only the digit right after the last decimal counts: below 1e-5 even a 9 stays dropped
      {9.6e-05, "  .96000E-04", "    .0001"},
      {9.6e-06, "  .96000E-05", "    .0000"},
      {-9.6e-06, " -.96000E-05", "    .0000"},
      // the largest texts that fit, and the first values that do not
      {9999.9999, "  .10000E+05", "9999.9999"},
      {up(9999.99995), "  .10000E+05", "*********"},
      {-999.9999, " -.10000E+04", "-999.9999"},
      {-999.99995, " -.10000E+04", "*********"},
      {std::nextafter(-999.99995, 0.0), " -.10000E+04", "-999.9999"},
      // exponent at the edge of two digits
      {1.0e98, "  .10000E+99", "*********"},
      {9.99994e98, "  .99999E+99", "*********"},
      {9.99995e98, "  .10000+100", "*********"},
      {-1.0e99, " -.10000+100", "*********"},
      {1.0e-99, "  .10000E-98", "    .0000"},
      {1.0e-101, "  .10000-100", "    .0000"},
      {9.99995e-101, "  .99999-100", "    .0000"},
      {up(9.99995e-101), "  .10000E-99", "    .0000"},
      // extremes of the double range
      {DBL_MAX, "  .17977+309", "*********"},
      {-DBL_MAX, " -.17977+309", "*********"},
      {DBL_TRUE_MIN, "  .49407-323", "    .0000"},
      // NaN and infinities get a readable text instead of digits
      {std::nan(""), "         NaN", "      NaN"},
      {kInf, "         Inf", "      Inf"},
      {-kInf, "        -Inf", "     -Inf"},
  };
  for (const RealCase& c : cases) {
    EXPECT_EQ(e_field(c.value, 12, 5), c.e12_5) << c.value;
    EXPECT_EQ(f_field(c.value, 9, 4), c.f9_4) << c.value;
  }
}

// Rounding looks only at the digit after the last kept one in the 17-digit expansion, not at
// the exact binary value.
TEST(RealFields, RoundingFollowsSeventeenDigitExpansion) {
  // exactly 0.12345499999999999529..., expanded 0.12345500000000000
  EXPECT_EQ(e_field(0.123455, 12, 5), "  .12346E+00");
  EXPECT_EQ(e_field(std::nextafter(0.123455, 0.0), 12, 5), "  .12345E+00");
  // exactly 1.00104999999999999538..., expanded 1.0010500000000000
  EXPECT_EQ(f_field(1.00105, 9, 4), "   1.0011");
  // expanded 0.99999499999999997: the sixth digit is 4, no carry
  EXPECT_EQ(e_field(0.999995, 12, 5), "  .99999E+00");
  EXPECT_EQ(e_field(up(0.999995), 12, 5), "  .10000E+01");
  // expanded 9999.9999499999999: fits
  EXPECT_EQ(f_field(9999.99995, 9, 4), "9999.9999");
  // a 5 beyond the seventeenth digit plays no part: 0.33333333333333331 rounds down at 17
  EXPECT_EQ(e_field(1.0 / 3.0, 30, 17), "        .33333333333333331E+00");
  EXPECT_EQ(e_field(1.0 / 3.0, 30, 20), "     .33333333333333331000E+00");
}

TEST(RealFields, OtherWidths) {
  EXPECT_EQ(f_field(0.5, 4, 4), "****");  // ".5000" is five characters
  EXPECT_EQ(f_field(0.5, 5, 4), ".5000");
  EXPECT_EQ(f_field(2.5, 4, 0), "  3.");
  EXPECT_EQ(f_field(-0.6, 4, 0), " -1.");
  EXPECT_EQ(f_field(123456789.0, 15, 4), " 123456789.0000");
  EXPECT_EQ(f_field(1.0e20, 25, 2), " 100000000000000000000.00");
  EXPECT_EQ(e_field(-1.0, 10, 5), "**********");
  EXPECT_EQ(e_field(-1.0, 11, 5), "-.10000E+01");
  EXPECT_EQ(e_field(1.0, 0, 5), "");
  EXPECT_EQ(f_field(1.0, -3, 4), "");
}

TEST(IntegerFields, I2) {
  const struct {
    std::int32_t value;
    const char* field;
  } cases[] = {
      {0, " 0"},  {5, " 5"},   {-5, "-5"},  {13, "13"},        {99, "99"},
      {-9, "-9"}, {123, "**"}, {-10, "**"}, {INT32_MIN, "**"}, {INT32_MAX, "**"},
  };
  for (const auto& c : cases) EXPECT_EQ(i_field(c.value, 2), c.field) << c.value;
  EXPECT_EQ(i_field(INT32_MIN, 11), "-2147483648");
  EXPECT_EQ(i_field(INT32_MAX, 12), "  2147483647");
}

TEST(ListDirected, IntegerAndReal) {
  const struct {
    std::int32_t count;
    double value;
    const char* record;
  } cases[] = {
      {500, 1.25, "         500        1.250000000000000"},
      {0, 0.0, "           0   0.000000000000000E+000"},
      {0, -0.0, "           0   0.000000000000000E+000"},
      {1, 0.5, "           1   5.000000000000000E-001"},
      {-7, -2.5, "          -7       -2.500000000000000"},
      {INT32_MIN, 1.0, " -2147483648        1.000000000000000"},
      // sixteen significant digits, the places after them zeros
      {2, 100.0 / 3.0, "           2       33.333333333333340"},
      {3, 9999999.999999998, "           3  9999999.999999998000000"},
      {3, -9999999.999999998, "           3 -9999999.999999998000000"},
      // the seventeenth digit rounds the sixteenth
      {4, 5.0 / 3.0, "           4        1.666666666666667"},
      // the largest double below 1 keeps the exponent form
      {4, 0.9999999999999999, "           4   9.999999999999999E-001"},
      {5, 1.0e7, "           5   1.000000000000000E+007"},
      {7, -0.001, "           7  -1.000000000000000E-003"},
      {8, DBL_TRUE_MIN, "           8   4.940656458412465E-324"},
      {9, -DBL_MAX, "           9  -1.797693134862316E+308"},
  };
  for (const auto& c : cases) {
    std::string record;
    append_list_directed(record, c.count, c.value);
    EXPECT_EQ(record, c.record) << c.value;
    EXPECT_EQ(record.size(), 37u);
  }
}

std::string cp(const char* utf8) {
  return to_cp1251(utf8);
}

TEST(Codepage, UkrainianLettersAndAscii) {
  EXPECT_EQ(cp("ІіЄєЇїҐґ"), "\xB2\xB3\xAA\xBA\xAF\xBF\xA5\xB4");
  EXPECT_EQ(cp("АЯая"), "\xC0\xDF\xE0\xFF");
  EXPECT_EQ(cp("prmt(5)= "), "prmt(5)= ");
  EXPECT_EQ(cp(""), "");
}

TEST(Codepage, TextWithoutWindows1251FormThrows) {
  for (const char* bad : {"中", "ő", "ok\xFF", "\xD0"}) {
    EXPECT_THROW(to_cp1251(bad), std::invalid_argument) << bad;
  }
}

struct RecordCase {
  const char* format;
  std::vector<Item> items;
  std::string records;
};

TEST(FormatRender, Records) {
  const RecordCase cases[] = {
      {"(2X,E12.5,2X,E12.5)", {0.0, 0.401}, "    .00000E+00    .40100E+00\r\n"},
      {"(2X,E12.5,2X,E12.5)", {0.5, -1.25}, "    .50000E+00   -.12500E+01\r\n"},
      {"(2X,E12.5,2X,E12.5,2X,E12.5)",
       {1.0, 2.0, -3.0},
       "    .10000E+01    .20000E+01   -.30000E+01\r\n"},
      {"(15X,'ihlf=',I2)", {0}, "               ihlf= 0\r\n"},
      {"(15X,'ihlf=',I2)", {11}, "               ihlf=11\r\n"},
      {"(E12.5)", {-1.0}, " -.10000E+01\r\n"},
      // items run out: text and "/" up to the next field are still written
      {"(15X,'ihlf=',I2)", {}, "               ihlf=\r\n"},
      {"('a',F9.4,/,'b',F9.4,/)", {1.0}, "a   1.0000\r\nb\r\n"},
      {"('a',F9.4,/,'b',F9.4,/)", {1.0, 2.0}, "a   1.0000\r\nb   2.0000\r\n\r\n"},
      // nested repeat groups
      {"(2(1X,2(I2)),'|')", {1, 2, 3, 4}, "  1 2  3 4|\r\n"},
      {"(3I2)", {1, 2, 3}, " 1 2 3\r\n"},
      {"(/,/,'x')", {}, "\r\n\r\nx\r\n"},
      // apostrophes and blanks inside text
      {"('it''s ',I2,'''')", {7}, "it's  7'\r\n"},
  };
  for (const RecordCase& c : cases) {
    std::string out = "kept";
    Format(c.format).render(out, c.items);
    EXPECT_EQ(out, "kept" + c.records) << c.format;
  }
}

TEST(FormatRender, ReportBlocks) {
  // the first label holds 14 blanks between "ДО" and "ВАНТАЖОПІДЙОМНИКА"
  const Format block7(
      "('КООРДИНАТИ ТОЧКИ КРІПЛЕННЯ ГІДРОЦИЛІНДРІВ ДО              ВАНТАЖОПІДЙОМНИКА ',2(F9.4),/,"
      "'КООРДИНАТИ ТОЧКИ КРІПЛЕННЯ ГІДРОЦИЛІНДРІВ ДО КОРПУСА ',2(F9.4),/)");
  EXPECT_EQ(block7.value_count(), 4);
  std::string out;
  block7.render(out, {-1.5, 0.25, 0.0, 1234.5678});
  EXPECT_EQ(out, cp("КООРДИНАТИ ТОЧКИ КРІПЛЕННЯ ГІДРОЦИЛІНДРІВ ДО") + std::string(14, ' ') +
                     cp("ВАНТАЖОПІДЙОМНИКА ") + "  -1.5000    .2500\r\n" +
                     cp("КООРДИНАТИ ТОЧКИ КРІПЛЕННЯ ГІДРОЦИЛІНДРІВ ДО КОРПУСА ") +
                     "    .00001234.5678\r\n\r\n");
  EXPECT_EQ(out.substr(0, 10), "\xCA\xCE\xCE\xD0\xC4\xC8\xCD\xC0\xD2\xC8");  // КООРДИНАТИ
  EXPECT_NE(out.find("\xCA\xD0\xB2\xCF\xCB\xC5\xCD\xCD\xDF"), std::string::npos);  // КРІПЛЕННЯ

  // the label of the shaft inertia is glued to its E field
  const Format block3(
      "(15X,'ОСЬОВІ МОМЕНТИ ІНЕРЦІЇ ',/,'ВАНТАЖОПІДЙОМНИКА ',F9.4,/,'КАРЕТКИ ',F9.4,/,"
      "'КОРПУСА ',F9.4,/,'ВАНТАЖУ ',F9.4,/,'ВАЛУ ТЯГОВОГО КОЛЕСА',E12.5,/)");
  out.clear();
  block3.render(out, {1.0, 2.0, 3.0, 4.0, 0.125});
  EXPECT_EQ(out, std::string(15, ' ') + cp("ОСЬОВІ МОМЕНТИ ІНЕРЦІЇ ") + "\r\n" +
                     cp("ВАНТАЖОПІДЙОМНИКА ") + "   1.0000\r\n" + cp("КАРЕТКИ ") + "   2.0000\r\n" +
                     cp("КОРПУСА ") + "   3.0000\r\n" + cp("ВАНТАЖУ ") + "   4.0000\r\n" +
                     cp("ВАЛУ ТЯГОВОГО КОЛЕСА") + "  .12500E+00\r\n\r\n");
  EXPECT_NE(out.find("\xB2\xCD\xC5\xD0\xD6\xB2\xAF "), std::string::npos);  // ІНЕРЦІЇ

  // three empty lines first, no empty line at the end
  const Format block17(
      "(/,/,/,15X,'Статичні силові співвідношення:',/,/,9X,'-SF13=',E12.5,5X,'-SF12=',E12.5,/,"
      "9X,'-F_tp_0=',E12.5,5X,'-F_kp_0=',E12.5)");
  out.clear();
  block17.render(out, {1.0, -2.0, 30000.0, 0.0});
  EXPECT_EQ(out, "\r\n\r\n\r\n" + std::string(15, ' ') + cp("Статичні силові співвідношення:") +
                     "\r\n\r\n" +
                     "         -SF13=  .10000E+01     -SF12= -.20000E+01\r\n"
                     "         -F_tp_0=  .30000E+05     -F_kp_0=  .00000E+00\r\n");
  EXPECT_NE(out.find("\xF1\xEF\xB3\xE2\xE2\xB3\xE4\xED\xEE\xF8\xE5\xED\xED\xFF:"),
            std::string::npos);  // співвідношення:

  const Format block6("('КОЕФІЦІЄНТ ТЕРТЯ КОЧЕНЯ ТЯГОВИХ КОЛІС ',F9.4,/)");
  out.clear();
  block6.render(out, {0.0188});
  EXPECT_EQ(out.substr(0, 11), "\xCA\xCE\xC5\xD4\xB2\xD6\xB2\xAA\xCD\xD2 ");  // КОЕФІЦІЄНТ
}

TEST(FormatRender, MismatchedItemsThrowAndLeaveOutputAlone) {
  const Format f("('x',I2,E12.5)");
  const std::vector<std::vector<Item>> bad = {{1, 2.0, 3.0}, {1.0, 2.0}, {1, 2}};
  for (const auto& items : bad) {
    std::string out = "before";
    EXPECT_THROW(f.render(out, items), std::invalid_argument);
    EXPECT_EQ(out, "before");
  }
}

TEST(FormatRender, NoAllocationWhenOutputHasRoom) {
  const Format f("(2X,E12.5,2X,E12.5,2X,E12.5,/,'text',2(F9.4),I2,E30.20)");
  std::string out;
  out.reserve(256);
  const long before = allocations;
  f.render(out, {1.0, -2.5e-300, DBL_MAX, 0.5, 10.0, 7, 1.0 / 3.0});
  append_list_directed(out, 500, 1.25);
  EXPECT_EQ(allocations, before);
}

TEST(FormatParse, MalformedTextsThrow) {
  const char* bad[] = {
      "",         "2X,E12.5", "(2X,E12.5", "(2X,E12.5))", "(2X E12.5)", "(,E12.5)",
      "(E12.5,)", "()",       "(X)",       "(0X)",        "(E12)",      "(E12.0)",
      "(F9)",     "(F.4)",    "(I0)",      "(I2.1)",      "(Q5)",       "('open)",
      "(2())",    "(2(I2)",   "(0(I2))",   "(99999X)",    "(e12.5)",    "(9999(9999(I2)))",
      "('中')",
  };
  for (const char* text : bad) {
    EXPECT_THROW(Format{text}, std::invalid_argument) << text;
  }
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(WriteFormatted, AppendsRecordsToTheUnit) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("liftsim_format_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto path = dir / "F_13.rez";
  constexpr int kUnit = 50;
  open_unit(kUnit, path.string());
  const Format f("(2X,E12.5,2X,E12.5)");
  write_formatted(kUnit, f, {0.0, 0.401});
  write_formatted(kUnit, f, {0.5, -1.25});
  close_unit(kUnit);
  EXPECT_EQ(read_file(path),
            "    .00000E+00    .40100E+00\r\n"
            "    .50000E+00   -.12500E+01\r\n");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace liftsim::textio
