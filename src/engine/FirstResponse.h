#pragma once
// The texts shown for the first response of a test: the "Source (1st Req.)" view and the
// glossary that ends the results.

#include <cstddef>
#include <string>

struct TSourceView {
  std::string text;   // the view's whole text
  size_t length = 0;  // characters of the response with every line end made CR LF
};

// The source view of a response body: its lines joined again with CR LF after each; over 31000
// characters it is cut with a "truncated" head and foot; the text ends at its first zero byte.
TSourceView sourceview(const std::string& body);

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
