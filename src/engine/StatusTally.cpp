#include "engine/StatusTally.h"

void TStatusTally::reset() {
  statuscodes_.assign(1, 200);
  statuscounts_.assign(1, 0);
}

void TStatusTally::statusadd(int code) {
  for (size_t i = 0; i < statuscodes_.size(); ++i) {
    if (statuscodes_[i] == code) {
      ++statuscounts_[i];
      return;
    }
  }
  statuscodes_.push_back(code);
  statuscounts_.push_back(1);
}

int TStatusTally::errors() const {
  int n = 0;
  for (size_t i = 0; i < statuscodes_.size(); ++i) {
    if (statuscodes_[i] != 200) n += statuscounts_[i];
  }
  return n;
}
