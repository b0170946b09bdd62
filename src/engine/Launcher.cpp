// The run launcher: one client per user, all configured first, then every request started in one
// tight loop so they reach the server together.

#include <sys/stat.h>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>

#include "common/OutputText.h"
#include "common/Text.h"
#include "engine/Cookies.h"
#include "engine/LineReader.h"
#include "engine/LoadEngine.h"
#include "engine/RunText.h"
#include "engine/StartChecks.h"
#include "engine/Texts.h"
#include "results/Clock.h"

namespace {

// How long the first run waits at most for the kernel to start stamping (it takes a work queue's
// turn, usually well under a millisecond); a kernel that never does leaves the server times null.
constexpr int kStampStartMs = 200;

// The start of the line logged for every client made; a view, so writing it needs no length count.
constexpr std::string_view kAllocating = "Allocating Request ";

bool fileexists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

int rampusers(int users, int runs, int runindex) {
  long double n = std::nearbyint(static_cast<long double>(users) / runs * (runindex + 1));
  return n < 1 ? 1 : static_cast<int>(n);
}

std::vector<std::string> TLoadEngine::urllist() {
  std::vector<std::string> lines = host_.urllines();
  for (std::string& l : lines) l = std::string(trim(l, " \t"));
  return lines;
}

void TLoadEngine::releaseclients() {
  for (auto* c : clients) clientblock_.destroy(c);
  clients.clear();
  clientsleft = 0;
}

// What a run's clients are made from besides the settings: users.txt and cookies.txt, read one
// line per user, the one post body and the URL list.
struct TLoadEngine::TRunSources {
  TLineReader cookies, users;
  bool cookiesopen = false;
  int userlineno = 0, cookielineno = 0;
  std::string userline;  // the last users.txt line taken; a short file repeats its last line
  // One copy of the body for the whole run, however many users send it.
  std::shared_ptr<const std::string> postbody;
  std::vector<std::string> urls;  // the multiple-URL list
};

bool TLoadEngine::launchrun() {
  // Asked for now, so that the kernel's stamping is switched on while the clients are made.
  if (!stampkeeper_) stampkeeper_ = std::make_unique<TRxStampKeeper>();
  TestSettings s = host_.settings();
  options_ = {s.writeheaders, s.writedata, s.onerroronly, s.preservecookies};
  const std::string run = std::to_string(runindex + 1);
  TRunSources sources;
  opensources(s, sources);
  const int N = beginrun(s);
  try {
    if (!makeclients(s, N, sources, run)) return false;
  } catch (const std::exception& e) {
    failedlaunch(run, e.what());
    return false;
  }
  if (!readytofire(run)) return false;
  fire(s.usepost);
  return true;
}

void TLoadEngine::opensources(TestSettings& s, TRunSources& sources) {
  if (s.usepost) {
    sources.postbody =
        s.sharedpost ? s.sharedpost : std::make_shared<const std::string>(std::move(s.postdata));
  }
  if (s.preservecookies && (runindex >= 1 || !cookiecachewritable)) {
    sources.cookiesopen = sources.cookies.open("cookies.txt");
    if (!sources.cookiesopen) {
      log("Could not read cookies from \"cookies.txt\": " + std::string(std::strerror(errno)) +
          "; the requests of this run carry no cookies");
    }
  }
  if (s.usersfromfile) {
    if (fileexists("users.txt") && sources.users.open("users.txt")) {
      log("Using user/password data from \"users.txt\"");
    } else {
      s.usersfromfile = false;
      host_.setusersfromfile(false);
      log("Tried to load user/password data from \"users.txt\", but file was not found");
    }
  }
  if (s.multipleurls) sources.urls = urllist();
}

int TLoadEngine::beginrun(const TestSettings& s) {
  const int N = s.ramptest ? rampusers(s.users, s.runs, runindex) : s.users;
  runusers = N;
  launchedrun_ = runindex;
  tally.reset();
  runrecords_.reset(runindex, static_cast<size_t>(N));
  log("Allocating memory");
  releaseclients();
  return N;
}

bool TLoadEngine::makeclients(const TestSettings& s, int N, TRunSources& sources,
                              const std::string& run) {
  if (s.multipleurls && sources.urls.empty()) throw std::runtime_error("No URLs to test");
  // The settings may have changed since the start: a later run is checked again.
  if (std::string problem = startproblem(s, sources.urls); !problem.empty()) {
    throw std::runtime_error(problem);
  }
  // This segment's users of the run: k = segment_, segment_ + segments_, ... up to N.
  const size_t own = N >= segment_ ? static_cast<size_t>((N - segment_) / segments_ + 1) : 0;
  clients.reserve(own);
  clientblock_.reserve(own);
  // A session per user number, kept from run to run; a deque, so growing for a larger run of a
  // ramp moves none that a client points at.
  if (s.tlsresume && tlssessions_.size() < static_cast<size_t>(N)) {
    tlssessions_.resize(static_cast<size_t>(N));
  }
  const bool window = host_.haswindow();
  for (int k = 1; k <= N; ++k) {
    if ((k - 1) % segments_ + 1 != segment_) {
      // Another segment's user still takes its users.txt line (and its line of a fixed cookie
      // source), so every user gets the line it has in the whole test.
      if (s.useuser && s.usersfromfile && !sources.users.eof()) {
        sources.userline = sources.users.readln();
      }
      if (sources.cookiesopen && !cookiecachewritable) sources.cookies.readln();
      continue;
    }
    if (window && !showallocation(k, run)) {
      cancellaunch(run);
      return false;
    }
    makeclient(s, k, sources);
  }
  return true;
}

bool TLoadEngine::showallocation(int k, const std::string& run) {
  text_.assign("Allocating Request ");
  appendnumber(text_, k);
  text_ += " of run ";
  text_ += run;
  host_.setstatus(text_);
  if (k % 10 != 0) return true;
  host_.processmessages();
  return !aborted;
}

void TLoadEngine::makeclient(const TestSettings& s, int k, TRunSources& sources) {
  auto* c = clientblock_.create(loop_);
  if (s.useagent) {
    c->Agent = s.agent;
  } else {
    c->Agent.clear();
  }
  if (s.useuser) {
    if (s.usersfromfile) {
      if (!sources.users.eof()) {
        sources.userline = sources.users.readln();
        ++sources.userlineno;
        if (hasheaderbreak(sources.userline)) {
          log("Line " + std::to_string(sources.userlineno) +
              " of \"users.txt\" holds a CR or NUL character and is not used");
          sources.userline.clear();
        }
      }
      TUserLine user = splituserline(sources.userline);
      c->Username = user.username;
      c->Password = user.password;
    } else {
      c->Username = s.username;
      c->Password = s.password;
    }
  }
  if (s.useproxy) {
    c->Proxy = s.proxy;
    c->ProxyPort = s.proxyport;
  } else {
    c->Proxy.clear();
    c->ProxyPort.clear();
  }
  std::string cookieline;
  if (sources.cookiesopen) {
    std::string cacheline = sources.cookies.readln();
    ++sources.cookielineno;
    if (hasheaderbreak(cacheline)) {
      log("Line " + std::to_string(sources.cookielineno) +
          " of \"cookies.txt\" holds a CR or NUL character and is not used");
      cacheline.clear();
    }
    cookieline = cookiefromcacheline(cacheline);
    c->Cookie = cookieline;
  }
  c->slot = clients.size();
  clients.push_back(c);
  ++clientsleft;

  std::string note;
  if (!s.multipleurls) {
    c->URL = s.url;
  } else {
    const std::vector<std::string>& urls = sources.urls;
    size_t j = static_cast<size_t>(k - 1) % urls.size() + 1;
    c->URL = urls[j - 1];
    note = " Used URL#" + std::to_string(j) + ": \"" + maskedurl(urls[j - 1]) + "\"";
  }
  // OnRequestDone, OnHeaderData, OnDocData and OnLocationChange: the engine's one handler.
  c->SetHandler(&clientevents_);
  c->requestno = k;
  c->SetRxTimestamps(true);
  c->TlsContext = tlscontext_.get();
  if (s.tlsresume) c->TlsSession = &tlssessions_[static_cast<size_t>(k - 1)];
  if (s.usepost) {
    c->postbody = std::make_unique<TSharedStream>(sources.postbody);
    c->PostStream = c->postbody.get();
  }
  if (s.useuser) note += ", Username:" + c->Username;
  text_.clear();
  text_.append(kAllocating);
  appendnumber(text_, k);
  if (s.usekey) {
    std::string K = std::to_string(s.keyoffset + c->requestno);
    c->URL = replaceall(c->URL, "@@", K);
    text_ += ", Key: ";
    text_ += K;
  }
  if (!note.empty()) text_ += note;
  log(text_);
  // The request's start copies URL into Location: the room for it is taken here, so that the
  // start loop, which every user's request leaves in, makes no heap block for it.
  c->Location.reserve(c->URL.size());
  if (c->slot == 0 && runindex == 0) keepfirstresponse(c);
  if (s.preservecookies) {
    log("Using Cookies: \"cookie: " + replaceall(cookieline, "\r\n", "<cr/lf>") + "\"");
  }
}

void TLoadEngine::keepfirstresponse(mythttpcli* c) {
  c->ResponseStream = nullptr;
  std::string path = firstresponsepath();
  std::remove(path.c_str());
  std::string error;
  firstresponsefile = TFirstResponseFile::Create(path, error);
  if (firstresponsefile) {
    c->ResponseStream = firstresponsefile.get();
    log("Data is being saved to " + path);
  } else {
    log("Could not save data to " + path);
  }
}

void TLoadEngine::failedlaunch(const std::string& run, const std::string& why) {
  // Nothing has been started yet: give back every client and end the test with a clear error.
  releaseclients();
  firstresponsefile.reset();
  testactive_ = false;
  std::string error = "Run " + run + " could not be launched: " + why;
  log(error);
  host_.setstatus("");
  host_.setstartenabled(true);
  host_.errordialog(error);
  host_.testended(false);
}

bool TLoadEngine::readytofire(const std::string& run) {
  // A segment fires only its own users; the statistics divide by them.
  runusers = static_cast<int32_t>(clients.size());
  host_.setstatus("Allocation finished, starting requests of run " + run + "...");
  host_.processmessages();
  if (aborted) {
    cancellaunch(run);
    return false;
  }
  log("Memory Allocation done");
  return true;
}

void TLoadEngine::fire(bool post) {
  // Before the first request leaves, so that its answer is stamped too.
  stampkeeper_->Ready(kStampStartMs);
  rtoffset_ = realtimeoffset();
  // The start loop: nothing but the time, one log line and the start of the request.
  const long double t0 = elapsedms();
  // The line's own text, written once: each request only puts its number after it. A local
  // string, so that nothing a request start may log reaches into it.
  constexpr std::string_view starting = "Starting request ";
  std::string line;
  line.reserve(starting.size() + 20);  // room for any request number: one heap block per run
  line.append(starting);
  const size_t prefix = line.size();
  for (auto* c : clients) {
    c->starttime = elapsedms();
    line.resize(prefix);
    appendnumber(line, c->requestno);
    log(line);
    startrequest(c, post);
  }
  const long double t1 = elapsedms();
  startloop_ = {t0, t1};
  host_.startloopdone(launchedrun_, {static_cast<double>(t0 - teststart),
                                     static_cast<double>(t1 - t0), startrate(runusers, t1 - t0)});

  const std::string created = createdline(runusers, t1 - t0);
  log(created);
  logs_.logdatanocr(created);
  // A segment may own no user of a short run: that run is complete at once, from the loop.
  if (clients.empty()) notices_.Post([this] { runcomplete(elapsedms()); });
}

void TLoadEngine::cancellaunch(const std::string& run) {
  releaseclients();
  firstresponsefile.reset();
  log("Run " + run + " was aborted before its requests were started");
  host_.setstatus("");
  host_.setstartenabled(true);
  finish(true);
}

void TLoadEngine::startrequest(mythttpcli* c, bool post) {
  try {
    if (post) {
      c->Post();
    } else {
      c->Get();
    }
  } catch (const std::exception& e) {
    // A request that cannot even start (an empty or invalid host name) still completes, through
    // Abort, as a failed request of this run.
    log("Request " + std::to_string(c->requestno) + " could not be started: " + e.what());
    if (c->State() != hsReady) {
      c->Abort();
      return;
    }
    // Refused before it left the ready state: Abort would report nothing, so complete it here,
    // later, from the loop like every other completion.
    c->StatusCode = 404;
    c->ReasonPhrase = e.what();
    THttpRequest rq = post ? rqPost : rqGet;
    notices_.Post([this, c, rq] { requestdone(c, rq, 3); });
  }
}
