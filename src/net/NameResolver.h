#pragma once
// Where host names become IPv4 addresses: the system's resolver, unless a program (a test) has
// installed one with fixed answers, so that no query leaves the machine.

#include <functional>
#include <string>
#include <vector>

// Fills addresses (dotted IPv4) for host and returns 0, or returns a Winsock-numbered lookup
// error (11001 host not found, 11002 try again ...).
using TNameResolver =
    std::function<int(const std::string& host, std::vector<std::string>& addresses)>;

// Every lookup of this process asks resolver from now on (an empty one: the system again).
// Lookups run on the loop's thread, so it is called there, and synchronously.
void setnameresolver(TNameResolver resolver);
// The installed resolver; empty when the system's answers.
const TNameResolver& nameresolver();
