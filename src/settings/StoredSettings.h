#pragma once
// TStoredSettings: everything the settings file keeps (section "Data", the geometry of both
// windows in "Window" and "WindowURL", and the multiple-URL list), read with the defaults and
// ranges of a first start and written back in full at close.

#include <optional>
#include <string>
#include <vector>

// The largest window coordinate or size read from the file.
inline constexpr int kMaxWindowCoordinate = 32767;

struct TWindowGeometry {
  // A missing key leaves that coordinate as designed (the window's current value). Values read
  // are clamped: positions to +-kMaxWindowCoordinate, sizes to 0 .. kMaxWindowCoordinate.
  std::optional<int> top, left, width, height;
};

struct TStoredSettings {
  std::string url;                   // "URLEdit"
  std::string username;              // "username"
  std::string agent;                 // "agent"
  std::string proxy;                 // "Proxy"
  std::string postdata;              // "Postdata"
  std::string proxyport;             // "Port"
  bool singleurl = true;             // "singleurl"
  bool multiurl = false;             // "multiurl"
  bool writeheaders = false;         // "DisplayHeader"
  bool writedata = false;            // "DisplayData"
  bool onerroronly = false;          // "only"
  bool simultaneous = true;          // "Simultaneous" (read, then always turned on)
  bool useproxy = false;             // "UseProxy"
  bool useuser = false;              // "Useusername"
  bool usersfromfile = false;        // "loadusernames"
  bool useagent = false;             // "Useagent"
  bool usepost = false;              // "Usepost"
  bool preservecookies = false;      // "Usecookie"
  bool ramptest = false;             // "Useramp"
  bool exacttiming = true;           // "showgraph"
  bool showbrowser = true;           // "showbrowser"
  int users = 5;                     // "requests", 1 .. 20000
  int runs = 1;                      // "runs", 1 .. 65536
  int waitperrun = 0;                // "Wait", 0 .. 10000
  std::string logfolder;             // "LogFolder": where the window writes its log files and
                                     // temp.htm; empty for the program's directory (or its
                                     // fallback)
  std::vector<std::string> urllist;  // "Count" and "URLs0" ...
  TWindowGeometry mainwindow;        // section "Window"
  TWindowGeometry urlwindow;         // section "WindowURL"
};

// Reads the settings file at path. A missing file, section or key, garbage lines, non-numeric or
// out-of-range values give the defaults and clamps of a first start; this never fails.
TStoredSettings readstoredsettings(const std::string& path);

// Writes every value into the file at path, keeping whatever else it holds (other sections, stale
// "URLs" keys of a longer list). The file is replaced atomically. On failure returns false and
// sets error to "Unable to write to " + path.
bool writestoredsettings(const std::string& path, const TStoredSettings& s, std::string& error);

// The settings file of a program: its file name lower-cased with the extension replaced by "ini"
// ("Pressbolt.bin" -> "pressbolt.ini"), or ".ini" appended when it has none ("pressbolt" ->
// "pressbolt.ini"), in $XDG_CONFIG_HOME (default ~/.config).
std::string settingsfilename(const std::string& programpath);
std::string settingspath(const std::string& programpath);
