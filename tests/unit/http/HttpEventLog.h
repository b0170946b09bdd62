#pragma once
// Records every event of a THttpCli as a short text, in firing order, so tests compare whole
// sequences. Consecutive document chunks collapse into one "DocData" entry (how a response is cut
// into reads is up to the network); their bytes are kept in Doc.

#include <string>
#include <vector>

#include "http/HttpProt.h"

inline const char* statename(THttpClientState s) {
  static const char* names[] = {"hsReady",      "hsStarting",      "hsConnected",   "hsDnsLookup",
                                "hsConnecting", "hsWaitingHeader", "hsWaitingBody", "hsAborting"};
  return names[s];
}

struct THttpEventLog {
  std::vector<std::string> Events;
  std::string Doc;   // every document byte
  std::string Sent;  // every POST byte announced by OnSendData
  int DocChunks = 0;
  int Done = 0;        // OnRequestDone count
  uint16_t Error = 0;  // last OnRequestDone Error

  void Attach(THttpCli& c) {
    c.OnStateChange = [this](THttpCli* s) { add(std::string("State ") + statename(s->State())); };
    c.OnSessionConnected = [this](THttpCli*) { add("SessionConnected"); };
    c.OnRequestHeaderBegin = [this](THttpCli*) { add("RequestHeaderBegin"); };
    c.OnCommand = [this](THttpCli*, const std::string& s) { add("Command " + s); };
    c.OnRequestHeaderEnd = [this](THttpCli*) { add("RequestHeaderEnd"); };
    c.OnSendBegin = [this](THttpCli*) { add("SendBegin"); };
    c.OnSendData = [this](THttpCli*, const char* b, int n) {
      Sent.append(b, size_t(n));
      add("SendData");
    };
    c.OnSendEnd = [this](THttpCli*) { add("SendEnd"); };
    c.OnHeaderBegin = [this](THttpCli*) { add("HeaderBegin"); };
    c.OnHeaderData = [this](THttpCli* s) { add("HeaderData " + s->LastLine); };
    c.OnHeaderEnd = [this](THttpCli*) { add("HeaderEnd"); };
    c.OnDocBegin = [this](THttpCli*) { add("DocBegin"); };
    c.OnDocData = [this](THttpCli*, const char* b, int n) {
      Doc.append(b, size_t(n));
      ++DocChunks;
      if (Events.empty() || Events.back() != "DocData") add("DocData");
    };
    c.OnDocEnd = [this](THttpCli*) { add("DocEnd"); };
    c.OnLocationChange = [this](THttpCli*) { add("LocationChange"); };
    c.OnRequestDone = [this](THttpCli*, THttpRequest rq, uint16_t error) {
      ++Done;
      Error = error;
      add("RequestDone " + std::to_string(int(rq)) + " " + std::to_string(error));
    };
  }
  void add(const std::string& e) { Events.push_back(e); }
};
