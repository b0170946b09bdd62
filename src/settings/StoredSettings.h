#pragma once
// TStoredSettings: everything the settings file keeps (section "Data", the geometry of both
// windows in "Window" and "WindowURL", and the multiple-URL list), read with the defaults and
// ranges of a first start and written back in full at close.

#include <optional>
#include <string>
#include <vector>

#include "engine/TestSettings.h"

// The largest window coordinate or size read from the file.
inline constexpr int kMaxWindowCoordinate = 32767;

struct TWindowGeometry {
  // A missing key leaves that coordinate as designed (the window's current value). Values read
  // are clamped: positions to +-kMaxWindowCoordinate, sizes to 0 .. kMaxWindowCoordinate.
  std::optional<int> top, left, width, height;
};

// The ranges of the numbers a test takes; a stored value is clamped into them.
inline constexpr int kMinUsers = 1, kMaxUsers = 20000;
inline constexpr int kMinRuns = 1, kMaxRuns = 65536;
inline constexpr int kMinWait = 0, kMaxWait = 10000;

// The test's settings as the file keeps them (which key holds which: settings/SettingsModel.cpp),
// with the window's own choices. The two URL choices are kept as read: both may be on in a
// hand-edited file, and settledurlchoice() (settings/SettingsModel.h) settles that for the readers.
struct TStoredSettings : TestSettings {
  bool singleurl = true;
  bool showbrowser = true;
  std::string logfolder;             // where the window writes its log files and temp.htm; empty
                                     // for the program's directory (or its fallback)
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
