#include "results/SysInfo.h"

#include <sys/statvfs.h>
#include <sys/utsname.h>

#include <charconv>
#include <cmath>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>

#include "common/Text.h"

namespace {

// /proc files report a size of 0, so read them as a stream; the cap keeps a runaway file from
// being read whole.
std::string readtext(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  std::string text;
  char buf[8192];
  while (text.size() < (4u << 20) && in.read(buf, sizeof buf).gcount() > 0)
    text.append(buf, static_cast<size_t>(in.gcount()));
  return text;
}

std::string_view trimmed(std::string_view s) {
  return trim(s, " \t\r\n");
}

// A header line must stay one line: control characters from a file become blanks.
std::string oneline(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return std::string(trimmed(out));
}

// The whole text as an unsigned decimal, or nothing (empty, a non-digit, or overflow).
std::optional<uint64_t> parseuint(std::string_view s) {
  s = trimmed(s);
  uint64_t value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

// Calls visit(key, value) for each "key: value" line of text, stopping when it returns false.
// Keys and values are trimmed; a line without a colon has an empty value.
template <typename Visit>
void eachfield(std::string_view text, Visit visit) {
  while (!text.empty()) {
    size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    size_t colon = line.find(':');
    std::string_view key = trimmed(line.substr(0, colon));
    std::string_view value =
        colon == std::string_view::npos ? std::string_view() : trimmed(line.substr(colon + 1));
    if (!visit(key, value)) return;
  }
}

// Fields of the first processor block of /proc/cpuinfo (up to the first empty line).
std::string cpufield(std::string_view cpuinfo, std::string_view wanted) {
  std::string found;
  bool started = false;
  eachfield(cpuinfo, [&](std::string_view key, std::string_view value) {
    if (key.empty() && value.empty()) return !started;
    started = true;
    if (key == wanted) {
      found = value;
      return false;
    }
    return true;
  });
  return found;
}

std::string decimal(uint64_t v) {
  return std::to_string(v);
}

}  // namespace

std::string osreleasevalue(const std::string& contents, const std::string& key) {
  std::string result;
  std::istringstream in(contents);
  std::string line;
  while (std::getline(in, line)) {
    std::string_view l = trimmed(line);
    if (l.empty() || l[0] == '#') continue;
    size_t eq = l.find('=');
    if (eq == std::string_view::npos || trimmed(l.substr(0, eq)) != key) continue;
    std::string_view raw = trimmed(l.substr(eq + 1));
    std::string value;
    if (!raw.empty() && (raw[0] == '"' || raw[0] == '\'')) {
      char quote = raw[0];
      for (size_t i = 1; i < raw.size() && raw[i] != quote; ++i) {
        if (quote == '"' && raw[i] == '\\' && i + 1 < raw.size()) ++i;
        value += raw[i];
      }
    } else {
      value = raw;
    }
    result = value;
  }
  return result;
}

std::string osname(const std::string& osrelease, const std::string& sysname) {
  std::string name = oneline(osreleasevalue(osrelease, "PRETTY_NAME"));
  if (!name.empty()) return name;
  name = oneline(osreleasevalue(osrelease, "NAME"));
  if (!name.empty()) {
    std::string version = oneline(osreleasevalue(osrelease, "VERSION"));
    return version.empty() ? name : name + " " + version;
  }
  name = oneline(sysname);
  return name.empty() ? "Linux" : name;
}

std::string ostextfrom(const std::string& osrelease, const std::string& sysname,
                       const std::string& release) {
  std::string_view rest = trimmed(release);
  uint64_t numbers[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    // Each number after the first needs its '.' in front of it.
    if (i > 0) {
      if (rest.size() < 2 || rest[0] != '.' || rest[1] < '0' || rest[1] > '9') break;
      rest.remove_prefix(1);
    }
    auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), numbers[i]);
    if (end == rest.data()) break;
    if (ec != std::errc()) numbers[i] = 0;
    rest.remove_prefix(static_cast<size_t>(end - rest.data()));
  }
  if (!rest.empty() && (rest[0] == '-' || rest[0] == '.' || rest[0] == '+' || rest[0] == '_'))
    rest.remove_prefix(1);
  std::string extra = oneline(rest.substr(0, 128));
  return osname(osrelease, sysname) + " V" + decimal(numbers[0]) + "." + decimal(numbers[1]) +
         " (Build " + decimal(numbers[2]) + ") " + extra;
}

