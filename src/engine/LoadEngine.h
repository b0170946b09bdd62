#pragma once
// TLoadEngine: the load test. It owns every piece of test state (runs, clients, accumulators,
// tally, Timer1) and talks to its host (window or command line) through TEngineHost; its output
// goes into the log and chart models. Everything runs on the loop's thread.

#include <cstdint>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/ClientBlock.h"
#include "engine/EngineHost.h"
#include "engine/FirstResponse.h"
#include "engine/StatusTally.h"
#include "engine/TestFacts.h"
#include "engine/mythttpcli.h"
#include "http/Stream.h"
#include "net/EventLoop.h"
#include "net/RxStampKeeper.h"
#include "net/TlsContext.h"
#include "results/ChartModel.h"
#include "results/LogFile.h"
#include "results/LogModel.h"
#include "results/RequestRecords.h"
#include "results/RunSummary.h"

// Users of run runindex + 1 in a ramp test: users / runs * (runindex + 1), halves to even, at
// least 1.
int rampusers(int users, int runs, int runindex);

class TLoadEngine {
 public:
  enum class TPhase { idle, running, waiting };

  TLoadEngine(TEngineHost& host, TLogModel& logs, TChartModel& charts,
              TEventLoop& loop = TEventLoop::Default());
  // Destroys any client still outstanding (the owner goes, so do they).
  ~TLoadEngine();
  TLoadEngine(const TLoadEngine&) = delete;
  TLoadEngine& operator=(const TLoadEngine&) = delete;

  // Where log files and temp.htm go; empty (the default) means the program directory with its
  // fallback. cookies.txt and users.txt are always read in the current working directory.
  void setoutputdir(const std::string& dir) { outputdir_ = dir; }
  // With on, every abort runs the finish steps, also an abort during the wait between runs, and
  // the output says "Test aborted", so the runs that completed are kept (both programs set it).
  // Off, an abort during the wait ends the test without them and without saving the log files.
  void setabortfinishes(bool on) { abortfinishes_ = on; }

  // Starts a test ("Start Test" in the window): validates, resets, writes the header and launches
  // run 1. Returns when every request of run 1 has been started; the rest happens in the clients'
  // events. A start refused by the checks (unsafe text in a request field, a key offset that
  // overflows, an output directory that cannot be written) shows an error dialog and sets
  // refused.
  void start();
  // Aborts the test ("Abort Test"): no further run; every outstanding request is aborted and
  // completes as usual.
  void abort();
  // The host's per-request options (what the log shows of each request, whether cookies are
  // kept) are read at the start of every run; a host whose options change during a run says so
  // here, and the requests that complete from then on follow them.
  void optionschanged() { options_ = host_.requestoptions(); }
  // Fire only segment `segment` of `segments` of every run's users: user k belongs to segment
  // ((k - 1) mod segments) + 1. Ramp counts, key numbers, users.txt lines and the URL rotation
  // stay those of the whole test; runusers counts this process's share, which may be none.
  // 1 of 1, the default, is the whole test. Throws std::invalid_argument for a segment that
  // does not exist.
  void setsegment(int segment, int segments);
  int segment() const { return segment_; }
  int segments() const { return segments_; }
  // When set, run runindex + 1 (runindex from 0) fires delay(runindex) ms after the previous
  // run's end instead of after the wait per run: a split test's runs fire at shared instants.
  void setrundelay(std::function<uint64_t(int runindex)> delay) { rundelay_ = std::move(delay); }

  TPhase phase() const;
  // The last run's start loop on the test clock (elapsedms): from the first request started to
  // the last. Both 0 before any run has started its requests.
  struct TStartLoop {
    long double begin = 0, end = 0;
  };
  TStartLoop laststartloop() const { return startloop_; }
  // Characters of the test's first response as its source view counts them; nullopt until it
  // has completed.
  std::optional<size_t> firstresponselength() const {
    return firstsource_ ? std::optional<size_t>(firstsource_->length) : std::nullopt;
  }
  // Bytes of the test's first response body as they came; nullopt until it has completed.
  std::optional<size_t> firstresponsebytes() const {
    return firstsource_ ? std::optional<size_t>(firstsource_->bytes) : std::nullopt;
  }
  // The test's facts for its result file.
  TTestFacts facts() const {
    return {teststart, aborted, firstresponselength(), firstresponsebytes()};
  }
  // The directory the current (or last) test writes to, with a trailing "/".
  const std::string& resultdir() const { return resultdir_; }

  // Test state, readable by hosts and tests.
  int32_t runindex = 0;
  int32_t runusers = 0;
  bool aborted = false;
  long double teststart = 0, runstart = 0;
  int64_t runbytes = 0;  // 64-bit: a run of many large documents passes 2 GB
  bool cookiecachewritable = true;
  // The last start was refused before anything ran (the command line exits 2).
  bool refused = false;
  // The last finish could not write a log file (an error dialog said which); the previous file
  // of that name is left as it was.
  bool savefailed = false;
  // What the runs summed up so far carry into the next run's summary: their requests' waits and
  // the processing times of the "all runs" mean.
  TRunsSoFar sofar;
  // The current run's status codes as they come, for the progress line; the run's summary counts
  // them from its records.
  TStatusTally tally;
  // Clients of the current run whose requests have not completed, in user order. A completed
  // client leaves a null slot, so removal is O(1) and the order stays for Abort.
  std::vector<mythttpcli*> clients;  // made and destroyed through clientblock_
  size_t clientsleft = 0;

  // The per-client handlers (public so tests can drive them directly).
  void requestdone(THttpCli* Sender, THttpRequest RqType, uint16_t Error);
  void HttpCli1HeaderData(THttpCli* Sender);
  void HttpCli1DocData(THttpCli* Sender, const char* Buffer, int Len);
  void HttpCli1LocationChange(THttpCli* Sender);

