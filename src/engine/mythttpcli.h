#pragma once
// mythttpcli: the client of one simulated user for one run — an HTTP client that also knows its
// user number and when its request started.

#include <cstdint>
#include <memory>

#include "http/HttpProt.h"
#include "http/Stream.h"

class mythttpcli : public THttpCli {
 public:
  using THttpCli::THttpCli;

  int32_t requestno = 0;                    // user number 1 .. runusers
  long double starttime = 0;                // elapsedms when the request was started
  size_t slot = 0;                          // position in the engine's client list
  long double firstbyte = -1;               // ms from the start to the first document byte
  int64_t bytes = 0;                        // document bytes received
  std::unique_ptr<TSharedStream> postbody;  // reads the run's one POST body; freed with it
};
