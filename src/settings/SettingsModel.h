#pragma once
// The settings model: one entry per setting, naming it in every form it takes. The settings file,
// the command line's options and overrides, the JSON settings block and the form's binding all
// walk this one table, so a new setting is an entry here, its control in the form layout, the
// engine code that uses it, and a test.
//
// The default of a setting is the initial value of its member (TestSettings for the engine's,
// TStoredSettings for the window's own), so a first start, a fresh command line and the engine's
// tests all begin from the same values.

#include <cstdint>
#include <span>
#include <string>

#include "settings/StoredSettings.h"

enum class TSettingKind { flag, number, bignumber, text };

// How the JSON settings block writes a setting (its member order is the file format's,
// settings/SettingsJson.cpp).
enum class TJsonShape {
  plain,     // the value as it stands
  used,      // the value while it is used (settingused()), else null; a flag: on only while used
  words,     // a flag as one of two words: jsonwords[0] off, jsonwords[1] on
  length,    // a text's length while it is used, else 0; the text itself stays out
  hostport,  // "value:port" (jsonport) while used, else null
  list,      // a flag written as the multiple-URL list while on, else null
};

struct TSetting {
  TSettingKind kind;
  // Where the value lies; the one member of its kind is set. An engine setting's member lies in
  // the TestSettings part.
  bool TStoredSettings::*flag = nullptr;
  int TStoredSettings::*number = nullptr;
  int64_t TStoredSettings::*bignumber = nullptr;
  std::string TStoredSettings::*text = nullptr;
  // The key in the settings file's section "Data" (keys are read without regard to case, so a
  // hand-written "Requests" reads as "requests"); nullptr when the file does not keep it.
  const char* key = nullptr;
  // False: written, but never read back (every start begins with the default).
  bool readback = true;
  // The command line takes it from the settings file that --settings names.
  bool commandline = true;
  // A number's range; a stored value is clamped into it, a typed one refused outside it.
  int min = 0, max = 0;
  // A split test counts the users of the whole test: the command line's largest value is max
  // times the segments.
  bool scaledbysegments = false;
  // The command-line option of a plain flag ("--ramp", with "--no-ramp" to turn it off) or number;
  // nullptr when there is none or the command line handles it itself (--agent, --proxy ...).
  const char* option = nullptr;
  const char* help = nullptr;
  const char* valuename = nullptr;  // a number's placeholder in --help
  // The member of the JSON settings block that holds the value, in the shape given (a new one
  // follows the block's other members); nullptr when the block has none.
  const char* json = nullptr;
  TJsonShape jsonshape = TJsonShape::plain;
  const char* jsonwords[2] = {nullptr, nullptr};
  std::string TStoredSettings::*jsonport = nullptr;
  // The objectName of the form's control that shows it: a button for a flag, a spin box for a
  // number, a line edit (a combo box's edit text) for a text or a big number.
  const char* control = nullptr;
  // The flag the setting depends on ("Use Agent" for the agent): it is used only while that flag
  // is on. A value given on the command line, or read from a JSON block, switches the flag on
  // (so does a dependent flag that is on there); the form keeps the control enabled only while
  // the flag's control is checked, and unchecks a dependent flag with it.
  bool TStoredSettings::*switchedby = nullptr;
  // A flag that sets the value aside while on (users.txt replaces the typed user, the URL list
  // the URL): the value is not used, and the form paints its control as switched off.
  bool TStoredSettings::*overriddenby = nullptr;
  // False: the form leaves the control enabled whatever its flag says.
  bool formgreys = true;
  // A JSON settings block written before the setting existed lacks its member: read as the
  // default then, where any other missing member makes the block unreadable.
  bool jsonlater = false;
};

// Every setting, in the order the settings file writes them.
std::span<const TSetting> settingsmodel();

// The entry of a command-line option or JSON member, or nullptr.
const TSetting* settingbyoption(const std::string& option);
const TSetting* settingbyjson(const std::string& json);
// The entry whose member is m, or nullptr.
const TSetting* settingof(bool TStoredSettings::*m);

// Whether s uses the setting: its flag is on and nothing overrides it.
bool settingused(const TSetting& e, const TStoredSettings& s);
// Switches on the flag the setting depends on, if any.
void switchon(const TSetting& e, TStoredSettings& s);

// A value given on the command line: set, with the flag it depends on switched on.
void givesetting(TestSettings& s, std::string TestSettings::*m, std::string value);
void givesetting(TestSettings& s, int64_t TestSettings::*m, int64_t value);
// Every dependent flag that is on switches on the flag it depends on (users.txt asks for users).
void switchondependents(TestSettings& s);

// The stored settings with the window's two URL choices made exclusive: "multiple URLs" holds
// only when it alone is on (both may be on in a hand-edited file).
TStoredSettings settledurlchoice(const TStoredSettings& stored);

// What the outputs say of a test: its one URL, or nullptr when it takes its URLs from the
// multiple-URL list; and the method of its requests, "GET" or "POST".
const std::string* testedurl(const TestSettings& s);
const char* testmethod(const TestSettings& s);
