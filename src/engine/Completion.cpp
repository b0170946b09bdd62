// Completion of each request in its steps (its log lines, its record, the cookies and the first
// response it brings, its release), the run statistics, and the per-chunk and per-header handlers.

#include <fstream>

#include "common/OutputText.h"
#include "engine/Cookies.h"
#include "engine/LoadEngine.h"
#include "engine/ServerTime.h"
#include "engine/Texts.h"
#include "results/Clock.h"

// The engine attaches its handlers to its own clients only, so every sender is a mythttpcli.
static mythttpcli* client(THttpCli* sender) {
  return static_cast<mythttpcli*>(sender);
}

void TLoadEngine::requestdone(THttpCli* Sender, THttpRequest, uint16_t Error) {
  mythttpcli* c = client(Sender);
  if (c == nullptr) return;
  const long double wait = elapsedms() - c->starttime;
  c->PostStream = nullptr;
  c->postbody.reset();
  logdone(*c, wait, Error);
  const std::optional<long double> endtime = recordrequest(*c, wait, Error);
  keepcookies(*c);
  if (firstresponsefile && c->ResponseStream == firstresponsefile.get()) endfirstresponse(*c);
  release(c, endtime);
}

void TLoadEngine::logdone(const mythttpcli& c, long double wait, uint16_t Error) {
  {
    // Four numbers of at most 20 characters, two table texts and 60 characters of words.
    TLineBuffer<2 * kLongestText + 160> line;
    line << "Request ";
    line.number(c.requestno) << " Done: ";
    line.rounded(wait) << " ms, HTTP-StatusCode = ";
    line.number(c.StatusCode) << " (" << statusview(c.StatusCode) << "), Socketcode = ";
    line.number(Error) << " (" << socketview(Error) << ')';
    log(line.view());
  }
  if (c.requestno % 10 == 0 && host_.haswindow()) {
    text_.assign("Request ");
    appendnumber(text_, c.requestno);
    text_ += " of run ";
    appendnumber(text_, runindex + 1);
    text_ += " done.";
    host_.setstatus(text_);
  }
  if (Error == 10062) {
    log("Request " + std::to_string(c.requestno) + " was relocated more than " +
        std::to_string(THttpCli::MaxRelocations) + " times and not followed further");
  } else if (Error == TTlsLayer::ProtocolError || Error == TTlsLayer::VerifyError ||
             Error == THttpCli::TunnelError) {
    log("Request " + std::to_string(c.requestno) + ": " + c.ReasonPhrase);
  } else if (Error == THttpCli::RelocationSchemeError) {
    log("Request " + std::to_string(c.requestno) + " was relocated to " + c.Location +
        ", which is not followed: only http:// and https:// URLs are");
  }
}

std::optional<long double> TLoadEngine::recordrequest(mythttpcli& c, long double wait,
                                                      uint16_t Error) {
  const TServerTime server = servertime(c.WireTimes(), rtoffset_);
  if (c.WireTimes().unstamped && !nostampsaid_) {
    nostampsaid_ = true;
    log(std::string("Server time: the kernel gave no receive timestamp") +
        (c.WireTimes().stamping ? "" : " (SO_TIMESTAMPING refused)") +
        "; server_ms and server_ttfb_ms are null where it gives none");
  }
  long double connectms = -1, tlsms = -1;
  phasetimes(c.WireTimes(), connectms, tlsms);
  charts_.addrequest(c.starttime - teststart, wait, c.StatusCode,
                     static_cast<double>(server.server), static_cast<double>(server.ttfb), Error,
                     static_cast<double>(connectms), static_cast<double>(tlsms));
  // The end of the run is the end of its last request: only that one needs the clock here.
  std::optional<long double> endtime;
  if (clientsleft <= 1) endtime = elapsedms();
  tally.statusadd(c.StatusCode);
  TRequestOutcome outcome{launchedrun_, c.requestno,   &c.URL,       c.starttime - teststart,
                          wait,         c.firstbyte,   c.StatusCode, Error,
                          c.bytes,      server.server, server.ttfb};
  outcome.connect = connectms;
  outcome.tls = tlsms;
  outcome.tlsresumed = c.WireTimes().tlsresumed;
  runrecords_.add(outcome, 0);
  host_.requestcompleted(outcome);
  // The run no longer waits for this client.
  if (c.slot < clients.size() && clients[c.slot] == &c) {
    clients[c.slot] = nullptr;
    --clientsleft;
  }
  return endtime;
}

