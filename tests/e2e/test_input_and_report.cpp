// End-to-end: the input file as the run reads it, and the report's parameter echo.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/e2e.h"

namespace liftsim::testing {
namespace {

// Report blocks 1 to 10 for the bundled example, written out from the layout of the report
// (labels, blanks, fields), not from a run.
std::string expected_parameter_echo(const std::string& load_centre_line) {
  return cp1251(crlf_lines({
      "МАСА ВАНТАЖОПІДЙОМНИКА  210.0000",
      "МАСА КАРЕТКИ   90.0000",
      "МАСА КОРПУСА 1880.0000",
      "МАСА ВАНТАЖУ 1000.0000",
      "",
      "          КООРДИНАТИ ПОЛОЖЕННЯ ЦЕНТРІВ МАС",
      "ВАНТАЖОПІДЙОМНИКА     .0700    .8250",
      "КАРЕТКИ     .0300    .8250",
      "КОРПУСА    -.9990    .4850",
      load_centre_line,
      "",
      "               ОСЬОВІ МОМЕНТИ ІНЕРЦІЇ ",
      "ВАНТАЖОПІДЙОМНИКА   70.0000",
      "КАРЕТКИ   25.0000",
      "КОРПУСА  300.0000",
      "ВАНТАЖУ   80.0000",
      "ВАЛУ ТЯГОВОГО КОЛЕСА  .17670E+04",
      "",
      "ЖОРСТКІСТЬ ТЯГОВИХ КОЛІС В ТАНГЕНЦІАЛЬНОМУ НАПРЯМКУ   .20000E+06",
      "ЖОРСТКІСТЬ ТЯГОВИХ КОЛІС В РАДІАЛЬНОМУ НАПРЯМКУ   .55200E+06",
      "ЖОРСТКІСТЬ КЕРОВАНИХ КОЛІС В РАДІАЛЬНОМУ НАПРЯМКУ   .37800E+06",
      "ЖОРСТКІСТЬ ГУМОВОГО БУФЕРА   .50300E+06",
      "",
      "РАДІУС ТЯГОВОГО КОЛЕСА     .4010",
      "РАДІУС КЕРОВАНОГО КОЛЕСА     .4010",
      "",
      "КОЕФІЦІЄНТ ТЕРТЯ КОЧЕНЯ ТЯГОВИХ КОЛІС     .0120",
      "КОЕФІЦІЄНТ ТЕРТЯ КОЧЕНЯ КЕРОВАНИХ КОЛІС     .0120",
      "",
      "КООРДИНАТИ ТОЧКИ КРІПЛЕННЯ ГІДРОЦИЛІНДРІВ ДО              ВАНТАЖОПІДЙОМНИКА     .2500"
      "    .4560",
      "КООРДИНАТИ ТОЧКИ КРІПЛЕННЯ ГІДРОЦИЛІНДРІВ ДО КОРПУСА    -.2530    .3800",
      "",
      "ЖОРСТКІСТЬ НА РОЗТЯГ-СТИСК ГІДРОЦИЛІНДРА І ЛАНЦЮГІВ   .12000E+06",
      "ЖОРСТКІСТЬ НА РОЗТЯГ-СТИСК ГІДРОЦИЛІНДРА МІЖ В-ОМ І КОРПУСОМ   .12000E+08",
      "",
      "КООРДИНАТА ПОЧАТКУ СИСТЕМИ КООРДИНАТ X2O2Z2     .2800",
      "БАЗОВА ВІДСТАНЬ МІЖ ОСЯМИ     .9000",
      "МОМЕНТ ВІД ДВИГУНА     .0000",
      "КОЕФІЦІЄНТ ТЕРТЯ     .1500",
      "ТОЧНІСТЬ     .0010",
      "",
      "ПОЧАТКОВИЙ МОМЕНТ ЧАСУ     .0000",
      "КІНЦЕВИЙ МОМЕНТ ЧАСУ   10.0000",
      "МАКСИМАЛЬНИЙ КРОК ІНТЕГРУВАННЯ     .0010",
      "ТОЧНІСТЬ ІНТЕГРУВАННЯ     .0040",
      "prmt(5)=     .0000",
      "",
  }));
}

const std::string kExampleLoadCentre = "ВАНТАЖУ     .6000    .5000";

bool starts_with(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

TEST(ReportEcho, ExampleRunStartsWithTheTenParameterBlocks) {
  TempDir dir;
  write_file(dir / "dani.dat", example_input());
  const RunResult r = run_liftsim(dir.path());
  EXPECT_EQ(r.exit_status, 0) << r.err;
  const std::string report = read_file(dir / "result.rez");
  const std::string expected = expected_parameter_echo(kExampleLoadCentre);
  ASSERT_GE(report.size(), expected.size());
  EXPECT_EQ(report.substr(0, expected.size()), expected);
}

TEST(ReportEcho, BuiltInValuesReplaceWhatIsRead) {
  // Every fixed record holds a different value: the echo still shows the built-in ones.
  TempDir dir;
  std::string input = example_input();
  for (int record :
       {3, 4, 5, 11, 12, 13, 14, 20, 21, 22, 23, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37}) {
    input = replace_record(input, record, "   7.7777");
  }
  for (int record : {7, 8, 9, 24, 25})
    input = replace_record(input, record, "   7.77770   6.66660");
  for (int record : {15, 16, 17, 18, 19, 26, 27}) {
    input = replace_record(input, record, " 9.99999E+09");
  }
  write_file(dir / "dani.dat", input);
  const RunResult r = run_liftsim(dir.path());
  EXPECT_EQ(r.exit_status, 0) << r.err;
  const std::string expected = expected_parameter_echo(kExampleLoadCentre);
  EXPECT_TRUE(starts_with(read_file(dir / "result.rez"), expected));
}

TEST(InputRecords, LenientLayoutsReadAsFieldsSay) {
  // An empty heading line, a comment after the field, a comma between the two fields of a pair,
  // CR LF line ends and records beyond the 43rd.
  const std::string input = example_with_record(1, "");
  TempDir dir;
  std::string lines;
  int n = 0;
  std::string line;
  for (char c : input) {
    if (c != '\n') {
      line += c;
      continue;
    }
    ++n;
    if (n == 10) line = "0.7,0.45            load centre of mass, given with a comma";
    if (n == 6) line = "1000.     load mass with a trailing comment, 1.5E3 and letters x y z";
    lines += line + "\r\n";
    line.clear();
  }
  lines += "a 44th record that is never read: x,y,z\r\nand a 45th\r\n";
  write_file(dir / "dani.dat", lines);
  const RunResult r = run_liftsim(dir.path());
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_TRUE(starts_with(read_file(dir / "result.rez"),
                          expected_parameter_echo("ВАНТАЖУ     .7000    .4500")));
}

struct BadInputCase {
  const char* name;
  int record;        // replaced record, or 0 to cut the file
  const char* text;  // new record text, or the number of records kept when cutting
  int kept_records;
  const char* report;  // the first line of the report after the empty line
  int report_blocks;   // complete parameter blocks in result.rez afterwards
};

void PrintTo(const BadInputCase& c, std::ostream* os) {
  *os << c.name;
}

class BadInput : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(BadInput, EndsWithTheReadReportAndKeepsTheBlocksWritten) {
  const BadInputCase& c = GetParam();
  std::string input = example_input();
  if (c.record > 0) {
    input = example_with_record(c.record, c.text);
  } else {
    std::size_t pos = 0;
    for (int i = 0; i < c.kept_records; ++i) pos = input.find('\n', pos) + 1;
    input.resize(pos);
  }
  TempDir dir;
  write_file(dir / "dani.dat", input);
  const RunResult r = run_liftsim(dir.path());
  EXPECT_EQ(r.exit_status, 1);
  const std::string head = std::string("\r\nrun-time error ") + c.report + "\r\n- ";
  EXPECT_TRUE(starts_with(r.err, head)) << r.err;
  EXPECT_EQ(r.err.find("\r\n", head.size()), r.err.size() - 2) << "one message line";
  EXPECT_EQ(r.out, "");

  // The report holds exactly the complete blocks written before the failing record.
  const std::string echo = expected_parameter_echo(kExampleLoadCentre);
  std::size_t end = 0;
  for (int block = 0; block < c.report_blocks; ++block) {
    end = echo.find("\r\n\r\n", end) + 4;
  }
  EXPECT_EQ(read_file(dir / "result.rez"), echo.substr(0, end));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadInput,
    ::testing::Values(
        BadInputCase{"TwentyRecords", 0, "", 20, "F6501: READ(dani.dat)", 4},
        BadInputCase{"EmptyFile", 0, "", 0, "F6501: READ(dani.dat)", 0},
        BadInputCase{"LetterInLoad", 6, "  10x0.0", 0, "F6103: READ(dani.dat)", 0},
        BadInputCase{"TwoPointsInRadius", 21, "0.4.01", 0, "F6103: READ(dani.dat)", 4},
        BadInputCase{"ExponentWithoutDigits", 19, "1.5E", 0, "F6103: READ(dani.dat)", 3},
        BadInputCase{"HugeValue", 16, "1.0E999", 0, "F6102: READ(dani.dat)", 3},
        BadInputCase{"CtrlZInField", 40, "  1\x1a", 0, "F6501: READ(dani.dat)", 10}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BadInputMessage, NamesRecordColumnsAndQuantity) {
  TempDir dir;
  write_file(dir / "dani.dat", example_with_record(6, "  10x0.0"));
  const RunResult r = run_liftsim(dir.path());
  EXPECT_EQ(r.err,
            "\r\nrun-time error F6103: READ(dani.dat)\r\n"
            "- invalid character 'x' in record 6, columns 1-8 (load mass m_4)\r\n");
}

TEST(BadInputMessage, NamesTheMissingRecord) {
  TempDir dir;
  std::string input = example_input();
  std::size_t pos = 0;
  for (int i = 0; i < 20; ++i) pos = input.find('\n', pos) + 1;
  input.resize(pos);
  write_file(dir / "dani.dat", input);
  const RunResult r = run_liftsim(dir.path());
  EXPECT_EQ(r.err,
            "\r\nrun-time error F6501: READ(dani.dat)\r\n"
            "- end of file: record 21 of 43 (steered wheel radius R_k) is missing\r\n");
}

}  // namespace
}  // namespace liftsim::testing