std::string cputextfrom(const std::string& cpuinfo, const std::string& machine) {
  std::optional<uint64_t> level = parseuint(cpufield(cpuinfo, "cpu family"));
  if (!level) level = parseuint(cpufield(cpuinfo, "CPU architecture"));
  std::optional<uint64_t> revision = parseuint(cpufield(cpuinfo, "stepping"));
  if (!revision) revision = parseuint(cpufield(cpuinfo, "CPU revision"));

  std::string type = oneline(machine);
  if (type == "x86_64" || type == "amd64")
    type = "8664";
  else if (type.size() == 4 && type[0] == 'i' && type[1] >= '3' && type[1] <= '6' &&
           type.substr(2) == "86")
    type = type.substr(1);
  else if (type.empty())
    type = "0";

  uint64_t lv = level.value_or(0);
  std::string kind;
  if (lv >= 3 && lv <= 6)
    kind = "Lev. " + decimal(lv) + "86";
  else if (type == "386" || type == "486" || type == "586" || type == "686")
    kind = "Type " + type;
  else
    kind = type + "/" + decimal(lv);
  return "Proc. " + kind + " (Rev. " + decimal(revision.value_or(0) & 0xffff) + ")";
}

int64_t cpumhzfrom(const std::string& cpuinfo, const std::string& maxfreqkhz) {
  std::string mhz = cpufield(cpuinfo, "cpu MHz");
  double value = 0;
  auto [end, ec] = std::from_chars(mhz.data(), mhz.data() + mhz.size(), value);
  if (ec == std::errc() && end == mhz.data() + mhz.size() && std::isfinite(value) && value >= 0.5 &&
      value < 1e12)
    return std::llround(value);
  std::optional<uint64_t> khz = parseuint(maxfreqkhz);
  if (khz && *khz >= 500 && *khz < (uint64_t(1) << 62))
    return static_cast<int64_t>((*khz + 500) / 1000);
  return 0;
}

std::string memtextfrom(const std::string& meminfo, int64_t freediskbytes) {
  std::optional<uint64_t> total, available, freeram, swapfree;
  eachfield(meminfo, [&](std::string_view key, std::string_view value) {
    // "MemTotal:       24683784 kB": the kernel's kB are KiB.
    uint64_t factor = 1;
    if (value.size() > 2 && value.substr(value.size() - 2) == "kB") {
      factor = 1024;
      value = trimmed(value.substr(0, value.size() - 2));
    }
    std::optional<uint64_t> n = parseuint(value);
    if (n) *n = *n > UINT64_MAX / factor ? UINT64_MAX : *n * factor;
    if (key == "MemTotal")
      total = n;
    else if (key == "MemAvailable")
      available = n;
    else if (key == "MemFree")
      freeram = n;
    else if (key == "SwapFree")
      swapfree = n;
    return true;
  });
  if (!available) available = freeram;
  auto mb = [](std::optional<uint64_t> bytes) { return decimal(bytes.value_or(0) / 1000000); };
  // A failed disk query counts as -1 bytes, which truncates to 0 MB.
  std::string disk = std::to_string(freediskbytes / 1000000);
  return mb(available) + " MB available RAM of " + mb(total) + " MB total physical RAM, " +
         mb(swapfree) + " MB available pagefile" + ", " + disk + " MB free disk space on /";
}

std::string ostext() {
  std::string osrelease = readtext("/etc/os-release");
  if (osrelease.empty()) osrelease = readtext("/usr/lib/os-release");
  utsname u{};
  if (uname(&u) != 0) return ostextfrom(osrelease, "", "");
  return ostextfrom(osrelease, u.sysname, u.release);
}

std::string cputext() {
  utsname u{};
  std::string machine = uname(&u) == 0 ? u.machine : "";
  return cputextfrom(readtext("/proc/cpuinfo"), machine);
}

int64_t cpumhz() {
  return cpumhzfrom(readtext("/proc/cpuinfo"),
                    readtext("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq"));
}

std::string memtext() {
  struct statvfs fs {};
  int64_t freebytes = -1;
  if (statvfs("/", &fs) == 0) {
    unsigned long long bytes = static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize;
    freebytes = bytes > INT64_MAX ? INT64_MAX : static_cast<int64_t>(bytes);
  }
  return memtextfrom(readtext("/proc/meminfo"), freebytes);
}

std::vector<std::string> clientsystemlines() {
  return {"Client system: " + ostext() + ", CPU " + cputext() + " at " + std::to_string(cpumhz()) +
              " MHz, ",
          "Client system: " + memtext()};
}
