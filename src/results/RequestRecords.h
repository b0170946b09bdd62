#pragma once
// TRequestRecords: one compact record per completed request, kept as columns per run, for the
// machine-readable outputs and their percentiles. A 20000-user run costs under a megabyte.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// What the engine reports when a request has completed. Times are test-clock milliseconds.
struct TRequestOutcome {
  int run = 0;                 // run index from 0
  int user = 0;                // user number 1 .. users of the run
  const std::string* url{};    // the URL the user requested
  long double start = 0;       // start of the request, ms after the test start
  long double wait = 0;        // user wait time
  long double firstbyte = -1;  // time to the first document byte; negative when none came
  int status = 0;
  uint16_t socketcode = 0;
  int64_t bytes = 0;  // document bytes received
  // The server's own time from kernel stamps (see engine/ServerTime.h): request departure to the
  // response's last byte, and to its first; negative when the kernel gave none.
  long double server = -1, serverttfb = -1;
  // The connection's phases: the connect call to the connection up, and that to the end of the
  // TLS handshake; negative when there was none (no connection made, plain HTTP).
  long double connect = -1, tls = -1;
  bool tlsresumed = false;  // the TLS handshake resumed the user's earlier session
};

// A time in milliseconds to the microsecond, as every output writes it: finer digits are noise of
// the clock arithmetic, and the JSON and the CSV must round a value that lies on a half alike.
double tomicrosecond(double ms);

// A run's start loop as its "Created ..." line tells it: where it began (ms after the test
// start), how long it took, and the requests per second the line shows (-1: none, it took no
// measurable time). A length below 0: unknown (a result written without it).
struct TStartLoopRecord {
  double offsetms = -1, ms = -1;
  int64_t persecond = -1;
  bool known() const { return ms >= 0; }
};

// The requests of one run as parallel columns; row i of every column is one request, in the
// order the requests completed.
struct TRunRecords {
  int run = 0;                                 // run index from 0
  int users = 0;                               // users of the run (0 until the run has ended)
  bool ended = false;                          // the run's last request has completed
  bool aborted = false;                        // the run was cut short by an abort
  long double overallms = 0;                   // start of the run to its last completion
  std::vector<double> start, wait, firstbyte;  // firstbyte < 0: no document byte arrived
  std::vector<int32_t> status;
  std::vector<uint16_t> socketcode;
  std::vector<int64_t> bytes;
  std::vector<int32_t> user;
  std::vector<uint32_t> url;               // index into TRequestRecords::urls()
  std::vector<double> server, serverttfb;  // < 0: the kernel gave no stamp
  // < 0: no connection, or no TLS. Results read back from files written before these columns
  // existed leave them short: a missing row is none.
  std::vector<double> connect, tls;
  TStartLoopRecord startloop;

  size_t size() const { return wait.size(); }
  // Appends a completed request's row; url is its index into TRequestRecords::urls().
  void add(const TRequestOutcome& r, uint32_t urlindex);
  // No rows, run run not ended, and room for rows rows: adding them then allocates nothing.
  void reset(int run, size_t rows);
};

class TRequestRecords {
 public:
  // Appends a completed request to its run (runs are created as their first request arrives).
  void add(const TRequestOutcome& r);
  // The run's last request has completed.
  void endrun(int run, int users, long double overallms, bool aborted);
  // The run's start loop is over (before its first request completes).
  void setstartloop(int run, const TStartLoopRecord& loop) { runrecords(run).startloop = loop; }

  const std::vector<TRunRecords>& runs() const { return runs_; }
  // Every distinct URL requested, in the order first seen.
  const std::vector<std::string>& urls() const { return urls_; }
  size_t requests() const;

 private:
  TRunRecords& runrecords(int run);

  std::vector<TRunRecords> runs_;
  std::vector<std::string> urls_;
  std::unordered_map<std::string, uint32_t> urlindex_;
};
