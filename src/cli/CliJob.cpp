#include "cli/CliJob.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <istream>
#include <sstream>
#include <string_view>

#include "cli/JobParts.h"
#include "common/Text.h"
#include "common/WholeFile.h"
#include "http/UrlSplit.h"
#include "report/Baseline.h"
#include "results/LogFile.h"
#include "segments/SegmentOption.h"
#include "segments/StartTime.h"
#include "settings/SettingsModel.h"
#include "stored/SegmentFile.h"

namespace {

// Whole text as a decimal integer within [min, max]: digits with an optional sign, nothing else
// (no "0x", no octal reading of a leading zero, no blanks).
int64_t integer(const std::string& option, const std::string& text, int64_t min, int64_t max) {
  const char* b = text.data();
  const char* e = b + text.size();
  if (b != e && *b == '+') ++b;
  int64_t v = 0;
  auto [end, ec] = std::from_chars(b, e, v, 10);
  if (b == e || end != e || ec == std::errc::invalid_argument) {
    fail(option, quoted(text) + " is not a decimal number");
  }
  if (ec == std::errc::result_out_of_range || v < min || v > max) {
    fail(option,
         text + " is out of range (" + std::to_string(min) + " to " + std::to_string(max) + ")");
  }
  return v;
}

}  // namespace

double decimal(const std::string& option, const std::string& text, double min, double max) {
  // A sign is read so that "-1" is told apart from a typo: it is a number, out of range.
  const bool negative = !text.empty() && text.front() == '-';
  const std::string_view digitstext = std::string_view(text).substr(negative ? 1 : 0);
  bool plain = !digitstext.empty();
  int digits = 0, dots = 0;
  for (char c : digitstext) {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      ++digits;
    } else if (c == '.') {
      ++dots;
    } else {
      plain = false;
    }
  }
  if (!plain || digits == 0 || dots > 1) fail(option, quoted(text) + " is not a decimal number");
  double v = 0;
  std::from_chars(digitstext.data(), digitstext.data() + digitstext.size(), v,
                  std::chars_format::fixed);
  if (negative) v = -v;
  if (v < min || v > max) {
    char range[64];
    std::snprintf(range, sizeof range, "(%.15g to %.15g)", min, max);
    if (negative && v != 0 && min >= 0) fail(option, text + " must not be negative " + range);
    fail(option, text + " is out of range " + range);
  }
  return v;
}

namespace {

bool hascontrol(const std::string& s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  }
  return false;
}

void plaintext(const std::string& option, const std::string& s) {
  if (hascontrol(s)) fail(option, "line breaks and control characters are not allowed");
}

bool validhost(const std::string& host) {
  if (!host.empty() && host.front() == '[') return hostproblem(host).empty();
  if (host.empty()) return false;
  for (char c : host) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_') {
      return false;
    }
  }
  return true;
}

bool validport(const std::string& port) {
  if (port.empty() || port.size() > 5) return false;
  for (char c : port) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  int v = std::stoi(port);
  return v >= 1 && v <= 65535;
}

// A number option as typed, when it was given.
const std::optional<std::string>& typed(const TCliOptions& o, const std::string& option) {
  static const std::optional<std::string> none;
  const auto n = o.numbers.find(option);
  return n == o.numbers.end() ? none : n->second;
}

// The test's settings from the file --settings names; the window's own choices stay behind.
void applystored(const TStoredSettings& stored, TCliJob& job) {
  const TStoredSettings st = settledurlchoice(stored);
  TStoredSettings s;
  static_cast<TestSettings&>(s) = job.settings;
  for (const TSetting& e : settingsmodel()) {
    if (e.key == nullptr || !e.commandline) continue;
    switch (e.kind) {
      case TSettingKind::flag:
        s.*e.flag = st.*e.flag;
        break;
      case TSettingKind::number:
        s.*e.number = st.*e.number;
        break;
      case TSettingKind::bignumber:
        s.*e.bignumber = st.*e.bignumber;
        break;
      case TSettingKind::text:
        s.*e.text = st.*e.text;
        break;
    }
  }
  job.settings = s;
  job.urls = st.urllist;
}

// The settings model's plain options that were given, in the model's order.
void takesettings(const TCliOptions& o, TCliJob& job) {
  TStoredSettings s;
  static_cast<TestSettings&>(s) = job.settings;
  for (const TSetting& e : settingsmodel()) {
    if (e.option == nullptr) continue;
    if (const auto& n = typed(o, e.option); n && e.kind == TSettingKind::text) {
      s.*e.text = *n;
    } else if (n) {
      // Each segment holds at most the usual number of users.
      const int64_t max = e.scaledbysegments ? int64_t(e.max) * job.segments : e.max;
      s.*e.number = int(integer(e.option, *n, e.min, max));
    }
    if (auto f = o.flags.find(e.option); f != o.flags.end() && f->second) s.*e.flag = *f->second;
  }
  job.settings = s;
}

