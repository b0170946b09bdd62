// The test start: validation, reset of all test state, charts, the header of both views, the
// cookie cache, and the launch of run 1.

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>

#include "common/OutputText.h"
#include "engine/Cookies.h"
#include "engine/LoadEngine.h"
#include "engine/RunText.h"
#include "engine/StartChecks.h"
#include "engine/StartLimits.h"
#include "results/Clock.h"
#include "results/LogFile.h"
#include "results/SysInfo.h"

namespace {

const char* kNoUrls =
    "\r\n\r\nNo URLs to test! Enter your URLs in the \"multiple URLs\" window or switch to "
    "\"single URL\"\r\n\r\n";

std::string localdatetime() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char text[128];
  std::strftime(text, sizeof text, "%x %X", &tm);
  return text;
}

}  // namespace

bool TLoadEngine::validate(const TestSettings& s) {
  if (s.multipleurls && urllist().empty()) {
    host_.errordialog(kNoUrls);
    return false;
  }
  std::string refusal = startrefusal(s, s.multipleurls ? urllist() : std::vector<std::string>());
  if (!refusal.empty()) {
    host_.errordialog(refusal);
    return false;
  }
  // One TLS context for every https connection of the test (a relocation to https included),
  // made now so that an unreadable CA file stops the start. A plain test with the default trust
  // makes none: a relocation to https then takes the process's default, which is the same, and
  // plain HTTP pays nothing for TLS.
  // Sessions belong to the context that made them: a new test's users are new visitors.
  tlssessions_.clear();
  tlscontext_.reset();
  try {
    if (!s.cafile.empty() || s.insecure ||
        testshttps(s, s.multipleurls ? urllist() : std::vector<std::string>())) {
      tlscontext_ = std::make_shared<TTlsContext>(TTlsOptions{s.cafile, s.insecure, s.tlsresume});
    }
  } catch (const ETlsSetup& e) {
    host_.errordialog(std::string("\r\n\r\n") + e.what() + ". The test was not started.\r\n\r\n");
    return false;
  }
  // Found now rather than after the whole test has run.
  std::string note;
  std::string dir = outputdir_.empty() ? outputdir(&note) : outputdir_;
  std::string reason;
  if (!canwritein(dir, reason)) {
    // Name every folder that was tried: the program's own as well when it fell back.
    if (!note.empty()) note += ". ";
    host_.errordialog("\r\n\r\n" + note + "Cannot write the result files to \"" + dir +
                      "\": " + reason +
                      ". Please choose another directory; the test was not started.\r\n\r\n");
    return false;
  }
  return true;
}

void TLoadEngine::start() {
  // A run still in flight cannot be mixed with a new test; the button is disabled then anyway.
  if (clientsleft > 0) return;
  TestSettings s = host_.settings();
  refused = !validate(s);
  if (refused) return;
  savefailed = false;
  // A start while the next run waits ends the old test there, as Abort would: two tests must
  // never mix.
  Timer1.Stop();
  testactive_ = false;

  startclock();
  host_.setstatus("Starting...");
  host_.setsourcetext("");
  host_.setheaderlines({});
  charts_.clearramps();
  runbytes = 0;
  host_.setresultsvisible(!s.exacttiming);
  aborted = false;
  nostampsaid_ = false;
  sofar = TRunsSoFar();
  runindex = 0;
  preparecharts(s);
  logs_.clear();

  std::string note;
  resultdir_ = outputdir_.empty() ? outputdir(&note) : outputdir_;
  if (!resultdir_.empty() && resultdir_.back() != '/') resultdir_ += '/';
  std::string error;
  if (!detailedlog_.open(resultdir_ + detailedfilename, error)) {
    refused = true;
    host_.setstatus("");
    host_.errordialog(error);
    return;
  }
  logs_.setfilesink(&detailedlog_);
  logs_.setkeeplines(host_.haswindow());
  firstsource_.reset();
  writeheader(s);
  if (!note.empty()) log(note);
  warnoflimits(s);

  teststart = elapsedms();
  charts_.clearrequests();
  tally.reset();
  cookiecachewritable = true;
  if (!preparecookiecache(s)) return;

  host_.setstartenabled(false);
  host_.navigatebrowser("about:blank", false);
  testactive_ = true;
  host_.processmessages();

  log("START RUN: " + std::to_string(runindex + 1));
  logs_.logdatanocr("");
  logs_.logdatared("Results of run " + std::to_string(runindex + 1));
  runstart = elapsedms();
  launchrun();
}

