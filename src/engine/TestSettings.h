#pragma once
// TestSettings: what the engine needs to know of a test. The engine asks its host for a fresh
// snapshot at every step (test start, each run launch, each run end), so a change made during a
// test takes effect at the next step; nothing keeps a copy from the start. Where each value is
// kept, typed and shown (settings file, command line, JSON, form) is the settings model's affair
// (settings/SettingsModel.h); the initial values here are the defaults of a first start.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TestSettings {
  std::string url;            // the single URL to test
  bool multipleurls = false;  // the URLs are the lines of the multiple-URL list
  bool useproxy = false;
  std::string proxy;      // proxy host
  std::string proxyport;  // port, passed on as text
  bool useuser = false;
  std::string username;
  std::string password;        // never stored in the settings file
  bool usersfromfile = false;  // user/password pairs from users.txt
  bool useagent = false;
  std::string agent;
  int users = 5;
  int runs = 1;
  int waitperrun = 0;            // seconds
  bool exacttiming = true;       // hide the result views while the test runs
  bool preservecookies = false;  // record run 1's cookies and send them in later runs
  bool simultaneous = true;      // always on at start-up
  bool usekey = false;           // replace "@@" in the URL by a number
  int64_t keyoffset = 0;
  bool ramptest = false;
  bool usepost = false;
  std::string postdata;
  // A body read from a file (megabytes, maybe) is held here once instead, shared by every
  // snapshot of the settings and every user who sends it; postdata is then empty.
  std::shared_ptr<const std::string> sharedpost;
  bool writeheaders = false;  // log every received header line
  bool writedata = false;     // log every received document chunk
  bool onerroronly = false;   // ... only of non-200 answers
  std::string cafile;         // https: PEM file of CAs trusted beside the system's store
  bool insecure = false;      // https: accept any certificate
  bool tlsresume = false;     // https: each user offers its session of its previous run
};

// The POST body of a test, wherever it is held.
inline const std::string& postbody(const TestSettings& s) {
  return s.sharedpost ? *s.sharedpost : s.postdata;
}

// Whether the test has an https URL (the single URL, or any of the list's).
bool testshttps(const TestSettings& s, const std::vector<std::string>& urls);
// What https connections trust, for the header and the log: "certificates checked against the
// system's store", "... and FILE", or "certificates not checked (insecure)".
std::string trusttext(const TestSettings& s);

// The one-line description of a test, e.g. "20 simultaneous users, Username=\"joe\"  - 3 runs -
// wait for 5s". With withproxy, " - using proxy: host:port" is appended when useproxy is on (the
// form used in the request chart's foot).
std::string testdescription(const TestSettings& s, bool withproxy = false);