void takecredentials(const TCliOptions& o, std::istream& passwordsource, TCliJob& job) {
  TestSettings& s = job.settings;
  if (o.user) {
    plaintext("--user", *o.user);
    size_t colon = o.user->find(':');
    if (o.passwordstdin && colon != std::string::npos) {
      fail("--password-stdin", "--user already holds a password (give --user NAME)");
    }
    s.useuser = true;
    s.username = o.user->substr(0, colon);
    s.password = colon == std::string::npos ? std::string() : o.user->substr(colon + 1);
  }
  if (o.passwordstdin) {
    if (!s.useuser || s.username.empty()) fail("--password-stdin", "needs --user NAME");
    std::string line;
    if (!std::getline(passwordsource, line)) {
      fail("--password-stdin", "no password on standard input");
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    plaintext("--password-stdin", line);
    s.password = line;
  }
  // The users.txt option, stored or given, asks for users.
  switchondependents(s);
}

void takelimits(const TCliOptions& o, TCliJob& job) {
  if (o.timeout) job.timeout = decimal("--timeout", *o.timeout, 0.001, 1e8);
  if (o.maxerrorrate) job.maxerrorrate = decimal("--max-error-rate", *o.maxerrorrate, 0, 100);
  if (o.maxavgwait) job.maxavgwait = decimal("--max-avg-wait", *o.maxavgwait, 0, 1e12);
  if (o.maxp99wait) job.maxp99wait = decimal("--max-p99-wait", *o.maxp99wait, 0, 1e12);
  if (o.maxp99server) job.maxp99server = decimal("--max-p99-server", *o.maxp99server, 0, 1e12);
}

// --segment I/K or --segments K with the Indexed Job's index, and --start-at.
void takesegment(const TCliOptions& o, TCliJob& job) {
  TSegmentChoice c;
  std::string problem;
  if (o.segment && o.segments) {
    fail("--segments", "give either --segment I/K or --segments K, not both");
  }
  if (o.segment && !parsesegment(*o.segment, c, problem)) fail("--segment", problem);
  if (o.segments) {
    int k = int(integer("--segments", *o.segments, 1, kMaxSegments));
    if (!segmentfromindex(k, std::getenv("JOB_COMPLETION_INDEX"), c, problem)) {
      fail("--segments", problem);
    }
  }
  job.segment = c.segment;
  job.segments = c.segments;
  if (o.startat) {
    int64_t at = 0;
    if (!parsestarttime(*o.startat, at, problem)) fail("--start-at", problem);
    const int64_t now = epochmsnow();
    problem = startinpast(at, now);
    if (problem.empty()) problem = starttoofar(at, now);
    if (!problem.empty()) fail("--start-at", problem);
    job.startat = at;
  }
  if (o.runinterval) {
    if (job.segments < 2 || !job.startat) {
      fail("--run-interval", "goes with a split test's --start-at (--segment or --segments)");
    }
    job.runinterval = decimal("--run-interval", *o.runinterval, 0.001, 86400);
  }
}

// Standard input can be read once: by one result named "-" or by --password-stdin.
void stdinonce(const TCliOptions& o) {
  std::vector<std::string> readers;
  if (o.passwordstdin) readers.push_back("--password-stdin");
  if (o.baseline && *o.baseline == "-") readers.push_back("--baseline");
  if (o.report && *o.report == "-") readers.push_back("--report");
  for (const std::string& path : o.merge) {
    if (path == "-") readers.push_back("--merge");
  }
  if (readers.size() > 1) {
    fail(readers[1], "standard input is read once, and " + readers[0] + " reads it already");
  }
}

// --merge: the result files, a directory standing for the .json files in it; --report: one
// stored result. Only output options go with them; the test's own options belong to the test
// that ran.
void takemerge(const TCliOptions& o, TCliJob& job) {
  const char* mode = o.report ? "--report" : "--merge";
  if (o.report && !o.merge.empty()) fail("--report", "give either --report or --merge, not both");
  const auto refuse = [&o, mode](const std::string& name) {
    fail(mode, name + " belongs to a test, not to " + (o.report ? "a stored result" : "a merge"));
  };
  if (!o.url.empty()) refuse("a URL");
  for (const auto& [name, value] : o.numbers) {
    if (value && settingbyoption(name) != nullptr) refuse(name);
  }
  for (const auto& [name, value] : o.flags) {
    if (value) refuse(name);
  }
  const std::pair<const char*, bool> testoptions[] = {
      {"--urls", bool(o.urlsfile)},
      {"--agent", bool(o.agent)},
      {"--proxy", bool(o.proxy)},
      {"--user", bool(o.user)},
      {"--password-stdin", o.passwordstdin},
      {"--post", bool(o.post)},
      {"--post-file", bool(o.postfile)},
      {"--key-offset", bool(typed(o, "--key-offset"))},
      {"--settings", bool(o.settingsfile)},
      {"--timeout", bool(o.timeout)},
      {"--segment", bool(o.segment)},
      {"--segments", bool(o.segments)},
      {"--start-at", bool(o.startat)},
      {"--run-interval", bool(o.runinterval)}};
  for (const auto& [name, given] : testoptions) {
    if (given) refuse(name);
  }
  takeoutputs(o, job);
  takelimits(o, job);
  if (o.report) {
    job.report = *o.report;
    job.reportresult = takeresult("--report", job.report);
  }
  takebaseline(o, job, o.report ? &job.reportresult->info.settings : nullptr);
  if (o.report && o.baseline && job.reportresult->info.segments > 1) {
    fail("--baseline",
         quoted(job.report) + " is a segment of a split test: compare the merged result");
  }
  for (const std::string& path : o.merge) {
    std::string problem;
    if (!resultfiles(path, job.output("--json"), job.merge, problem)) fail("--merge", problem);
  }
  job.allowpartial = o.allowpartial;
  job.quiet = o.quiet;
}

}  // namespace