void TLoadEngine::keepcookies(const mythttpcli& c) {
  if (runindex != 0 || c.ResponseHeaders.empty() || !cookiecachewritable ||
      !options_.preservecookies) {
    return;
  }
  std::string line = joinvalues(setcookievalues(c.ResponseHeaders), "@@");
  // One open file for the run: opening and closing it for each of thousands of requests
  // costs more than the request's own handling.
  if (!cookiecache_) {
    cookiecache_ = std::make_unique<std::ofstream>("cookies.txt", std::ios::binary | std::ios::app);
  }
  *cookiecache_ << line << "\r\n";
  if (!*cookiecache_) {
    log("Could not write to \"cookies.txt\": the cookies of this request are lost");
  }
}

void TLoadEngine::endfirstresponse(mythttpcli& c) {
  c.ResponseStream = nullptr;
  if (!firstresponsefile->Close()) {
    log("Could not save data to " + firstresponsepath() + ": " + firstresponsefile->WriteError());
  }
  if (firstresponsefile->cut()) {
    log("The first response has " + std::to_string(firstresponsefile->received()) + " Bytes; " +
        firstresponsepath() + " keeps its first " + std::to_string(firstresponsefile->keep()) +
        " Bytes");
  }
  firstsource_ = firstresponsefile->source();
  firstresponsefile.reset();
  if (!host_.settings().exacttiming) showfirstrequest();
  std::vector<std::string> lines = c.ResponseHeaders;
  lines.emplace_back();
  host_.setheaderlines(lines);
}

void TLoadEngine::release(mythttpcli* c, std::optional<long double> endtime) {
  // The client is inside its own completion callback; it touches nothing after it returns.
  clientblock_.destroy(c);
  if (clientsleft == 0 && testactive_) runcomplete(endtime ? *endtime : elapsedms());
}

void TLoadEngine::closecookiecache() {
  if (!cookiecache_) return;
  cookiecache_->close();
  if (!*cookiecache_) log("Could not write to \"cookies.txt\": the cookies of run 1 may be lost");
  cookiecache_.reset();
}

void TLoadEngine::runcomplete(long double endtime) {
  closecookiecache();
  clients.clear();
  host_.setstartenabled(true);
  host_.setstatus("");
  if (!aborted && runusers == 0) {
    // Only a segment can own no user of a run; there is nothing to average.
    log("No user of run " + std::to_string(runindex + 1) + " belongs to segment " +
        std::to_string(segment_) + " of " + std::to_string(segments_));
  } else if (!aborted) {
    TestSettings s = host_.settings();
    if (runindex == 0 && s.exacttiming) showfirstrequest();
    writerunstatistics(s, endtime);
  }
  host_.runcompleted(launchedrun_, runusers, endtime - runstart, aborted);
  endofrun();
}

void TLoadEngine::writerunstatistics(const TestSettings& s, long double endtime) {
  runrecords_.users = runusers;
  runrecords_.overallms = endtime - runstart;
  runrecords_.ended = true;
  const TRunSummary summary = runsummary(runrecords_, s.ramptest, charts_.foot(), sofar);
  for (const std::string& line : summary.log) log(line);
  showsummary(summary, logs_, charts_);
}

void TLoadEngine::HttpCli1DocData(THttpCli* Sender, const char* Buffer, int Len) {
  mythttpcli* c = client(Sender);
  if (c == nullptr) return;
  if (runbytes == 0) {
    const std::string ttfb = rounded(elapsedms() - c->starttime);
    log("Time to first byte: ~" + ttfb + " msec (which was the first byte of request #" +
        std::to_string(c->requestno) + ")");
    logs_.logdatanocr("Time to first byte: ~" + ttfb + " msec");
  }
  runbytes += Len;
  if (c->firstbyte < 0) c->firstbyte = elapsedms() - c->starttime;
  c->bytes += Len;
  if (options_.writedata && !(c->StatusCode == 200 && options_.onerroronly)) {
    const std::string dashes(42, '-');
    log(dashes);
    log(std::string(Buffer));  // the chunk as text, up to its first zero byte
    log(dashes);
  }
}

void TLoadEngine::HttpCli1HeaderData(THttpCli* Sender) {
  mythttpcli* c = client(Sender);
  if (c == nullptr) return;
  if (options_.writeheaders && !(c->StatusCode == 200 && options_.onerroronly)) {
    log("Headers: " + c->LastLine);
  }
}

void TLoadEngine::HttpCli1LocationChange(THttpCli* Sender) {
  mythttpcli* c = client(Sender);
  if (c == nullptr) return;
  log("Request " + std::to_string(c->requestno) + " Redirect: " +
      rounded(elapsedms() - c->starttime) + " ms, StatusCode = " + std::to_string(c->StatusCode) +
      ": redirected to " + c->Location + " on " + c->ConnectHost);
  c->Cookie = joinvalues(latestpername(setcookievalues(c->ResponseHeaders)), "\r\nCookie: ");
}
