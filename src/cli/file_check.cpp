#include "cli/file_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "output/history_files.h"

namespace liftsim::cli {
namespace {

// Where a path leads: an existing file, or the name a new file would get in an existing folder.
struct Place {
  bool exists = false;
  mode_t mode = 0;
  dev_t dev = 0;  // the file's, or its folder's when it does not exist yet
  ino_t ino = 0;
  std::string name;                    // the new file's name in its folder
  std::string folder;                  // that folder, as the path names it
  std::optional<std::string> problem;  // why no file can be made there
};

std::string folder_of(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

Place place_of(const std::string& given, int dir_fd) {
  Place p;
  std::string path = given;
  struct stat st {};
  // A symbolic link to a file yet to be made makes that file: follow such links by hand.
  for (int hops = 0;; ++hops) {
    if (::fstatat(dir_fd, path.c_str(), &st, 0) == 0) {
      p.exists = true;
      p.mode = st.st_mode;
      p.dev = st.st_dev;
      p.ino = st.st_ino;
      return p;
    }
    char target[4096];
    const ssize_t n = hops < 40 && ::fstatat(dir_fd, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                              S_ISLNK(st.st_mode)
                          ? ::readlinkat(dir_fd, path.c_str(), target, sizeof target)
                          : -1;
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) break;
    const std::string to(target, static_cast<std::size_t>(n));
    path =
        to.front() == '/' || path.find('/') == std::string::npos ? to : folder_of(path) + "/" + to;
  }
  p.name = name_of(path);
  p.folder = folder_of(path);
  if (p.name.empty()) {
    p.problem = "is a folder";
  } else if (::fstatat(dir_fd, p.folder.c_str(), &st, 0) != 0) {
    p.problem = errno == ENOENT
                    ? "the folder '" + p.folder + "' does not exist"
                    : "cannot reach the folder '" + p.folder + "': " + std::strerror(errno);
  } else if (!S_ISDIR(st.st_mode)) {
    p.problem = "'" + p.folder + "' is not a folder";
  } else {
    p.dev = st.st_dev;
    p.ino = st.st_ino;
  }
  return p;
}

bool same(const Place& a, const Place& b) {
  if (a.exists != b.exists || a.problem || b.problem) return false;
  if (a.exists) return S_ISREG(a.mode) && a.dev == b.dev && a.ino == b.ino;
  return a.dev == b.dev && a.ino == b.ino && a.name == b.name;
}

// Why an output cannot be written where it is named, if it cannot.
std::optional<std::string> unwritable(const NamedFile& f, const Place& p) {
  if (p.problem) return p.problem;
  if (p.exists) {
    if (S_ISDIR(p.mode)) return "is a folder";
    if (::faccessat(f.dir_fd, f.path.c_str(), W_OK, AT_EACCESS) != 0) {
      return std::string("cannot write it: ") + std::strerror(errno);
    }
    return std::nullopt;
  }
  if (::faccessat(f.dir_fd, p.folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    return "cannot create files in the folder '" + p.folder + "': " + std::strerror(errno);
  }
  return std::nullopt;
}

}  // namespace

NamedFile named(const std::string& option, const std::string& path, int dir_fd) {
  return {option + " '" + path + "'", path, dir_fd};
}

std::optional<std::string> first_conflict(const std::vector<NamedFile>& outputs,
                                          const std::vector<NamedFile>& inputs) {
  std::vector<Place> out, in;
  for (const NamedFile& f : outputs) {
    out.push_back(f.standard_output ? Place{} : place_of(f.path, f.dir_fd));
    if (f.own || f.standard_output) continue;
    if (auto why = unwritable(f, out.back())) return f.label + ": " + *why;
  }
  for (const NamedFile& f : inputs) in.push_back(place_of(f.path, f.dir_fd));

  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const NamedFile& a = outputs[i];
    for (std::size_t k = 0; k < i; ++k) {
      const NamedFile& b = outputs[k];
      if (a.own && b.own) continue;
      if (a.standard_output || b.standard_output) {
        if (a.standard_output && b.standard_output) {
          return b.label + " and " + a.label + " cannot both use standard output";
        }
        continue;
      }
      if (!same(out[i], out[k])) continue;
      if (a.own || b.own) {
        return (a.own ? b : a).label + " is the same file as " + (a.own ? a : b).label +
               "; name another file";
      }
      return b.label + " and " + a.label + " are the same file; name different files";
    }
    for (std::size_t k = 0; k < inputs.size(); ++k) {
      const NamedFile& b = inputs[k];
      if ((a.own && b.own) || a.standard_output || !same(out[i], in[k])) continue;
      return a.label + " is the same file as " + b.label + (b.own ? "" : ", which the run reads") +
             "; name another file";
    }
  }
  return std::nullopt;
}

std::vector<NamedFile> run_outputs(int dir_fd, bool progress_on_stderr) {
  std::vector<NamedFile> files;
  for (const char* name : {"result.rez", "statica.dat"}) {
    files.push_back({std::string("the run's ") + name, name, dir_fd, true});
  }
  for (const output::HistoryFile& h : output::kHistoryFiles) {
    const std::string name(h.name);
    files.push_back({"the run's " + name, name, dir_fd, true});
  }
  files.push_back({progress_on_stderr ? "standard error" : "standard output",
                   progress_on_stderr ? "/dev/stderr" : "/dev/stdout", AT_FDCWD, true});
  return files;
}

NamedFile run_input(int dir_fd) {
  return {"the run's input dani.dat", "dani.dat", dir_fd, true};
}

}  // namespace liftsim::cli
