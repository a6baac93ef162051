// File units: what a connection does to the file, record reads, and the error stop's report.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "textio/units.h"

namespace liftsim::textio {
namespace {

using liftsim::testing::read_file;
using liftsim::testing::TempDir;
using liftsim::testing::write_file;

// A missing file is created empty, an existing one stays as it is until the first write, which
// cuts it: the file then holds only the records written since.
TEST(Units, FileHoldsOnlyTheRecordsOfThisConnection) {
  // clang-format off
  const struct { const char* before; std::vector<std::string> writes; std::string after; }
  cases[] = {
      {nullptr, {}, ""},
      {"old 1\r\nold 2\r\n", {}, "old 1\r\nold 2\r\n"},
      {nullptr, {"a\r\n", "b\r\n"}, "a\r\nb\r\n"},
      {"an earlier run's longer record\r\n", {"new\r\n", "2\r\n"}, "new\r\n2\r\n"},
  };
  // clang-format on
  const TempDir dir;
  const std::string file = (dir / "f.rez").string();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before != nullptr ? c.before : "missing");
    std::filesystem::remove(file);
    if (c.before != nullptr) write_file(file, c.before);
    open_unit(21, "  " + file + " ");  // blanks around the name are dropped
    for (const auto& records : c.writes) write_records(21, records);
    close_unit(21);
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(read_file(file), c.after);
  }
}

TEST(Units, ReadRecordSplitsAtLineFeedsAndKeepsAtMostTheRequestedBytes) {
  const std::string huge(1 << 20, 'x');
  // clang-format off
  const struct { std::string content; std::size_t keep; std::vector<std::string> records; }
  cases[] = {
      {"a b\r\n\r\nc\r\n", 80, {"a b\r", "\r", "c\r"}},
      {"a\n\nb\n", 80, {"a", "", "b"}},
      {"a\nlast", 80, {"a", "last"}},
      {"head" + huge + "\r\nnext\r\n", 10, {"headxxxxxx", "next\r"}},  // the rest is skipped
      {"a\n" + huge, 3, {"a", "xxx"}},
  };
  // clang-format on
  const TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content.substr(0, 12));
    write_file(dir / "in.dat", c.content);
    open_unit(12, (dir / "in.dat").string());
    std::string record;
    int error = 0;
    for (const auto& expected : c.records) {
      ASSERT_EQ(read_record(12, record, c.keep, error), ReadStatus::ok);
      EXPECT_EQ(record, expected);
    }
    EXPECT_EQ(read_record(12, record, c.keep, error), ReadStatus::end_of_file);
    close_unit(12);
  }
}

// Failures end the run with the report; records written before the stop stay in their files.
TEST(ErrorStop, FailuresEndTheRunWithTheReport) {
  const TempDir dir;
  const std::string kept = (dir / "kept.rez").string();
  // clang-format off
  const struct { std::function<void()> body; const char* report; } cases[] = {  // report: a regex
      {[] { file_error(ErrorCode::F6501, Statement::read, "dani.dat", "end of file"); },
       "^\r\nrun-time error F6501: READ\\(dani\\.dat\\)\r\n- end of file\r\n$"},
      {[&] { open_unit(13, (dir / "no-folder/r.rez").string()); },
       "^\r\nrun-time error F6416: OPEN\\(/.*/no-folder/r\\.rez\\)\r\n- .*\r\n$"},
      {[&] { open_unit(13, kept); write_records(13, "kept\r\n");
             open_unit(21, "/dev/full"); write_records(21, "record\r\n"); },
       "^\r\nrun-time error F6422: WRITE\\(/dev/full\\)\r\n- .*\r\n$"},
      // a console that cannot be written is no quiet success either
      {[] { ::dup2(::open("/dev/full", O_WRONLY), 1); write_console(" 0 0.5\r\n"); },
       "^\r\nrun-time error F6422: WRITE\\(stdout\\)\r\n- .*\r\n$"},
  };
  // clang-format on
  for (const auto& c : cases) EXPECT_EXIT(c.body(), ::testing::ExitedWithCode(1), c.report);
  EXPECT_EQ(read_file(kept), "kept\r\n");
}

}  // namespace
}  // namespace liftsim::textio
