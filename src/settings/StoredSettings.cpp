#include "settings/StoredSettings.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

#include "settings/ProfileFile.h"
#include "settings/SettingsModel.h"

namespace {

const char* const kData = "Data";
const char* const kWindow = "Window";
const char* const kWindowURL = "WindowURL";
const char* const kURLs = "URLs";

// Window coordinates are clamped to the 16-bit range of the display protocols, so an edited file
// can never overflow the window system's rectangle arithmetic (left + width).
std::optional<int> coordinate(const TProfileFile& f, const char* section, const char* key,
                              int min) {
  std::optional<int> v = f.findinteger(section, key);
  if (v) v = std::clamp(*v, min, kMaxWindowCoordinate);
  return v;
}

TWindowGeometry readgeometry(const TProfileFile& f, const char* section) {
  TWindowGeometry g;
  g.top = coordinate(f, section, "Top", -kMaxWindowCoordinate);
  g.left = coordinate(f, section, "Left", -kMaxWindowCoordinate);
  g.width = coordinate(f, section, "Width", 0);
  g.height = coordinate(f, section, "Height", 0);
  return g;
}

void writegeometry(TProfileFile& f, const char* section, const TWindowGeometry& g) {
  if (g.top) f.writeinteger(section, "Top", *g.top);
  if (g.left) f.writeinteger(section, "Left", *g.left);
  if (g.width) f.writeinteger(section, "Width", *g.width);
  if (g.height) f.writeinteger(section, "Height", *g.height);
}

// The line number n of a key spelled "URLs" + n in decimal without leading zeros, or -1.
long urlkeynumber(const std::string& key) {
  if (key.size() <= 4 || key.size() > 14) return -1;
  for (int i = 0; i < 4; ++i) {
    if (std::tolower(static_cast<unsigned char>(key[i])) != "urls"[i]) return -1;
  }
  std::string digits = key.substr(4);
  if (digits.size() > 1 && digits[0] == '0') return -1;
  long n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

// The URL lines 0 .. count-1 that are present and not empty, in line order. Only keys that exist
// are visited, so a damaged "Count" of two billion costs no more than the file's own size.
std::vector<std::string> readurllist(const TProfileFile& f, int count) {
  std::vector<std::string> lines;
  if (count <= 0) return lines;
  std::map<long, std::string> present;
  for (const std::string& key : f.keys(kData)) {
    long n = urlkeynumber(key);
    if (n >= 0 && n < count) present.emplace(n, key);
  }
  for (const auto& [n, key] : present) {
    std::string line = f.readstring(kData, key, "");
    if (!line.empty()) lines.push_back(std::move(line));
  }
  return lines;
}

std::string homedir() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return ".";
}

}  // namespace

TStoredSettings readstoredsettings(const std::string& path) {
  TProfileFile f(path);
  f.load();
  TStoredSettings s;
  for (const TSetting& e : settingsmodel()) {
    if (e.key == nullptr || !e.readback) continue;
    switch (e.kind) {
      case TSettingKind::flag:
        s.*e.flag = f.readbool(kData, e.key, s.*e.flag);
        break;
      case TSettingKind::number:
        s.*e.number = std::clamp(f.readinteger(kData, e.key, s.*e.number), e.min, e.max);
        break;
      case TSettingKind::text:
        s.*e.text = f.readstring(kData, e.key, s.*e.text);
        break;
      case TSettingKind::bignumber:
        break;  // none is kept in the file
    }
  }
  s.urllist = readurllist(f, f.readinteger(kData, "Count", 0));
  s.mainwindow = readgeometry(f, kWindow);
  s.urlwindow = readgeometry(f, kWindowURL);
  return s;
}

bool writestoredsettings(const std::string& path, const TStoredSettings& s, std::string& error) {
  TProfileFile f(path);
  f.load();
  for (const TSetting& e : settingsmodel()) {
    if (e.key == nullptr) continue;
    switch (e.kind) {
      case TSettingKind::flag:
        f.writebool(kData, e.key, s.*e.flag);
        break;
      case TSettingKind::number:
        f.writeinteger(kData, e.key, s.*e.number);
        break;
      case TSettingKind::text:
        f.writestring(kData, e.key, s.*e.text);
        break;
      case TSettingKind::bignumber:
        break;
    }
  }
  writegeometry(f, kWindow, s.mainwindow);
  writegeometry(f, kWindowURL, s.urlwindow);
  // Keys of a longer earlier list stay in the file; "Count" keeps them from being read.
  f.writeinteger(kData, "Count", static_cast<int>(s.urllist.size()));
  for (size_t n = 0; n < s.urllist.size(); ++n) {
    f.writestring(kData, kURLs + std::to_string(n), s.urllist[n]);
  }
  std::string why;
  if (!f.save(why)) {
    error = "Unable to write to " + path;
    return false;
  }
  return true;
}

std::string settingsfilename(const std::string& programpath) {
  std::string name = programpath.substr(programpath.find_last_of('/') + 1);
  if (name.empty()) name = "pressbolt";
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  // A leading dot marks a hidden file, not an extension.
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return name + ".ini";
  return name.substr(0, dot + 1) + "ini";
}

std::string settingspath(const std::string& programpath) {
  // Relative values of XDG_CONFIG_HOME are invalid and are ignored, as the convention says.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string dir = xdg != nullptr && xdg[0] == '/' ? std::string(xdg) : homedir() + "/.config";
  return dir + "/" + settingsfilename(programpath);
}
