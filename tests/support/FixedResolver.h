#pragma once
// Name lookups answered from a table while the object lives, so that no test sends a query to
// the machine's resolver (which is not on loopback, and answers differently offline).

#include <arpa/inet.h>

#include <map>
#include <string>
#include <vector>

#include "net/NameResolver.h"

class TFixedResolver {
 public:
  // A dotted address is itself, "localhost" is 127.0.0.1; a name in errors fails with its code; any other name is not found
  // (11001). Every name asked is kept in asked.
  explicit TFixedResolver(std::map<std::string, int> errors = {}) : errors_(std::move(errors)) {
    setnameresolver([this](const std::string& host, std::vector<std::string>& addresses) {
      asked.push_back(host);
      in_addr numeric{};
      if (inet_pton(AF_INET, host.c_str(), &numeric) == 1) {
        addresses = {host};
        return 0;
      }
      if (host == "localhost") {
        addresses = {"127.0.0.1"};
        return 0;
      }
      auto it = errors_.find(host);
      return it == errors_.end() ? 11001 : it->second;
    });
  }
  ~TFixedResolver() { setnameresolver(nullptr); }
  TFixedResolver(const TFixedResolver&) = delete;
  TFixedResolver& operator=(const TFixedResolver&) = delete;

  std::vector<std::string> asked;

 private:
  std::map<std::string, int> errors_;
};
