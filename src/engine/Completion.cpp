// Completion of each request, the run statistics, and the per-chunk and per-header handlers.

#include <fstream>

#include "engine/Cookies.h"
#include "engine/EngineText.h"
#include "engine/LoadEngine.h"
#include "engine/RunText.h"
#include "engine/ServerTime.h"
#include "engine/Texts.h"
#include "results/Clock.h"
#include "results/Outcome.h"

// The engine attaches its handlers to its own clients only, so every sender is a mythttpcli.
static mythttpcli* client(THttpCli* sender) {
  return static_cast<mythttpcli*>(sender);
}

// The host's options for a header line or a chunk. Not inlined: the compiler would guess the
// default requestoptions (a copy of every setting) into the handler, and the stack frame of
// that guess would be set up for every header line; here the call goes straight on.
[[gnu::noinline]] static TRequestOptions optionsof(TEngineHost& host) {
  return host.requestoptions();
}

void TLoadEngine::requestdone(THttpCli* Sender, THttpRequest, uint16_t Error) {
  mythttpcli* c = client(Sender);
  if (c == nullptr) return;
  const long double wait = elapsedms() - c->starttime;
  c->PostStream = nullptr;
  c->postbody.reset();
  {
    // Four numbers of at most 20 characters, two table texts and 60 characters of words.
    TLineBuffer<2 * kLongestText + 160> line;
    line << "Request ";
    line.number(c->requestno) << " Done: ";
    line.rounded(wait) << " ms, HTTP-StatusCode = ";
    line.number(c->StatusCode) << " (" << statusview(c->StatusCode) << "), Socketcode = ";
    line.number(Error) << " (" << socketview(Error) << ')';
    log(line.view());
  }
  if (c->requestno % 10 == 0 && host_.haswindow()) {
    text_.assign("Request ");
    appendnumber(text_, c->requestno);
    text_ += " of run ";
    appendnumber(text_, runindex + 1);
    text_ += " done.";
    host_.setstatus(text_);
  }
  if (Error == 10062) {
    log("Request " + std::to_string(c->requestno) + " was relocated more than " +
        std::to_string(THttpCli::MaxRelocations) + " times and not followed further");
  } else if (Error == TTlsLayer::ProtocolError || Error == TTlsLayer::VerifyError ||
             Error == THttpCli::TunnelError) {
    log("Request " + std::to_string(c->requestno) + ": " + c->ReasonPhrase);
  } else if (Error == THttpCli::RelocationSchemeError) {
    log("Request " + std::to_string(c->requestno) + " was relocated to " + c->Location +
        ", which is not followed: only http:// and https:// URLs are");
  }
  const TServerTime server = servertime(c->WireTimes(), rtoffset_);
  if (c->WireTimes().unstamped && !nostampsaid_) {
    nostampsaid_ = true;
    log(std::string("Server time: the kernel gave no receive timestamp") +
        (c->WireTimes().stamping ? "" : " (SO_TIMESTAMPING refused)") +
        "; server_ms and server_ttfb_ms are null where it gives none");
  }
  charts_.addrequest(c->starttime - teststart, wait, c->StatusCode,
                     static_cast<double>(server.server), static_cast<double>(server.ttfb), Error);
  // The end of the run is the end of its last request: only that one needs the clock here.
  const bool maybelast = clientsleft <= 1;
  const long double endtime = maybelast ? elapsedms() : 0;
  waitsum += wait;
  requestscounted += 1;
  runwaitsum += wait;
  runrequests += 1;
  if (isclientfailure(Error)) ++runclienterrors;
  tally.statusadd(c->StatusCode);
  TRequestOutcome outcome{launchedrun_, c->requestno,  &c->URL,       c->starttime - teststart,
                          wait,         c->firstbyte,  c->StatusCode, Error,
                          c->bytes,     server.server, server.ttfb};
  phasetimes(c->WireTimes(), outcome.connect, outcome.tls);
  outcome.tlsresumed = c->WireTimes().tlsresumed;
  host_.requestcompleted(outcome);

  if (c->slot < clients.size() && clients[c->slot] == c) {
    clients[c->slot] = nullptr;
    --clientsleft;
  }

  if (runindex == 0 && !c->ResponseHeaders.empty() && cookiecachewritable &&
      host_.requestoptions().preservecookies) {
    std::string line = joinvalues(setcookievalues(c->ResponseHeaders), "@@");
    // One open file for the run: opening and closing it for each of thousands of requests
    // costs more than the request's own handling.
    if (!cookiecache_) {
      cookiecache_ =
          std::make_unique<std::ofstream>("cookies.txt", std::ios::binary | std::ios::app);
    }
    *cookiecache_ << line << "\r\n";
    if (!*cookiecache_) {
      log("Could not write to \"cookies.txt\": the cookies of this request are lost");
    }
  }

  if (firstresponsefile && c->ResponseStream == firstresponsefile.get()) {
    c->ResponseStream = nullptr;
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
    std::vector<std::string> lines = c->ResponseHeaders;
    lines.emplace_back();
    host_.setheaderlines(lines);
  }

  // The client is inside its own completion callback; it touches nothing after it returns.
  clientblock_.destroy(c);
  if (clientsleft == 0 && testactive_) runcomplete(maybelast ? endtime : elapsedms());
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
  log("Resulting statuscodes:");
  for (int i = 1; i <= tally.statuscodecount(); ++i) {
    log(std::to_string(tally.statuscounts(i)) + "x \"" + std::to_string(tally.statuscodes(i)) +
        "\" (=" + statustext(tally.statuscodes(i)) + ")");
  }
  const std::string summary = statussummary(tally);
  logs_.logdatanocr(summary);
  charts_.setfoot(0, summary);
  if (runclienterrors > 0) {
    const std::string clientline = clienterrorline(runclienterrors, runusers);
    log(clientline);
    logs_.logdatanocr(clientline);
  }

  log(" ");
  log("Average Results of this Run:");
  const long double overall = endtime - runstart;
  log("  Overall Time: " + rounded(overall) + " msec");
  const long double avg = overall / runusers;
  std::string line = "  Average Request Processing Time: " + rounded(avg) + " msec";
  if (overall != 0) line += " (equals ~" + rounded(1 / avg * 1000 * 60 * 60) + " requests/h)";
  log(line);
  // This run's own requests: the lines for all runs follow below.
  if (runrequests > 0) log(waitfoot(runwaitsum / runrequests, runusers));
  line = "  Total Bytes: " + std::to_string(runbytes) + " Bytes (" +
         std::to_string(runbytes / 1000) + " kB)";
  if (overall != 0) {
    line += " (Throughput ~" + rounded(runbytes / 1000.0L / overall * 1000) + " kB/sec)";
  }
  log(line);

  runtimesum += avg;
  runscounted += 1;
  TRunFoot foot;
  foot.users = runusers;
  foot.mean = runtimesum / runscounted;
  foot.runscounted = runscounted;
  foot.errors = tally.errors();
  foot.clienterrors = runclienterrors;
  if (runrequests > 0) foot.runwait = runwaitsum / runrequests;
  if (requestscounted > 0) foot.allwait = waitsum / requestscounted;
  runfoot(s.ramptest, foot, charts_);
  log("RUN DONE");
  log(std::string(51, '='));
  log("");
  if (!s.ramptest) log("Average Results of All Runs:");
  log(charts_.foot()[2]);
  log(charts_.foot()[3]);
  logs_.logdatabold(trimmed(charts_.foot()[2]));
  logs_.logdatabold(trimmed(charts_.foot()[3]));
  log(" ");
  if (s.ramptest) {
    runtimesum = 0;
    runscounted = 0;
  }
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
  const TRequestOptions o = optionsof(host_);
  if (o.writedata && !(c->StatusCode == 200 && o.onerroronly)) {
    const std::string dashes(42, '-');
    log(dashes);
    log(std::string(Buffer));  // the chunk as text, up to its first zero byte
    log(dashes);
  }
}

void TLoadEngine::HttpCli1HeaderData(THttpCli* Sender) {
  mythttpcli* c = client(Sender);
  if (c == nullptr) return;
  const TRequestOptions o = optionsof(host_);
  if (o.writeheaders && !(c->StatusCode == 200 && o.onerroronly)) {
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