void TLoadEngine::preparecharts(const TestSettings& s) {
  startcharts(s, charts_);
}

void TLoadEngine::writeheader(const TestSettings& s) {
  std::string by = std::string("(by Pressbolt Version ") + kVersion + ", " + kWebAddress + ")";
  log("Server Load Test Logfile " + by);
  logs_.logdatared("Server Load Test Results " + by);
  if (!s.multipleurls) {
    log("Tested URL: " + maskedurl(s.url));
    logs_.logdatanocr("Tested URL: " + maskedurl(s.url));
  } else {
    log("Testing Multiple URLs:");
    logs_.logdata("Testing Multiple URLs");
    std::vector<std::string> lines = urllist();
    for (size_t i = 0; i < lines.size(); ++i) {
      log("URL#" + std::to_string(i + 1) + ": " + maskedurl(lines[i]));
    }
  }
  log(" ");
  log("Settings: " + testdescription(s));
  if (s.useproxy) log("Settings: Proxy: " + s.proxy + ":" + s.proxyport);
  if (s.usepost) {
    log("Settings: use POST requests using POST-data=" + loggedpostdata(postbody(s)));
    logs_.logdatanocr("Settings: use POST requests");
  } else {
    log("Settings: use GET requests");
    logs_.logdatanocr("Settings: use GET requests");
  }
  if (s.useagent) log("Settings: User Agent: " + s.agent);
  logs_.logdatanocr("Settings: " + testdescription(s));
  if (testshttps(s, urllist())) {
    log("Settings: https: " + trusttext(s));
    logs_.logdatanocr("Settings: https: " + trusttext(s));
    if (s.tlsresume) {
      log("Settings: https: each user resumes its TLS session of its previous run");
      logs_.logdatanocr("Settings: https: each user resumes its TLS session of its previous run");
    }
  }
  if (segments_ > 1) {
    const int I = segment_, K = segments_;
    const std::string line = "Settings: segment " + std::to_string(I) + " of " + std::to_string(K) +
                             ": users " + std::to_string(I) + ", " + std::to_string(I + K) + ", " +
                             std::to_string(I + 2 * K) + " ... of every run";
    log(line);
    logs_.logdatanocr(line);
  }
  for (const auto& line : clientsystemlines()) log(line);
  for (const auto& line : clientsystemlines()) logs_.logdatanocr(line);
  log(resolutionline(clockfrequency));
  log("Test is starting");
  logs_.logdata("Test run on " + localdatetime());
  log("----------------------------------------------------");
}

void TLoadEngine::warnoflimits(const TestSettings& s) {
  // A ramp test's last step has all its users; a segment fires its own share of them.
  const long long users = s.users >= segment_ ? (s.users - segment_) / segments_ + 1 : 0;
  for (const std::string& warning : limitwarnings(users, machinelimits())) {
    log(warning);
    host_.warning(warning);
  }
}

bool TLoadEngine::preparecookiecache(const TestSettings& s) {
  if (!s.preservecookies) return true;
  if (fileisreadonly("cookies.txt")) {
    cookiecachewritable = false;
    return true;
  }
  std::ofstream cache("cookies.txt", std::ios::binary | std::ios::trunc);
  if (!cache) {
    // The start ends here; what was logged stays and Start remains enabled.
    std::string error = "Cannot create file \"cookies.txt\". " + std::string(std::strerror(errno));
    log(error);
    dropdetailedlog();
    host_.errordialog(error);
    return false;
  }
  return true;
}
