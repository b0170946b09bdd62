#include "engine/FirstResponse.h"

#include <algorithm>

TSourceView sourceview(const std::string& body) {
  TSourceCounter counter;
  counter.add(body.data(), body.size());
  return counter.view();
}

void TSourceCounter::put(const char* data, size_t size) {
  length_ += size;
  if (head_.size() < kViewChars) head_.append(data, std::min(size, kViewChars - head_.size()));
}

void TSourceCounter::add(const char* data, size_t size) {
  bytes_ += size;
  // Lines end at LF, CR LF or a lone CR, as a text file reader splits them; each becomes CR LF.
  const char* end = data + size;
  while (data < end) {
    if (pendingcr_ && *data == '\n') {
      pendingcr_ = false;
      ++data;
      continue;
    }
    pendingcr_ = false;
    if (*data == '\r' || *data == '\n') {
      pendingcr_ = *data == '\r';
      put("\r\n", 2);
      openline_ = false;
      ++data;
      continue;
    }
    const char* stop = std::find_if(data, end, [](char c) { return c == '\r' || c == '\n'; });
    put(data, static_cast<size_t>(stop - data));
    openline_ = true;
    data = stop;
  }
}

TSourceView TSourceCounter::view() const {
  std::string text = head_;
  size_t length = length_;
  if (openline_) {
    // The last line gets the line end a reader would give it.
    length += 2;
    text.append("\r\n", std::min<size_t>(2, kViewChars - std::min(kViewChars, text.size())));
  }
  TSourceView view;
  view.length = length;
  view.bytes = bytes_;
  const std::string rule(44, '-');
  if (view.length > kViewChars) {
    view.text = "HTML Source (" + std::to_string(view.length) +
                " Bytes) truncated to 31kb by Pressbolt\r\n" + rule + "\r\n" + text +
                "\r\ntruncated by Pressbolt";
  } else {
    view.text =
        "HTML Source (" + std::to_string(view.length) + " Bytes)\r\n" + rule + "\r\n" + text;
  }
  size_t nul = view.text.find('\0');
  if (nul != std::string::npos) view.text.resize(nul);
  return view;
}

std::unique_ptr<TFirstResponseFile> TFirstResponseFile::Create(const std::string& path,
                                                               std::string& error, int64_t keep) {
  std::unique_ptr<TFileStream> file = TFileStream::Create(path, error);
  if (!file) return nullptr;
  return std::unique_ptr<TFirstResponseFile>(new TFirstResponseFile(std::move(file), keep));
}

int64_t TFirstResponseFile::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  source_.add(static_cast<const char*>(buffer), static_cast<size_t>(count));
  if (received_ < keep_) file_->Write(buffer, std::min(count, keep_ - received_));
  received_ += count;
  return count;
}
