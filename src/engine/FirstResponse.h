#pragma once
// The texts shown for the first response of a test: the "Source (1st Req.)" view and the
// glossary that ends the results.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "http/Stream.h"

struct TSourceView {
  std::string text;   // the view's whole text
  size_t length = 0;  // characters of the response with every line end made CR LF
  size_t bytes = 0;   // bytes of the body as they came
};

// The source view of a response body: its lines joined again with CR LF after each; over 31000
// characters it is cut with a "truncated" head and foot; the text ends at its first zero byte.
TSourceView sourceview(const std::string& body);

// The same view built piece by piece as a response arrives, so the body is never read back:
// only the characters the view can show are kept; the rest is counted.
class TSourceCounter {
 public:
  static constexpr size_t kViewChars = 31000;
  void add(const char* data, size_t size);
  TSourceView view() const;

 private:
  void put(const char* data, size_t size);
  std::string head_;        // the first kViewChars characters of the normalised text
  size_t length_ = 0;       // normalised characters so far
  size_t bytes_ = 0;        // bytes added so far
  bool pendingcr_ = false;  // the last byte was a CR, so an LF next belongs to it
  bool openline_ = false;   // the last line has no line end yet
};

// temp.htm, the body of the first response: written as it arrives, but only up to a limit, so
// that a huge answer cannot fill the disk before the log files are written. Every byte is
// counted and fed to the source view.
class TFirstResponseFile : public TStream {
 public:
  static constexpr int64_t kKeepBytes = 16 * 1024 * 1024;
  // Creates the file anew; null with error (the system's message) when it cannot be created.
  static std::unique_ptr<TFirstResponseFile> Create(const std::string& path, std::string& error,
                                                    int64_t keep = kKeepBytes);
  // Accepts every byte; those past the limit are counted, not written.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Size() const override { return received_; }
  int64_t Position() const override { return received_; }
  void Seek(int64_t) override {}
  // Flushes and closes; false when the kept part could not be written whole.
  bool Close() { return file_->Close(); }
  const std::string& WriteError() const { return file_->WriteError(); }
  int64_t received() const { return received_; }
  int64_t keep() const { return keep_; }
  bool cut() const { return received_ > keep_; }
  TSourceView source() const { return source_.view(); }

 private:
  TFirstResponseFile(std::unique_ptr<TFileStream> file, int64_t keep)
      : file_(std::move(file)), keep_(keep) {}
  std::unique_ptr<TFileStream> file_;
  int64_t keep_;
  int64_t received_ = 0;
  TSourceCounter source_;
};

inline const char* const kGlossary[] = {
    "Average Request Processing Time: The average time the server took to complete a request "
    "(i.e. the time all requests took, divided by the number of requests)",
    "Average User Wait Time: The average time a user had to wait until his own request was "
    "finished when X users send requests simultaneously (i.e. the average time of all single "
    "http requests)",
    "Time to first byte: Time between sending the first request and receiving the first byte at "
    "all from the server",
    "Please note: a server usually processes several requests parallel, but one client only sees "
    "his own request!",
};
