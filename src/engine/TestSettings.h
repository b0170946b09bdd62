#pragma once
// TestSettings: the options of the load-test tab. The engine asks its host for a fresh snapshot at
// every step (test start, each run launch, each run end), so a change made during a test takes
// effect at the next step; nothing keeps a copy from the start.

#include <cstdint>
#include <string>

struct TestSettings {
  std::string url;            // URLEdit: the single URL to test
  bool multipleurls = false;  // multiurl: the URLs are the lines of the multiple-URL list
  bool useproxy = false;      // checkproxy
  std::string proxy;          // proxy host
  std::string proxyport;      // port, passed on as text
  bool useuser = false;       // useusername
  std::string username;
  std::string password;        // pw; never stored in the settings file
  bool usersfromfile = false;  // loadusernames: user/password pairs from users.txt
  bool useagent = false;
  std::string agent;
  int users = 5;                 // SpinEdit1, 1 .. 20000
  int runs = 1;                  // SpinEdit2, 1 .. 65536
  int waitperrun = 0;            // SpinEdit3, seconds, 0 .. 10000
  bool exacttiming = true;       // Checkshowgraph: hide the result views while the test runs
  bool preservecookies = false;  // Checkcookie
  bool simultaneous = true;      // SimultCheckBox (hidden; always on at start-up)
  bool usekey = false;           // usekey: replace "@@" in the URL by a number
  int64_t keyoffset = 0;         // offset
  bool ramptest = false;         // Ramp
  bool usepost = false;
  std::string postdata;       // POSTDATA
  bool writeheaders = false;  // HeaderCheckBox
  bool writedata = false;     // DataCheckBox
  bool onerroronly = false;   // onerroronlyCheckBox
};

// Ranges of the three spin controls.
constexpr int kMinUsers = 1, kMaxUsers = 20000;
constexpr int kMinRuns = 1, kMaxRuns = 65536;
constexpr int kMinWait = 0, kMaxWait = 10000;

// The one-line description of a test, e.g. "20 simultaneous users, Username=\"joe\"  - 3 runs -
// wait for 5s". With withproxy, " - using proxy: host:port" is appended when useproxy is on (the
// form used in the request chart's foot).
std::string testdescription(const TestSettings& s, bool withproxy = false);
