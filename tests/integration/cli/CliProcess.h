#pragma once
// pressbolt-cli as a child process: arguments as a shell would split them, stdin given, stdout and
// stderr captured into files of the test's directory, and the process id for signals.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/TestSupport.h"

class TCliProcess {
 public:
  // Starts "pressbolt-cli args" (args shell-quoted) in dir with input on stdin.
  TCliProcess(const TTempDir& dir, const std::string& args, const std::string& input = "",
              const std::string& stdoutpath = "")
      : dir_(dir) {
    writefile(dir.file(".stdin"), input);
    std::string out = stdoutpath.empty() ? "'" + dir.file(".stdout") + "'" : stdoutpath;
    std::string cmd = "cd '" + dir.path() + "' && exec '" PRESSBOLT_CLI_PATH "' " + args + " < '" +
                      dir.file(".stdin") + "' > " + out + " 2> '" + dir.file(".stderr") + "'";
    pid_ = fork();
    if (pid_ == 0) {
      execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~TCliProcess() {
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      wait();
    }
  }
  TCliProcess(const TCliProcess&) = delete;
  TCliProcess& operator=(const TCliProcess&) = delete;

  pid_t pid() const { return pid_; }
  void signal(int sig) { kill(pid_, sig); }
  // The exit status; 128 + the signal when a signal ended it.
  int wait() {
    if (status_ >= 0) return status_;
    int st = 0;
    waitpid(pid_, &st, 0);
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return status_;
  }
  // Waits until file exists and holds text (times times), at most seconds; true when it did.
  bool waitfor(const std::string& file, const std::string& text, double seconds = 20,
               size_t times = 1) const {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
      if (access(file.c_str(), F_OK) == 0 && occurrences(readfile(file), text) >= times) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  std::string out() const { return readfile(dir_.file(".stdout")); }
  static size_t occurrences(const std::string& in, const std::string& text) {
    size_t n = 0;
    for (size_t at = in.find(text); at != std::string::npos; at = in.find(text, at + 1)) ++n;
    return n;
  }
  std::string err() const { return readfile(dir_.file(".stderr")); }

 private:
  const TTempDir& dir_;
  pid_t pid_ = -1;
  int status_ = -1;
};

// s in single quotes for the shell (URLs with "&" or "?").
inline std::string quoted(const std::string& s) {
  return "'" + s + "'";
}

// Runs pressbolt-cli to its end.
struct TCliResult {
  int status;
  std::string out, err;
};
inline TCliResult clirun(const TTempDir& dir, const std::string& args,
                         const std::string& input = "") {
  TCliProcess p(dir, args, input);
  int status = p.wait();
  return {status, p.out(), p.err()};
}