 private:
  // The one handler of every client of the engine: the completion, header-data, doc-data and
  // location-change events go to the handlers above. One object for all clients, so a client
  // carries a pointer where it carried a callable per event.
  class TClientEvents final : public THttpCliHandler {
   public:
    explicit TClientEvents(TLoadEngine& engine) : engine_(engine) {}
    void RequestDone(THttpCli* Sender, THttpRequest RqType, uint16_t Error) override {
      engine_.requestdone(Sender, RqType, Error);
    }
    void HeaderData(THttpCli* Sender) override { engine_.HttpCli1HeaderData(Sender); }
    void DocData(THttpCli* Sender, const char* Buffer, int Len) override {
      engine_.HttpCli1DocData(Sender, Buffer, Len);
    }
    void LocationChange(THttpCli* Sender) override { engine_.HttpCli1LocationChange(Sender); }

   private:
    TLoadEngine& engine_;
  };

  // The host's multiple-URL lines as a run uses them: blanks and tabs at either end are cut, as
  // the settings file's reading cuts them, so a list behaves the same after a restart.
  std::vector<std::string> urllist();

  // Test start pieces.
  bool validate(const TestSettings& s);
  void preparecharts(const TestSettings& s);
  void writeheader(const TestSettings& s);
  bool preparecookiecache(const TestSettings& s);
  // Says once, in the log and to the host, when the users of a run cannot all have a socket or a
  // local port on this machine.
  void warnoflimits(const TestSettings& s);

  // Launch of one run; false when it could not be launched (the test is then over). Its steps:
  // open what the run reads, size the run, make one client per own user, then fire them all.
  bool launchrun();
  struct TRunSources;
  void opensources(TestSettings& s, TRunSources& sources);
  int beginrun(const TestSettings& s);
  // False when an Abort came while the clients were made; throws when the run cannot start.
  bool makeclients(const TestSettings& s, int N, TRunSources& sources, const std::string& run);
  // The status line of the allocation; false when an Abort has come meanwhile.
  bool showallocation(int k, const std::string& run);
  void makeclient(const TestSettings& s, int k, TRunSources& sources);
  void keepfirstresponse(mythttpcli* c);
  void failedlaunch(const std::string& run, const std::string& why);
  bool readytofire(const std::string& run);
  void fire(bool post);
  // An Abort handled while a run's clients are being allocated: the run is dropped before any of
  // its requests is sent, and the test finishes as aborted.
  void cancellaunch(const std::string& run);
  void releaseclients();
  void startrequest(mythttpcli* c, bool post);

  // Completion of one request, in its steps: its log lines; its record (chart point, sums, tally,
  // the host's outcome; the run no longer waits for it), which gives the run's end when it may
  // have been the last; the cookies of run 1; the first response's file and views; the client's
  // release, which may complete the run.
  void logdone(const mythttpcli& c, long double wait, uint16_t Error);
  std::optional<long double> recordrequest(mythttpcli& c, long double wait, uint16_t Error);
  void keepcookies(const mythttpcli& c);
  void endfirstresponse(mythttpcli& c);
  void release(mythttpcli* c, std::optional<long double> endtime);

  // End of a run and of the test.
  void runcomplete(long double endtime);
  void writerunstatistics(const TestSettings& s, long double endtime);
  void endofrun();
  void Timer1Timer();
  // sayaborted writes "Test aborted" also where an aborted test normally ends without it.
  void finish(bool sayaborted = false);
  void showfirstrequest();
  void showsource(const std::string& path);
  void dropdetailedlog();

  std::string firstresponsepath() const { return resultdir_ + "temp.htm"; }
  void log(std::string_view text) { logs_.log(text); }

  TEngineHost& host_;
  TRequestOptions options_;  // the host's, as of the run's start or their last change
  TLogModel& logs_;
  TChartModel& charts_;
  TEventLoop& loop_;
  TTimer Timer1;
  TNoticeTarget notices_;
  std::string outputdir_;
  int segment_ = 1, segments_ = 1;
  std::function<uint64_t(int)> rundelay_;
  std::string resultdir_;
  // The per-request log and status lines are composed here: the buffer is reused, so a line
  // costs no allocation of its own.
  std::string text_;
  TClientBlock clientblock_;
  // The current run's requests for its summary, room made for all of them as it starts (their URL
  // column holds 0: the summary reads no URL).
  TRunRecords runrecords_;
  TClientEvents clientevents_{*this};
  std::unique_ptr<TFirstResponseFile> firstresponsefile;
  // The source view of the first response, built as it arrived (the file is never read back).
  std::optional<TSourceView> firstsource_;
  // cookies.txt while run 1 records into it; closed at the run's end, before run 2 reads it.
  std::unique_ptr<std::ofstream> cookiecache_;
  void closecookiecache();
  // The detailed log file, written as the test runs and renamed into place at the finish.
  TLogFileWriter detailedlog_;
  bool testactive_ = false;
  bool abortfinishes_ = false;
  int32_t launchedrun_ = 0;  // run index of the clients now out (Abort moves runindex on)
  TStartLoop startloop_;
  // CLOCK_REALTIME minus CLOCK_MONOTONIC for the current run: maps the kernel's receive stamps.
  int64_t rtoffset_ = 0;
  // The log has said once in this test that the kernel gave no receive stamps.
  bool nostampsaid_ = false;
  // Keeps the kernel stamping from the first run on, for the engine's life.
  std::unique_ptr<TRxStampKeeper> stampkeeper_;
  std::shared_ptr<TTlsContext> tlscontext_;  // the current test's, made at its start
  std::deque<TTlsSession> tlssessions_;      // with TlsResume: user k's TLS session at k - 1
};
