#include "settings/SettingsModel.h"

namespace {

using K = TSettingKind;
using S = TStoredSettings;

// clang-format off
const TSetting kSettings[] = {
    {.kind = K::text, .text = &S::url, .key = "URLEdit", .control = "URLEdit"},
    {.kind = K::text, .text = &S::username, .key = "username", .control = "username"},
    {.kind = K::text, .text = &S::agent, .key = "agent", .control = "agent"},
    {.kind = K::text, .text = &S::proxy, .key = "Proxy", .control = "proxy"},
    {.kind = K::text, .text = &S::postdata, .key = "Postdata", .control = "POSTDATA"},
    {.kind = K::text, .text = &S::proxyport, .key = "Port", .control = "port"},
    {.kind = K::flag, .flag = &S::singleurl, .key = "singleurl", .commandline = false,
     .control = "singleurl"},
    {.kind = K::flag, .flag = &S::multipleurls, .key = "multiurl", .control = "multiurl"},
    {.kind = K::flag, .flag = &S::writeheaders, .key = "DisplayHeader",
     .option = "--write-headers", .help = "Log every received header line",
     .control = "HeaderCheckBox"},
    {.kind = K::flag, .flag = &S::writedata, .key = "DisplayData", .option = "--write-data",
     .help = "Log every received document chunk", .control = "DataCheckBox"},
    {.kind = K::flag, .flag = &S::onerroronly, .key = "only", .option = "--on-error-only",
     .help = "Log headers and data only of non-200 answers", .control = "onerroronlyCheckBox"},
    // Requests of a run always start together; the key stays for the file's readers.
    {.kind = K::flag, .flag = &S::simultaneous, .key = "Simultaneous", .readback = false,
     .commandline = false, .control = "SimultCheckBox"},
    {.kind = K::flag, .flag = &S::useproxy, .key = "UseProxy", .control = "checkproxy"},
    {.kind = K::flag, .flag = &S::useuser, .key = "Useusername", .control = "useusername"},
    {.kind = K::flag, .flag = &S::usersfromfile, .key = "loadusernames", .option = "--users-file",
     .help = "Take user/password pairs from users.txt", .control = "loadusernames"},
    {.kind = K::flag, .flag = &S::useagent, .key = "Useagent", .control = "useagent"},
    {.kind = K::flag, .flag = &S::usepost, .key = "Usepost", .control = "usepost"},
    {.kind = K::flag, .flag = &S::preservecookies, .key = "Usecookie",
     .option = "--preserve-cookies", .help = "Record run 1's cookies in cookies.txt",
     .json = "preserve_cookies", .control = "Checkcookie"},
    {.kind = K::flag, .flag = &S::ramptest, .key = "Useramp", .option = "--ramp",
     .help = "Ramp test: the users grow from run to run", .json = "ramp", .control = "Ramp"},
    {.kind = K::flag, .flag = &S::exacttiming, .key = "showgraph", .commandline = false,
     .control = "Checkshowgraph"},
    {.kind = K::flag, .flag = &S::showbrowser, .key = "showbrowser", .commandline = false,
     .control = "CheckBox2"},
    // Chosen by a folder dialog, not a control.
    {.kind = K::text, .text = &S::logfolder, .key = "LogFolder", .commandline = false},
    {.kind = K::number, .number = &S::users, .key = "requests", .min = kMinUsers,
     .max = kMaxUsers, .scaledbysegments = true, .option = "--users",
     .help = "Simultaneous users per run, 1-20000 (default 5)", .valuename = "N",
     .json = "users", .control = "SpinEdit1"},
    {.kind = K::number, .number = &S::runs, .key = "runs", .min = kMinRuns, .max = kMaxRuns,
     .option = "--runs", .help = "Number of runs, 1-65536 (default 1)", .valuename = "N",
     .json = "runs", .control = "SpinEdit2"},
    {.kind = K::number, .number = &S::waitperrun, .key = "Wait", .min = kMinWait,
     .max = kMaxWait, .option = "--wait", .help = "Seconds between runs, 0-10000 (default 0)",
     .valuename = "SECONDS", .json = "wait_s", .control = "SpinEdit3"},
    {.kind = K::text, .text = &S::password, .control = "pw"},
    {.kind = K::flag, .flag = &S::usekey, .control = "usekey"},
    {.kind = K::bignumber, .bignumber = &S::keyoffset, .control = "offset"},
};
// clang-format on

}  // namespace

std::span<const TSetting> settingsmodel() {
  return kSettings;
}

const TSetting* settingbyoption(const std::string& option) {
  for (const TSetting& e : kSettings) {
    if (e.option != nullptr && option == e.option) return &e;
  }
  return nullptr;
}

const TSetting* settingbyjson(const std::string& json) {
  for (const TSetting& e : kSettings) {
    if (e.json != nullptr && json == e.json) return &e;
  }
  return nullptr;
}
