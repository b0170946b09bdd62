#include "results/LogFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

// Writes the CR LF lines in blocks, so a log of many thousand lines is neither written line by
// line nor copied whole. text(i) gives line i.
template <typename Text>
bool writelines(const std::string& path, size_t count, Text text, std::string& error) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = "Cannot create file \"" + path + "\". " + std::strerror(errno);
    return false;
  }
  std::string block;
  auto flush = [&]() {
    size_t done = 0;
    while (done < block.size()) {
      ssize_t n = ::write(fd, block.data() + done, block.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n == 0) errno = EIO;
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    block.clear();
    return true;
  };
  bool ok = true;
  for (size_t i = 0; ok && i < count; ++i) {
    block += text(i);
    block += "\r\n";
    if (block.size() >= (1u << 20)) ok = flush();
  }
  if (ok) ok = flush();
  // A full disk may only show when the data reaches it at close.
  int saved = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (!ok) {
    error = "Cannot write file \"" + path + "\". " + std::strerror(saved);
    return false;
  }
  return true;
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

std::string outputdir(std::string* note) {
  return outputdirfor(programdir(), note);
}

std::string outputdirfor(const std::string& preferred, std::string* note) {
  if (note) note->clear();
  if (::access(preferred.c_str(), W_OK | X_OK) == 0) return preferred;
  std::string fallback = datadir();
  std::error_code ec;
  std::filesystem::create_directories(fallback, ec);
  if (note) {
    *note = "The program directory \"" + preferred + "\" is not writable: files go to \"" +
            fallback + "\"";
    if (ec) *note += " (which cannot be created: " + ec.message() + ")";
  }
  return fallback;
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
