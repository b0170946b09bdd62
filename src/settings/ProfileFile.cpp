#include "settings/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "common/Text.h"
#include "common/WholeFile.h"
#include "results/LogFile.h"

namespace {

// A line as read, without the CR of a CR LF ending.
std::string_view content(const std::string& raw) {
  std::string_view s(raw);
  if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
  return s;
}

bool parseheader(std::string_view line, std::string_view& name) {
  std::string_view t = trim(line);
  if (t.empty() || t.front() != '[') return false;
  size_t close = t.find(']');
  if (close == std::string_view::npos) return false;
  name = trim(t.substr(1, close - 1));
  return true;
}

bool parsekey(std::string_view line, std::string_view& key, std::string_view& value) {
  std::string_view t = trim(line);
  if (t.empty() || t.front() == ';') return false;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  key = trim(t.substr(0, eq));
  if (key.empty()) return false;
  value = trim(t.substr(eq + 1));
  return true;
}

bool parseint(std::string_view s, int& out) {
  if (!s.empty() && s.front() == '+') {
    s.remove_prefix(1);
    if (s.empty() || s.front() < '0' || s.front() > '9') return false;
  }
  if (s.empty()) return false;
  int v = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 10);
  if (ec != std::errc() || ptr != s.data() + s.size()) return false;
  out = v;
  return true;
}

std::string syserror(const std::string& what, int err) {
  return what + ": " + std::strerror(err);
}

}  // namespace

TProfileFile::TProfileFile(std::string path) : path_(std::move(path)) {
  sections_.emplace_back();
}

void TProfileFile::load() {
  sections_.clear();
  sectionindex_.clear();
  sections_.emplace_back();
  crlf_ = false;
  // A missing or unreadable file reads as an empty one: every key then has its default.
  std::string bytes;
  readwholefile(path_, bytes);
  parse(bytes);
}

void TProfileFile::parse(const std::string& bytes) {
  size_t pos = 0;
  bool first = true;
  while (pos < bytes.size()) {
    size_t end = bytes.find('\n', pos);
    if (end == std::string::npos) end = bytes.size();
    std::string raw = bytes.substr(pos, end - pos);
    pos = end + 1;
    if (first && end < bytes.size()) crlf_ = !raw.empty() && raw.back() == '\r';
    first = false;

    std::string_view name, key, value;
    if (parseheader(content(raw), name)) {
      sectionindex_.emplace(asciilower(name), sections_.size());
      TSection s;
      s.hasheader = true;
      s.lines.push_back(std::move(raw));
      s.insertat = 1;
      sections_.push_back(std::move(s));
      continue;
    }
    TSection& s = sections_.back();
    size_t n = s.lines.size();
    if (parsekey(content(raw), key, value)) {
      s.keyindex.emplace(asciilower(key), n);
      s.insertat = n + 1;
    }
    s.lines.push_back(std::move(raw));
  }
}

const TProfileFile::TSection* TProfileFile::findsection(const std::string& section) const {
  auto it = sectionindex_.find(asciilower(section));
  return it == sectionindex_.end() ? nullptr : &sections_[it->second];
}

const std::string* TProfileFile::findraw(const std::string& section, const std::string& key) const {
  const TSection* s = findsection(section);
  if (s == nullptr) return nullptr;
  auto it = s->keyindex.find(asciilower(key));
  return it == s->keyindex.end() ? nullptr : &s->lines[it->second];
}

std::optional<std::string> TProfileFile::find(const std::string& section,
                                              const std::string& key) const {
  const std::string* raw = findraw(section, key);
  if (raw == nullptr) return std::nullopt;
  std::string_view k, v;
  parsekey(content(*raw), k, v);
  return std::string(v);
}

std::string TProfileFile::readstring(const std::string& section, const std::string& key,
                                     const std::string& def) const {
  return find(section, key).value_or(def);
}

std::optional<int> TProfileFile::findinteger(const std::string& section,
                                             const std::string& key) const {
  std::optional<std::string> v = find(section, key);
  int n = 0;
  if (v && parseint(*v, n)) return n;
  return std::nullopt;
}

int TProfileFile::readinteger(const std::string& section, const std::string& key, int def) const {
  return findinteger(section, key).value_or(def);
}

bool TProfileFile::readbool(const std::string& section, const std::string& key, bool def) const {
  return readinteger(section, key, def ? 1 : 0) != 0;
}

std::vector<std::string> TProfileFile::keys(const std::string& section) const {
  std::vector<std::string> result;
  const TSection* s = findsection(section);
  if (s == nullptr) return result;
  std::unordered_set<std::string> seen;
  for (const std::string& raw : s->lines) {
    std::string_view k, v;
    if (parsekey(content(raw), k, v) && seen.insert(asciilower(k)).second) result.emplace_back(k);
  }
  return result;
}

std::string TProfileFile::newline(std::string text) const {
  if (crlf_) text += '\r';
  return text;
}

void TProfileFile::writestring(const std::string& section, const std::string& key,
                               const std::string& value) {
  std::string line = key + "=" + value.substr(0, value.find_first_of("\r\n"));
  auto sit = sectionindex_.find(asciilower(section));
  if (sit == sectionindex_.end()) {
    TSection s;
    s.hasheader = true;
    s.lines.push_back(newline("[" + section + "]"));
    s.insertat = 1;
    sit = sectionindex_.emplace(asciilower(section), sections_.size()).first;
    sections_.push_back(std::move(s));
  }
  TSection& s = sections_[sit->second];
  auto kit = s.keyindex.find(asciilower(key));
  if (kit != s.keyindex.end()) {
    std::string& old = s.lines[kit->second];
    bool cr = !old.empty() && old.back() == '\r';
    old = cr ? line + '\r' : line;
    return;
  }
  // Only non-key lines (blank lines, comments) follow insertat, so no key's line number moves.
  s.lines.insert(s.lines.begin() + static_cast<std::ptrdiff_t>(s.insertat), newline(line));
  s.keyindex.emplace(asciilower(key), s.insertat);
  ++s.insertat;
}

void TProfileFile::writeinteger(const std::string& section, const std::string& key, int value) {
  writestring(section, key, std::to_string(value));
}

void TProfileFile::writebool(const std::string& section, const std::string& key, bool value) {
  writestring(section, key, value ? "1" : "0");
}

std::string TProfileFile::text() const {
  std::string out;
  for (const TSection& s : sections_) {
    for (const std::string& line : s.lines) {
      out += line;
      out += '\n';
    }
  }
  return out;
}

bool TProfileFile::save(std::string& error) const {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path target(path_);
  // Write through a symbolic link instead of replacing the link with a plain file.
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved;
  }
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  if (!fs::is_directory(dir, ec)) {
    fs::create_directories(dir, ec);
    if (ec) {
      error = "cannot create the directory " + dir.string() + ": " + ec.message();
      return false;
    }
  }

  static std::atomic<unsigned> counter{0};
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    tmp = target.string() + ".tmp" + std::to_string(::getpid()) + "-" +
          std::to_string(counter.fetch_add(1));
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error = syserror("cannot create a temporary file beside " + target.string(), errno);
    return false;
  }
  // Keep the permissions of the file we replace.
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd, st.st_mode & 07777);

  bool ok = writeall(fd, text()) && ::fsync(fd) == 0;
  int err = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    error = syserror("cannot write " + tmp, err);
    return false;
  }
  if (::rename(tmp.c_str(), target.c_str()) != 0) {
    err = errno;
    ::unlink(tmp.c_str());
    error = syserror("cannot replace " + target.string(), err);
    return false;
  }
  // Make the rename itself durable; a failure here does not undo a completed save.
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}
