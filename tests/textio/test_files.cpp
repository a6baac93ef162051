// A run's files: record reads and failures as values (connections and the rest: tests/e2e).
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

using liftsim::testing::TempDir;
using liftsim::testing::write_file;

// A temporary folder open as a descriptor, the way a run has its folder.
struct Folder {
  TempDir dir;
  int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ~Folder() { ::close(fd); }
};

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

// File system failures come back as OPEN or WRITE values; a file opened to read is not created.
TEST(FileSet, FailuresCarryTheReportValues) {
  const Folder folder;
  std::filesystem::create_directory(folder.dir / "sub");
  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  // clang-format off
  const struct {
    std::function<void(FileSet&)> body;
    ErrorCode code; Statement statement; const char* file; const char* message;
  } cases[] = {
      {[](FileSet& f) { f.open_for_reading(12, "dani.dat"); }, ErrorCode::F6416, Statement::open,
       "dani.dat", "cannot open dani.dat: No such file or directory"},
      {[](FileSet& f) { f.open(13, "sub"); }, ErrorCode::F6414, Statement::open, "sub",
       "cannot open sub: Is a directory"},
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
  EXPECT_FALSE(std::filesystem::exists(folder.dir / "dani.dat"));
  // Unit numbers outside 0..99 and units not connected are faults of the calling code.
  FileSet files(folder.fd);
  EXPECT_THROW(files.open(100, "x.rez"), std::logic_error);
  EXPECT_THROW(files.write_records(13, "x\r\n"), std::logic_error);
  std::string record;
  int error = 0;
  EXPECT_THROW(files.read_record(-1, record, 10, error), std::logic_error);
}

}  // namespace
}  // namespace liftsim::textio
