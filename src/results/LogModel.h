#pragma once
// TLogModel: the lines of the "Log" view (detailed, time-stamped) and of the "Results" view
// (condensed, with bold and highlighted lines). The engine writes here and never to a widget;
// the window mirrors the model in batches and the log files are written from it, so the window
// and the command line save identical files.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TLogFileWriter;

enum class TLineStyle { plain, bold, highlight };

struct TResultLine {
  std::string text;
  TLineStyle style = TLineStyle::plain;
};

class TLogModel {
 public:
  // Lines the "Log" view keeps in memory: enough for every line of a 20000-user run, few enough
  // that the window stays quick. Later lines reach only the sink.
  static constexpr size_t kMaxLogLines = 100000;
  using TSink = std::function<void(const std::string& line)>;

  // "Log": the local date and time (short date, a blank, long time), ": ", then text.
  void log(std::string_view text);
  // "Results": text as a line, then a line holding a single blank.
  void logdata(const std::string& text);
  // "Results": text as a line.
  void logdatanocr(const std::string& text);
  // "Results": text as a bold line.
  void logdatabold(const std::string& text);
  // "Results": text as a bold line in the highlight colour.
  void logdatared(const std::string& text);
  // "Results": a line kept earlier (a run's summary, a stored result), in its own style.
  void logresult(const TResultLine& line) { results_.push_back(line); }

  // Every "Log" line from now on is also handed to sink (the detailed log file as the test runs);
  // an empty sink ends that (and ends a file sink as well).
  void setsink(TSink sink) {
    sink_ = std::move(sink);
    file_ = nullptr;
  }
  // As a sink that appends each line to file, but written there directly: the line is not put
  // together first. Replaces the sink; nullptr (or setsink) ends it.
  void setfilesink(TLogFileWriter* file) {
    sink_ = nullptr;
    file_ = file;
  }
  // Lines kept in memory before the view is cut with a closing note (tests make it small).
  void setmaxloglines(size_t count) { maxloglines_ = count; }
  // With keep off, a "Log" line that goes to the sink is not kept in memory as well (nobody shows
  // it); a line with no sink to take it is always kept. clear() turns keep back on.
  void setkeeplines(bool keep) { keeplines_ = keep; }
  // True when the "Log" view holds only the first lines of the test.
  bool logcut() const { return logcut_; }

  // Empties both views (start-up and every test start).
  void clear();
  void clearlog();
  void clearresults();

  const std::vector<std::string>& loglines() const { return log_; }
  const std::vector<TResultLine>& resultlines() const { return results_; }

  // A view that mirrors the model remembers the generation and the number of lines it has shown:
  // a new generation means the lines were cleared and must be shown from the start.
  uint64_t loggeneration() const { return loggen_; }
  uint64_t resultgeneration() const { return resultgen_; }

  // Time stamp of a "Log" line: the locale's short date, a blank, the long time. Tests may fix
  // the clock with settimestampsource.
  static std::string timestamp();
  using TimeSource = std::string (*)();
  static void settimestampsource(TimeSource source);

 private:
  std::vector<std::string> log_;
  std::string line_;   // the line being written, reused so a line costs no allocation of its own
  std::string stamp_;  // a test clock's time stamp
  TSink sink_;
  TLogFileWriter* file_ = nullptr;
  bool keeplines_ = true;
  size_t maxloglines_ = kMaxLogLines;
  bool logcut_ = false;
  std::vector<TResultLine> results_;
  uint64_t loggen_ = 0;
  uint64_t resultgen_ = 0;
};
