// A socket's events recorded as text lines, and a socket aimed at a loopback port: what the
// socket tests share.

#pragma once

#include <string>
#include <vector>

#include "net/WSocket.h"

// Records every event of a socket as one text line, in order.
struct TRecorder {
  std::vector<std::string> events;
  void attach(TWSocket& s) {
    s.OnChangeState = [this](TWSocket*, TSocketState o, TSocketState n) {
      events.push_back("state " + std::to_string(o) + "->" + std::to_string(n));
    };
    s.OnSessionConnected = [this](TWSocket*, uint16_t e) {
      events.push_back("connected " + std::to_string(e));
    };
    s.OnSessionClosed = [this](TWSocket*, uint16_t e) {
      events.push_back("closed " + std::to_string(e));
    };
  }
};

inline void prepare(TWSocket& s, const std::string& port) {
  s.SetAddr("127.0.0.1");
  s.SetPort(port);
  s.SetProto("tcp");
}
