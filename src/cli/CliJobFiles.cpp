// The files a command line names: the outputs it writes (checked before anything runs, so that a
// refused command line has touched nothing), the stored results and the URL list it reads.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "cli/JobParts.h"
#include "cli/OutputPaths.h"
#include "cli/OutputTable.h"
#include "report/Baseline.h"
#include "report/OutputFile.h"
#include "results/LogFile.h"
#include "settings/UrlListFile.h"

void fail(const std::string& option, const std::string& problem) {
  throw TBadInput{option + ": " + problem};
}

std::string quoted(const std::string& s) {
  return "\"" + s + "\"";
}

std::string inputproblem(int error, const std::string& path, TFileKinds kinds, size_t maxbytes) {
  switch (error) {
    case EISDIR:
      return quoted(path) + " is a directory, not a file";
    case EINVAL:
      return quoted(path) + " is not a regular file" +
             (kinds == TFileKinds::RegularOrStdin ? " (give \"-\" for standard input)" : "");
    case ENODEV:
      return quoted(path) + " is a device, not a file";
    case EFBIG:
      return quoted(path) + " is larger than " + std::to_string(maxbytes >> 20) +
             " MiB, more than this input can be";
    default:
      return "cannot read " + quoted(path) + ": " + std::strerror(error);
  }
}

std::string readinput(const std::string& option, const std::string& path, TFileKinds kinds,
                      size_t maxbytes) {
  std::string bytes;
  const int error = readwholefile(path, bytes, kinds, maxbytes);
  if (error != 0) fail(option, inputproblem(error, path, kinds, maxbytes));
  return bytes;
}

std::string outputproblem(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return quoted(path) + " is a directory, not a file";
    if (access(path.c_str(), W_OK) != 0) {
      return "cannot write " + quoted(path) + ": " + std::strerror(errno);
    }
  }
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    return "the directory " + quoted(dir) + " does not exist";
  }
  if (access(dir.c_str(), W_OK | X_OK) != 0) {
    return "cannot write into " + quoted(dir) + ": " + std::strerror(errno);
  }
  return std::string();
}

void takeoutputs(const TCliOptions& o, TCliJob& job) {
  // The outputs given, in the table's order.
  std::vector<std::pair<const char*, std::string>> outs;
  for (const TOutputFormat& f : outputformats()) {
    const auto given = o.outputs.find(f.option);
    if (given == o.outputs.end() || !given->second) continue;
    const std::string& value = *given->second;
    if (value.empty()) fail(f.option, "needs a file name");
    if (value == "-") {
      if (!f.tostdout) fail(f.option, "cannot write to stdout; give a file name");
    } else if (outputdescriptor(value) < 0) {
      std::string problem = outputproblem(value);
      if (!problem.empty()) fail(f.option, problem);
    }
    job.outputs[f.option] = value;
    outs.emplace_back(f.option, value);
  }
  if (o.outputdir) {
    const std::string& dir = *o.outputdir;
    if (dir.empty()) fail("--output-dir", "needs a directory name");
    struct stat st {};
    if (stat(dir.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) fail("--output-dir", quoted(dir) + " is a file, not a directory");
      if (access(dir.c_str(), W_OK | X_OK) != 0) {
        fail("--output-dir", "cannot write into " + quoted(dir) + ": " + std::strerror(errno));
      }
    }
    job.outputdir = dir;
  }
  // One file under two spellings would be written twice, and one of the outputs lost. A
  // descriptor (stdout, /dev/fd/N) is one stream however it is spelled.
  std::vector<std::pair<std::string, std::string>> files;  // resolved path, what writes it
  if (o.merge.empty() && !o.report) {
    const std::string dir = logdirfor(job.outputdir) + "/";
    for (const char* name : {resultsfilename, detailedfilename, "temp.htm"})
      files.emplace_back(resolvedoutput(dir + name), quoted(name));
  }
  for (const auto& [option, value] : outs) {
    const int fd = outputdescriptor(value);
    if (fd == STDOUT_FILENO) job.stdoutoutput = true;
    const std::string file = fd >= 0 ? "descriptor " + std::to_string(fd) : resolvedoutput(value);
    for (const auto& [other, what] : files) {
      if (other != file) continue;
      if (fd == STDOUT_FILENO) fail(option, "only one output can go to stdout");
      fail(option, quoted(value) + " is the same file as " + what);
    }
    files.emplace_back(file, option);
  }
}

std::shared_ptr<const TStoredResult> takeresult(const std::string& option,
                                                const std::string& path) {
  auto result = std::make_shared<TStoredResult>();
  std::string problem;
  const std::string text = readinput(option, path, TFileKinds::RegularOrStdin, kMaxResultBytes);
  if (!parsestoredresult(path, text, *result, problem)) fail(option, problem);
  return result;
}

void takebaseline(const TCliOptions& o, TCliJob& job, const TestSettings* now) {
  if (o.maxregression) {
    if (!o.baseline) fail("--max-regression", "needs --baseline FILE");
    job.maxregression = decimal("--max-regression", *o.maxregression, 0, 1e6);
  }
  if (!o.baseline) return;
  if (o.segment || o.segments) {
    fail("--baseline", "a segment is part of a test: compare the merged result (--merge)");
  }
  job.baseline = *o.baseline;
  job.baselineresult = takeresult("--baseline", job.baseline);
  // One segment holds a share of the users only: set against a whole test, every figure misleads.
  if (const TReportInfo& b = job.baselineresult->info; b.segments > 1) {
    fail("--baseline", quoted(job.baseline) + " is segment " + std::to_string(b.segment) + "/" +
                           std::to_string(b.segments) + " of a split test: give the merged result");
  }
  const std::string problem = now ? baselinemismatch(job.baselineresult->info, *now) : "";
  if (!problem.empty())
    fail("--baseline", "cannot compare with " + quoted(job.baseline) + ": " + problem);
}

// The URL, or the URL list with only the lines the test's users take (user k takes line
// ((k - 1) mod lines) + 1): the rest of a long file is checked but not kept, nor listed in the
// outputs. Needs the number of users.
void takeurls(const TCliOptions& o, TCliJob& job) {
  TestSettings& s = job.settings;
  const char* option = o.urlsfile ? "--urls" : "--settings";
  bool any = false;
  auto check = [&](size_t number, std::string_view line) {
    if (line.empty()) return;
    any = true;
    const std::string url(line);
    if (std::string problem = urlproblem(url); !problem.empty()) {
      fail(option, "line " + std::to_string(number) + ": " + quoted(url) + " " + problem);
    }
  };
  const size_t used = size_t(s.users);
  if (o.urlsfile) {
    if (!o.url.empty()) fail("--urls", "give either a URL or --urls FILE, not both");
    job.urls = firsturllines(readinput("--urls", *o.urlsfile), used, check);
    s.multipleurls = true;
  } else if (!o.url.empty()) {
    s.url = o.url;
    s.multipleurls = false;
  } else if (s.multipleurls) {
    for (size_t i = 0; i < job.urls.size(); ++i) check(i + 1, job.urls[i]);
    if (job.urls.size() > used) job.urls.resize(used);
  }
  if (s.multipleurls) {
    if (!any) fail(option, "the URL list holds no URL");
  } else {
    if (s.url.empty()) fail("url", "no URL to test (see --help)");
    std::string problem = urlproblem(s.url);
    if (!problem.empty()) fail("url", quoted(s.url) + " " + problem);
  }
}
