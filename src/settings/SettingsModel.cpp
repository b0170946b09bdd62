#include "settings/SettingsModel.h"

#include <utility>

namespace {

using K = TSettingKind;
using S = TStoredSettings;
using J = TJsonShape;

const char* const kGet = "GET";
const char* const kPost = "POST";

// clang-format off
const TSetting kSettings[] = {
    {.kind = K::text, .text = &S::url, .key = "URLEdit", .json = "url", .jsonshape = J::used,
     .control = "URLEdit", .switchedby = &S::singleurl, .overriddenby = &S::multipleurls},
    {.kind = K::text, .text = &S::username, .key = "username", .json = "user",
     .jsonshape = J::used, .control = "username", .switchedby = &S::useuser,
     .overriddenby = &S::usersfromfile},
    {.kind = K::text, .text = &S::agent, .key = "agent", .json = "agent", .jsonshape = J::used,
     .control = "agent", .switchedby = &S::useagent},
    {.kind = K::text, .text = &S::proxy, .key = "Proxy", .json = "proxy",
     .jsonshape = J::hostport, .jsonport = &S::proxyport, .control = "proxy",
     .switchedby = &S::useproxy},
    // The JSON block holds the body's length only: a body may be large, or private.
    {.kind = K::text, .text = &S::postdata, .key = "Postdata", .json = "post_bytes",
     .jsonshape = J::length, .control = "POSTDATA", .switchedby = &S::usepost},
    {.kind = K::text, .text = &S::proxyport, .key = "Port", .control = "port",
     .switchedby = &S::useproxy},
    {.kind = K::flag, .flag = &S::singleurl, .key = "singleurl", .commandline = false,
     .control = "singleurl"},
    {.kind = K::flag, .flag = &S::multipleurls, .key = "multiurl", .json = "urls",
     .jsonshape = J::list, .control = "multiurl"},
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
     .help = "Take user/password pairs from users.txt", .json = "users_file",
     .jsonshape = J::used, .control = "loadusernames", .switchedby = &S::useuser},
    {.kind = K::flag, .flag = &S::useagent, .key = "Useagent", .control = "useagent"},
    {.kind = K::flag, .flag = &S::usepost, .key = "Usepost", .json = "method",
     .jsonshape = J::words, .jsonwords = {kGet, kPost}, .control = "usepost"},
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
    {.kind = K::text, .text = &S::password, .control = "pw", .switchedby = &S::useuser,
     .overriddenby = &S::usersfromfile},
    {.kind = K::flag, .flag = &S::usekey, .control = "usekey"},
    // The offset's field stays open while "Key Offset" is off, as it always has.
    {.kind = K::bignumber, .bignumber = &S::keyoffset, .json = "key_offset",
     .jsonshape = J::used, .control = "offset", .switchedby = &S::usekey, .formgreys = false},
    {.kind = K::text, .text = &S::cafile, .key = "CAFile", .option = "--ca-file",
     .help = "https: trust the CAs in this PEM file beside the system's store",
     .valuename = "FILE", .json = "ca_file", .control = "cafile", .jsonlater = true},
    {.kind = K::flag, .flag = &S::insecure, .key = "Insecure", .option = "--insecure",
     .help = "https: accept any certificate, for any name", .json = "insecure",
     .control = "insecure", .jsonlater = true},
    {.kind = K::flag, .flag = &S::tlsresume, .key = "TlsResume", .option = "--tls-resume",
     .help = "https: each user resumes its TLS session in later runs (a returning visitor)",
     .json = "tls_resume", .control = "tlsresume", .jsonlater = true},
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

const TSetting* settingof(bool TStoredSettings::*m) {
  for (const TSetting& e : kSettings) {
    if (e.flag == m) return &e;
  }
  return nullptr;
}

bool settingused(const TSetting& e, const TStoredSettings& s) {
  return (e.switchedby == nullptr || s.*e.switchedby) &&
         (e.overriddenby == nullptr || !(s.*e.overriddenby));
}

void switchon(const TSetting& e, TStoredSettings& s) {
  if (e.switchedby != nullptr) s.*e.switchedby = true;
}

namespace {

// The flags live in TStoredSettings' terms, so a plain TestSettings goes through one.
template <class T>
void give(TestSettings& settings, T TStoredSettings::*TSetting::*kind, T TestSettings::*m,
          T value) {
  TStoredSettings s;
  static_cast<TestSettings&>(s) = settings;
  s.*m = std::move(value);
  for (const TSetting& e : kSettings) {
    if (e.*kind == m) switchon(e, s);
  }
  settings = s;
}

}  // namespace

void givesetting(TestSettings& s, std::string TestSettings::*m, std::string value) {
  give(s, &TSetting::text, m, std::move(value));
}

void givesetting(TestSettings& s, int64_t TestSettings::*m, int64_t value) {
  give(s, &TSetting::bignumber, m, value);
}

void switchondependents(TestSettings& settings) {
  TStoredSettings s;
  static_cast<TestSettings&>(s) = settings;
  for (const TSetting& e : kSettings) {
    if (e.kind == TSettingKind::flag && s.*e.flag) switchon(e, s);
  }
  settings = s;
}

TStoredSettings settledurlchoice(const TStoredSettings& stored) {
  TStoredSettings s = stored;
  s.singleurl = stored.singleurl || !stored.multipleurls;
  s.multipleurls = stored.multipleurls && !stored.singleurl;
  return s;
}

const std::string* testedurl(const TestSettings& s) {
  return s.multipleurls ? nullptr : &s.url;
}

const char* testmethod(const TestSettings& s) {
  return s.usepost ? kPost : kGet;
}
