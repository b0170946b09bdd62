#include "http/HeaderList.h"

#include <algorithm>

THeaderList::THeaderList(std::initializer_list<std::string_view> lines) {
  for (std::string_view line : lines) push_back(line);
}

void THeaderList::push_back(std::string_view line) {
  // Room for a usual header at once, instead of growing with each line.
  if (ends_.capacity() == 0) {
    ends_.reserve(16);
    text_.reserve(512);
  }
  text_.append(line);
  ends_.push_back(text_.size());
}

void THeaderList::clear() {
  text_.clear();
  ends_.clear();
}

bool operator==(const THeaderList& a, const THeaderList& b) {
  return a.ends_ == b.ends_ && a.text_ == b.text_;
}

bool operator==(const THeaderList& a, const std::vector<std::string>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](std::string_view x, const std::string& y) { return x == y; });
}
