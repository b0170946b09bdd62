#include "results/LogFile.h"

#include "results/TempFiles.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

// The block size of a log write: a log of many thousand lines is neither written line by line nor
// kept whole in memory, and the block's memory is taken once and reused.
constexpr size_t kBlockBytes = size_t(64) << 10;

bool writebytes(int fd, const char* bytes, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = EIO;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

template <typename Text>
bool writelines(const std::string& path, size_t count, Text text, std::string& error) {
  TLogFileWriter writer;
  if (!writer.open(path, error)) return false;
  for (size_t i = 0; i < count; ++i) writer.append(text(i));
  return writer.commit(error);
}

std::string withslash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace

std::string programdir() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || !exe.has_parent_path()) return "./";
  return withslash(exe.parent_path().string());
}

std::string datadir() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  std::string base;
  // The base directory rules ignore a relative XDG_DATA_HOME.
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      passwd* pw = getpwuid(getuid());
      home = pw && pw->pw_dir ? pw->pw_dir : "/tmp";
    }
    base = withslash(home) + ".local/share";
  }
  return withslash(base) + "pressbolt/";
}

bool issystemdir(const std::string& dir) {
  std::string d = withslash(dir);
  for (const char* top : {"/usr/", "/bin/", "/sbin/", "/opt/", "/lib/", "/lib64/"})
    if (d.rfind(top, 0) == 0) return true;
  return false;
}

namespace {

std::string fallbackdir(const std::string& preferred, const char* why, std::string* note) {
  std::string fallback = datadir();
  std::error_code ec;
  std::filesystem::create_directories(fallback, ec);
  if (note) {
    *note =
        "The program directory \"" + preferred + "\" " + why + ": files go to \"" + fallback + "\"";
    if (ec) *note += " (which cannot be created: " + ec.message() + ")";
  }
  return fallback;
}

}  // namespace

std::string outputdir(std::string* note) {
  std::string dir = programdir();
  // Run as root, an installed program could write into /usr/bin; a package's directories are
  // no place for test results.
  if (issystemdir(dir)) return fallbackdir(dir, "is a system directory", note);
  return outputdirfor(dir, note);
}

std::string outputdirfor(const std::string& preferred, std::string* note) {
  if (note) note->clear();
  if (::access(preferred.c_str(), W_OK | X_OK) == 0) return preferred;
  return fallbackdir(preferred, "is not writable", note);
}

bool savelines(const std::string& path, const std::vector<std::string>& lines, std::string& error) {
  return writelines(
      path, lines.size(), [&](size_t i) -> const std::string& { return lines[i]; }, error);
}

bool saveresults(const std::string& path, const std::vector<TResultLine>& lines,
                 std::string& error) {
  return writelines(
      path, lines.size(), [&](size_t i) -> const std::string& { return lines[i].text; }, error);
}

TLogFileWriter::~TLogFileWriter() {
  discard();
}

std::string linktarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string target = real;
  std::free(real);
  return target;
}

bool TLogFileWriter::open(const std::string& path, std::string& error) {
  discard();
  path_ = path;
  errno_ = 0;
  blockused_ = 0;
  // A link is followed, so the file it names is the one replaced. A device or a pipe (/dev/full,
  // /dev/stdout) cannot be replaced at all: it is written in place.
  std::string target = linktarget(path);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    fd_ = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd_ < 0) error = "Cannot create file \"" + path + "\". " + std::strerror(errno);
    return fd_ >= 0;
  }
  target_ = target;
  temp_ = target + ".XXXXXX";
  fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
  if (fd_ < 0) {
    error = "Cannot create file \"" + path + "\". " + std::strerror(errno);
    temp_.clear();
    return false;
  }
  tempslot_ = remembertemp(temp_.c_str());
  // mkostemp creates the file for its owner only; a log file is as readable as any other.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
  return true;
}

void TLogFileWriter::makeroom(size_t n) {
  if (blockused_ > 0) flush();
  if (n > blocksize_) {
    // A line longer than a block gets a block of its own size.
    blocksize_ = std::max(n, kBlockBytes + 512);
    block_.reset(new char[blocksize_]);  // filled before it is read: no zeroing
  }
}

void TLogFileWriter::append(const std::string& line) {
  if (fd_ < 0 || errno_ != 0) return;
  char* at = room(line.size() + 2);
  std::memcpy(at, line.data(), line.size());
  at[line.size()] = '\r';
  at[line.size() + 1] = '\n';
  if (blockused_ >= kBlockBytes) flush();
}

void TLogFileWriter::appendstamped(std::string_view stamp, std::string_view text) {
  if (fd_ < 0 || errno_ != 0) return;
  char* at = room(stamp.size() + text.size() + 4);
  std::memcpy(at, stamp.data(), stamp.size());
  at += stamp.size();
  at[0] = ':';
  at[1] = ' ';
  std::memcpy(at + 2, text.data(), text.size());
  at += 2 + text.size();
  at[0] = '\r';
  at[1] = '\n';
  if (blockused_ >= kBlockBytes) flush();
}

bool writeall(int fd, const std::string& bytes) {
  return writebytes(fd, bytes.data(), bytes.size());
}

bool TLogFileWriter::flush() {
  if (errno_ == 0 && !writebytes(fd_, block_.get(), blockused_)) errno_ = errno;
  blockused_ = 0;
  return errno_ == 0;
}

bool TLogFileWriter::commit(std::string& error) {
  if (fd_ < 0) {
    error = "Cannot write file \"" + path_ + "\". It was not opened.";
    return false;
  }
  flush();
  // A full disk may only show when the data reaches it: sync before the rename makes the new
  // file whole or leaves the old one.
  if (errno_ == 0 && !temp_.empty() && ::fsync(fd_) != 0) errno_ = errno;
  if (::close(fd_) != 0 && errno_ == 0) errno_ = errno;
  fd_ = -1;
  if (errno_ == 0 && !temp_.empty() && ::rename(temp_.c_str(), target_.c_str()) != 0) {
    errno_ = errno;
  }
  if (errno_ != 0) {
    error = "Cannot write file \"" + path_ + "\". " + std::strerror(errno_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
    forgettemp(tempslot_);
    tempslot_ = -1;
    temp_.clear();
    return false;
  }
  forgettemp(tempslot_);
  tempslot_ = -1;
  temp_.clear();
  return true;
}

void TLogFileWriter::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  forgettemp(tempslot_);
  tempslot_ = -1;
  temp_.clear();
  blockused_ = 0;
}

bool canwritein(const std::string& dir, std::string& reason) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0) {
    reason = std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    reason = std::strerror(ENOTDIR);
    return false;
  }
  // Creating a file is the only test that holds for root, read-only mounts and ACLs alike.
  std::string probe = withslash(dir) + ".pressbolt-probe-XXXXXX";
  int fd = ::mkostemp(probe.data(), O_CLOEXEC);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}
