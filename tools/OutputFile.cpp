#include "OutputFile.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wirolot {

namespace {

// What the signal handler needs, prepared beforehand.
char gTempPath[4096];
volatile std::sig_atomic_t gTempActive = 0;
char gInterrupted[4096 + 64];
std::size_t gInterruptedLength = 0;

extern "C" void OnSignal(int) {
  if (gTempActive) unlink(gTempPath);
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, gInterrupted, gInterruptedLength);
  _exit(1);
}

// Blocks SIGINT and SIGTERM for its lifetime.
class TSignalsHeld {
 public:
  TSignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~TSignalsHeld() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

}  // namespace

TOutputFile::TOutputFile(const std::string& path) : name_(path == "-" ? "standard output" : path) {
  std::snprintf(gInterrupted, sizeof gInterrupted, "\nwirolot-render: interrupted; '%s' not written\n",
                name_.c_str());
  gInterruptedLength = std::strlen(gInterrupted);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);  // a closed pipe is a write error like any other

  if (path == "-") {
    fd_ = STDOUT_FILENO;
    return;
  }
  struct stat target;
  if (stat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode)) {
    fd_ = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd_ < 0) Fail("cannot write");
    return;
  }
  const std::size_t slash = path.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  const std::string pattern = path.substr(0, base) + "." + path.substr(base) + ".XXXXXX";
  if (pattern.size() >= sizeof gTempPath) {
    errno = ENAMETOOLONG;
    Fail("cannot write");
  }
  {
    TSignalsHeld held;
    std::memcpy(gTempPath, pattern.c_str(), pattern.size() + 1);
    fd_ = mkostemp(gTempPath, O_CLOEXEC);
    if (fd_ < 0) Fail("cannot write");
    temp_ = gTempPath;
    gTempActive = 1;
  }
  const mode_t mask = umask(0);
  umask(mask);
  if (fchmod(fd_, 0666 & ~mask) != 0) {
    const int error = errno;
    TSignalsHeld held;
    close(fd_);
    unlink(gTempPath);
    gTempActive = 0;
    errno = error;
    Fail("cannot write");
  }
}

TOutputFile::~TOutputFile() {
  TSignalsHeld held;
  if (fd_ > STDERR_FILENO) close(fd_);
  if (!temp_.empty()) unlink(temp_.c_str());
  gTempActive = 0;
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
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

void TOutputFile::Commit() {
  if (temp_.empty()) return;
  if (fsync(fd_) != 0) Fail("cannot write");
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) Fail("cannot write");
  TSignalsHeld held;
  if (rename(temp_.c_str(), name_.c_str()) != 0) Fail("cannot write");
  temp_.clear();
  gTempActive = 0;
}

}  // namespace wirolot