void complain(const std::string& text) {
  std::fprintf(stderr, "pressbolt-cli: %s\n", printable(text).c_str());
}

std::string number(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

std::string printable(const std::string& text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += char(c);
    }
  }
  return out;
}

std::string urlproblem(const std::string& url) {
  if (hascontrol(url)) return "holds line breaks or control characters";
  TUrlParts p = SplitURL(url);
  std::string scheme;
  for (char c : p.scheme) scheme += char(std::tolower(static_cast<unsigned char>(c)));
  if (!scheme.empty() && scheme != "http" && scheme != "https") {
    return "is not an http:// or https:// URL";
  }
  if (p.host.empty()) return "has no host";
  if (std::string v6 = hostproblem(p.host); !v6.empty()) return v6;
  if (!validhost(p.host)) return "has no valid host name";
  if (url.find(p.host + ":") != std::string::npos && !validport(p.port)) {
    return "has an invalid port";
  }
  return std::string();
}

bool resolvejob(const TCliOptions& o, std::istream& passwordsource, TCliJob& job,
                std::string& error) {
  try {
    TestSettings& s = job.settings;
    stdinonce(o);
    if (!o.merge.empty() || o.report) {
      takemerge(o, job);
      if (o.allowpartial && o.merge.empty()) fail("--allow-partial", "goes with --merge");
      return true;
    }
    if (o.allowpartial) fail("--allow-partial", "goes with --merge");
    takesegment(o, job);
    if (o.settingsfile) {
      readinput("--settings", *o.settingsfile);  // a missing file must not read as defaults
      applystored(readstoredsettings(*o.settingsfile), job);
    }
    takesettings(o, job);
    takeurls(o, job);
    if (o.agent) {
      plaintext("--agent", *o.agent);
      givesetting(s, &TestSettings::agent, *o.agent);
    }
    if (o.proxy) {
      size_t colon = o.proxy->rfind(':');
      if (!o.proxy->empty() && o.proxy->front() == '[') {
        // An IPv6 proxy is written in brackets; its port, if any, follows the "]".
        size_t close = o.proxy->find(']');
        colon = close == std::string::npos ? close : o.proxy->find(':', close);
      }
      std::string host = o.proxy->substr(0, colon);
      std::string port = colon == std::string::npos ? "80" : o.proxy->substr(colon + 1);
      if (std::string v6 = hostproblem(host); !v6.empty()) {
        fail("--proxy", quoted(*o.proxy) + " " + v6);
      }
      if (!validhost(host)) fail("--proxy", quoted(*o.proxy) + " has no valid host name");
      if (!validport(port)) fail("--proxy", quoted(*o.proxy) + " has an invalid port");
      s.useproxy = true;
      s.proxy = host;
      s.proxyport = port;
    }
    takecredentials(o, passwordsource, job);
    if (o.post && o.postfile) fail("--post-file", "give either --post or --post-file, not both");
    if (o.post) givesetting(s, &TestSettings::postdata, *o.post);
    if (o.postfile) {
      // One copy of the body for the whole test, however many times the settings are copied.
      givesetting(s, &TestSettings::postdata, std::string());
      s.sharedpost = std::make_shared<const std::string>(readinput("--post-file", *o.postfile));
    }
    if (const auto& offset = typed(o, "--key-offset")) {
      // The highest key is offset + users: it must stay a 64-bit number.
      givesetting(s, &TestSettings::keyoffset,
                  integer("--key-offset", *offset, INT64_MIN, INT64_MAX - s.users));
    }
    takeoutputs(o, job);
    takelimits(o, job);
    takebaseline(o, job, &job.settings);
    job.quiet = o.quiet;
  } catch (const TBadInput& bad) {
    error = bad.text;
    return false;
  }
  return true;
}
