#pragma once
// A client whose receive path the tests drive directly: bytes in reads of any size, and the close
// as the socket would report it, with no network involved.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "http/HttpProt.h"

class TProbe : public THttpCli {
 public:
  explicit TProbe(TEventLoop& loop) : THttpCli(loop) {}
  using THttpCli::ExpectResponse;
  using THttpCli::ResponseClosed;
  int Closes = 0;
  std::vector<std::string>* Log = nullptr;

  // Feeds bytes in reads of at most step bytes.
  void Feed(const std::string& bytes, size_t step) {
    for (size_t at = 0; at < bytes.size(); at += step) {
      std::string piece = bytes.substr(at, step);
      Read(piece);
    }
  }
  // Every byte, in reads of at most step bytes and at most what the client has room for.
  void Stream(const std::string& bytes, size_t step) {
    size_t at = 0;
    while (at < bytes.size()) {
      size_t n = 0;
      ReadResponse([&](char* to, int room) {
        n = std::min({size_t(room), step, bytes.size() - at});
        std::memcpy(to, bytes.data() + at, n);
        return int(n);
      });
      if (n == 0) return;
      at += n;
    }
  }
  // One read of exactly these bytes (as far as they fit).
  void Read(const std::string& piece) {
    ReadResponse([&](char* to, int room) {
      int n = std::min<int>(room, int(piece.size()));
      std::memcpy(to, piece.data(), size_t(n));
      return n;
    });
  }

 protected:
  void CloseConnection() override {
    ++Closes;
    if (Log != nullptr) Log->push_back("Close");
    THttpCli::CloseConnection();
  }
};
