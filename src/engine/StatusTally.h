#pragma once
// The status-code tally of a run: distinct codes in the order they first occurred, each with its
// count. A run starts with the single entry 200 / 0, so 200 is always listed first.

#include <cstddef>
#include <cstdint>
#include <vector>

class TStatusTally {
 public:
  TStatusTally() { reset(); }
  // Back to the single entry: code 200 with count 0.
  void reset();
  // Counts one completed request with this code.
  void statusadd(int code);

  int statuscodecount() const { return static_cast<int>(statuscodes_.size()); }
  // Entries are numbered from 1, as the logs count them.
  int statuscodes(int i) const { return statuscodes_[static_cast<size_t>(i - 1)]; }
  int statuscounts(int i) const { return statuscounts_[static_cast<size_t>(i - 1)]; }
  // Requests whose code is not 200 (time-outs included).
  int errors() const;

 private:
  // Grows as needed: a status line can carry any three characters, so no fixed limit is safe.
  std::vector<int32_t> statuscodes_;
  std::vector<int32_t> statuscounts_;
};
