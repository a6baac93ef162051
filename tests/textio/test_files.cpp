// A run's files: what a connection does to the file, record reads, and failures as values.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "textio/files.h"

namespace liftsim::textio {
namespace {

using liftsim::testing::read_file;
using liftsim::testing::TempDir;
using liftsim::testing::write_file;

// A temporary folder open as a descriptor, the way a run has its folder.
struct Folder {
  TempDir dir;
  int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ~Folder() { ::close(fd); }
};

// A missing file is created empty, an existing one stays as it is until the first write, which
// cuts it: the file then holds only the records written since. Names are relative to the run's
// folder, not to the working directory.
TEST(FileSet, FileHoldsOnlyTheRecordsOfThisConnection) {
  // clang-format off
  const struct { const char* before; std::vector<std::string> writes; std::string after; }
  cases[] = {
      {nullptr, {}, ""},
      {"old 1\r\nold 2\r\n", {}, "old 1\r\nold 2\r\n"},
      {nullptr, {"a\r\n", "b\r\n"}, "a\r\nb\r\n"},
      {"an earlier run's longer record\r\n", {"new\r\n", "2\r\n"}, "new\r\n2\r\n"},
  };
  // clang-format on
  const Folder folder;
  const auto file = folder.dir / "f.rez";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before != nullptr ? c.before : "missing");
    std::filesystem::remove(file);
    if (c.before != nullptr) write_file(file, c.before);
    {
      FileSet files(folder.fd);
      files.open(21, "  f.rez ");  // blanks around the name are dropped
      EXPECT_EQ(files.file_name(21), "f.rez");
      for (const auto& records : c.writes) files.write_records(21, records);
    }  // closed with the set
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(read_file(file), c.after);
  }
  EXPECT_FALSE(std::filesystem::exists("f.rez"));
}

// Two sets of files use the same unit numbers without meeting.
TEST(FileSet, SetsShareNothing) {
  const Folder a, b;
  FileSet in_a(a.fd), in_b(b.fd);
  in_a.open(13, "result.rez");
  in_b.open(13, "result.rez");
  in_a.write_records(13, "a\r\n");
  in_b.write_records(13, "b\r\n");
  in_b.close(13);
  in_a.write_records(13, "a2\r\n");
  EXPECT_EQ(read_file(a.dir / "result.rez"), "a\r\na2\r\n");
  EXPECT_EQ(read_file(b.dir / "result.rez"), "b\r\n");
}

TEST(FileSet, ReadRecordSplitsAtLineFeedsAndKeepsAtMostTheRequestedBytes) {
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
  const Folder folder;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content.substr(0, 12));
    write_file(folder.dir / "in.dat", c.content);
    FileSet files(folder.fd);
    files.open_for_reading(12, "in.dat");
    std::string record;
    int error = 0;
    for (const auto& expected : c.records) {
      ASSERT_EQ(files.read_record(12, record, c.keep, error), ReadStatus::ok);
      EXPECT_EQ(record, expected);
    }
    EXPECT_EQ(files.read_record(12, record, c.keep, error), ReadStatus::end_of_file);
  }
}

// Failures of the file system come back as the OPEN or WRITE report's values; records written
// before stay in their files, and a file opened for reading is never created.
TEST(FileSet, FailuresCarryTheReportValues) {
  const Folder folder;
  std::filesystem::create_directory(folder.dir / "sub");
  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  // clang-format off
  const struct {
    std::function<void(FileSet&)> body;
    ErrorCode code; Statement statement; const char* file; const char* message;
  } cases[] = {
      {[](FileSet& f) { f.open(13, "no-folder/r.rez"); }, ErrorCode::F6416, Statement::open,
       "no-folder/r.rez", "cannot create no-folder/r.rez: No such file or directory"},
      {[](FileSet& f) { f.open_for_reading(12, "dani.dat"); }, ErrorCode::F6416, Statement::open,
       "dani.dat", "cannot open dani.dat: No such file or directory"},
      {[](FileSet& f) { f.open(13, "sub"); }, ErrorCode::F6414, Statement::open, "sub",
       "cannot open sub: Is a directory"},
      {[](FileSet& f) { f.open(13, "kept.rez"); f.write_records(13, "kept\r\n");
                        f.open(21, "/dev/full"); f.write_records(21, "record\r\n"); },
       ErrorCode::F6422, Statement::write, "/dev/full",
       "cannot write to /dev/full: No space left on device"},
      // a console that cannot be written is no quiet success either
      {[full](FileSet&) { Console(full).write(" 0 0.5\r\n"); }, ErrorCode::F6422,
       Statement::write, "stdout", "cannot write to standard output: No space left on device"},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    FileSet files(folder.fd);
    try {
      c.body(files);
      ADD_FAILURE() << "no failure";
    } catch (const RunFailure& failure) {
      EXPECT_EQ(failure.error(), (RunError{c.code, c.statement, c.file, c.message}));
    }
  }
  ::close(full);
  EXPECT_EQ(read_file(folder.dir / "kept.rez"), "kept\r\n");
  EXPECT_FALSE(std::filesystem::exists(folder.dir / "dani.dat"));
  // Unit numbers outside 0..99 and units not connected are faults of the calling code.
  FileSet files(folder.fd);
  EXPECT_THROW(files.open(100, "x.rez"), std::logic_error);
  EXPECT_THROW(files.write_records(13, "x\r\n"), std::logic_error);
  std::string record;
  int error = 0;
  EXPECT_THROW(files.read_record(-1, record, 10, error), std::logic_error);
}

TEST(RunError, ReportText) {
  EXPECT_EQ(report_text({ErrorCode::F6501, Statement::read, "dani.dat", "end of file"}),
            "\r\nrun-time error F6501: READ(dani.dat)\r\n- end of file\r\n");
  EXPECT_EQ(report_text({ErrorCode::M6104, Statement::math, "", "floating-point error: overflow"}),
            "\r\nrun-time error M6104: MATH\r\n- floating-point error: overflow\r\n");
}

}  // namespace
}  // namespace liftsim::textio
