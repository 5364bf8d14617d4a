#include "OutputFile.h"

#include <cassert>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wirolot {

namespace {

// The file a path names once symbolic links in its last part are followed,
// as open() would; the file itself need not exist.
std::string FollowLinks(const std::string& path) {
  std::filesystem::path file = path;
  for (int links = 0;; ++links) {
    struct stat status;
    if (lstat(file.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return file;
    if (links == 40) {  // the kernel's own limit
      errno = ELOOP;
      return "";
    }
    std::error_code error;
    const std::filesystem::path next = std::filesystem::read_symlink(file, error);
    if (error) {
      errno = error.value();
      return "";
    }
    file = file.parent_path() / next;  // an absolute link replaces the whole path
  }
}

}  // namespace

TOutputFile::TOutputFile(const std::string& path, TInterrupts& interrupts)
    : interrupts_(interrupts), name_(path == "-" ? "standard output" : path) {
  if (path == "-") {
    fd_ = STDOUT_FILENO;
    return;
  }
  target_ = FollowLinks(path);
  if (target_.empty()) Fail("cannot write");
  struct stat status;
  if (stat(target_.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
    fd_ = open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd_ < 0) Fail("cannot write");
    return;
  }
  const std::size_t slash = target_.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  std::string pattern = target_.substr(0, base) + "." + target_.substr(base) + ".XXXXXX";
  interrupts_.Guarded([&](std::set<std::string>& leftovers) {
    fd_ = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ >= 0) leftovers.insert(temp_ = pattern);
  });
  if (fd_ < 0) Fail("cannot write");
  const mode_t mask = umask(0);
  umask(mask);
  if (fchmod(fd_, 0666 & ~mask) != 0) {
    const int error = errno;
    Abandon();  // no destructor runs for a constructor that fails
    errno = error;
    Fail("cannot write");
  }
}

TOutputFile::~TOutputFile() { Abandon(); }

void TOutputFile::Abandon() {
  if (fd_ > STDERR_FILENO) close(fd_);
  fd_ = -1;
  if (temp_.empty()) return;
  unlink(temp_.c_str());
  interrupts_.Guarded([this](std::set<std::string>& leftovers) { leftovers.erase(temp_); });
  temp_.clear();
}

void TOutputFile::Fail(const std::string& what) {
  throw EOutputError(what + " '" + name_ + "': " + std::strerror(errno));
}

void TOutputFile::Write(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd_, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) Fail("cannot write");
    data += written;
    size -= std::size_t(written);
  }
}

void TOutputFile::Sync() {
  if (temp_.empty()) return;
  if (fsync(fd_) != 0) Fail("cannot write");
  if (close(std::exchange(fd_, -1)) != 0) Fail("cannot write");
}

bool TOutputFile::Commit(bool settles) {
  assert(temp_.empty() || fd_ < 0);
  return interrupts_.CommitUnlessStopped(
      [&](std::set<std::string>& leftovers) {
        if (temp_.empty()) return;
        if (rename(temp_.c_str(), target_.c_str()) != 0) Fail("cannot write");
        leftovers.erase(temp_);
        temp_.clear();
      },
      settles);
}

}  // namespace wirolot
