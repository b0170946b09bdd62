#pragma once
// The pieces resolvejob() is made of that live in files of their own: each check throws
// TBadInput with one line naming the option, caught by resolvejob.

#include <memory>
#include <string>

#include "cli/CliJob.h"
#include "common/WholeFile.h"
#include "report/StoredResult.h"

struct TBadInput {
  std::string text;
};

[[noreturn]] void fail(const std::string& option, const std::string& problem);
std::string quoted(const std::string& s);
// A decimal number with an optional fraction ("2", "0.5"), at least min and at most max.
double decimal(const std::string& option, const std::string& text, double min, double max);

// What keeps path from being read, from readwholefile's error (not 0): "\"x\" is a device, not
// a file", "\"x\" is larger than 512 MiB, more than this input can be", "cannot read ...".
std::string inputproblem(int error, const std::string& path, TFileKinds kinds, size_t maxbytes);

// The bytes of the file an option names, of the kinds it accepts; anything else is refused with
// what the file is ("is a device, not a file", "is larger than 512 MiB").
std::string readinput(const std::string& option, const std::string& path,
                      TFileKinds kinds = TFileKinds::AnyReadable, size_t maxbytes = kMaxInputBytes);

// --json, --requests-csv, --html and --output-dir: each writable, no two of them one file.
void takeoutputs(const TCliOptions& o, TCliJob& job);

// The URL, or the lines of the URL list the test's users take (needs the number of users).
void takeurls(const TCliOptions& o, TCliJob& job);

// --baseline and --max-regression. now: the settings of the result to compare, when known
// before it is made.
void takebaseline(const TCliOptions& o, TCliJob& job, const TestSettings* now);

// A stored result read whole: a file that is no result of ours is bad input like any other.
std::shared_ptr<const TStoredResult> takeresult(const std::string& option, const std::string& path);
