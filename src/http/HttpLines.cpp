#include "http/HttpLines.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// Storage given back by finished responses, kept for the next ones on this thread: a load test
// ends and starts thousands of requests a second, and taking a block of this size from the heap
// and giving it back costs more than splitting the whole header. A client gives its block back
// as soon as a read leaves no unfinished line, so a few kept blocks serve all clients.
constexpr size_t MaxSpareBuffers = 16;
std::vector<std::unique_ptr<char[]>>& sparebuffers() {
  thread_local std::vector<std::unique_ptr<char[]>> spare;
  return spare;
}

}  // namespace

char* TReceiveBuffer::Reserve(int& free) {
  if (!data_) {
    auto& spare = sparebuffers();
    if (spare.empty()) {
      data_.reset(new char[Capacity + 1]);
    } else {
      data_ = std::move(spare.back());
      spare.pop_back();
    }
    // Only the zero byte is written: the rest is touched only as far as data arrive.
    data_[0] = 0;
  }
  if (start_ > 0) {
    std::memmove(data_.get(), data_.get() + start_, size_t(count_) + 1);  // with the zero byte
    start_ = 0;
  }
  free = Capacity - count_;
  return data_.get() + count_;
}

void TReceiveBuffer::Commit(int n) {
  if (n <= 0 || !data_) return;
  if (n > Capacity - start_ - count_) n = Capacity - start_ - count_;
  count_ += n;
  data_[start_ + count_] = 0;
}

void TReceiveBuffer::TakeAll(std::string& out) {
  out.assign(Data(), size_t(count_));
  Clear();
}

void TReceiveBuffer::Clear() {
  start_ = 0;
  count_ = 0;
  if (data_) data_[0] = 0;
}

void TReceiveBuffer::Release() {
  if (count_ != 0) return;
  auto& spare = sparebuffers();
  if (data_ && spare.size() < MaxSpareBuffers) spare.push_back(std::move(data_));
  data_.reset();
  start_ = 0;
}

bool statuscode(const std::string& line, int& code) {
  // Nearly every status line has three digits there, which decimal would read the same way.
  if (line.size() >= 12 && unsigned(line[9] - '0') < 10 && unsigned(line[10] - '0') < 10 &&
      unsigned(line[11] - '0') < 10) {
    code = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    return true;
  }
  int64_t v;
  if (line.size() <= 9 || !decimal(std::string_view(line).substr(9, 3), v)) return false;
  code = int(v);  // at most three characters: always fits
  return true;
}

bool decimal(std::string_view text, int64_t& value) {
  // Nearly every text is digits alone, too few to overflow: read directly, the same value.
  if (!text.empty() && text.size() <= 18) {
    int64_t v = 0;
    size_t i = 0;
    for (; i < text.size() && unsigned(text[i] - '0') < 10; ++i) v = v * 10 + (text[i] - '0');
    if (i == text.size()) {
      value = v;
      return true;
    }
  }
  text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
  // from_chars reads a minus sign but not a plus sign.
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return false;
  }
  int64_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  value = v;
  return true;
}
