#pragma once
// Where the files of a test go, and writing the two log files. The window and the command line
// both save from the log model through these, so they write identical files.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "results/LogModel.h"

// File names of the two logs written at the end of a test.
inline constexpr const char* resultsfilename = "Pressbolt Results.log";
inline constexpr const char* detailedfilename = "Pressbolt Detailed Results.log";

// Directory of the running program file (/proc/self/exe) with a trailing "/"; "./" when the
// link cannot be read.
std::string programdir();

// $XDG_DATA_HOME/pressbolt/ (an absolute XDG_DATA_HOME only; else ~/.local/share/pressbolt/),
// with a trailing "/". Not created.
std::string datadir();

// True for the directories an installed program lives in (/usr/..., /bin, /sbin, /opt/...):
// files of a test never go there, even when a root user could write them.
bool issystemdir(const std::string& dir);

// Directory for the log files and temp.htm: programdir() when it is writable and not a system
// directory (an installed program), else datadir(),
// created if missing. When the fallback is taken, *note (if given) receives a line for the log
// saying where the files go; otherwise it is emptied.
std::string outputdir(std::string* note = nullptr);
// The same choice for a given preferred directory (with its trailing "/").
std::string outputdirfor(const std::string& preferred, std::string* note = nullptr);

// The file a path names: for a symbolic link, the file it resolves to (so that replacing it keeps
// the link a link); otherwise, or when it cannot be resolved, the path itself.
std::string linktarget(const std::string& path);

// Writes every byte of bytes to fd, through short writes and interruptions. On failure returns
// false with errno telling why (EIO when the system wrote nothing and gave no reason).
bool writeall(int fd, const std::string& bytes);

// A log file written through a temporary file beside it and renamed into place only when every
// byte reached the disk, so a full disk or a crash leaves the previous file as it was. A device or
// pipe given as the path is written in place.
class TLogFileWriter {
 public:
  TLogFileWriter() = default;
  // Discards what was not committed.
  ~TLogFileWriter();
  TLogFileWriter(const TLogFileWriter&) = delete;
  TLogFileWriter& operator=(const TLogFileWriter&) = delete;

  // Creates the temporary file for path. On failure returns false with error = "Cannot create
  // file \"path\". " + the system's reason.
  bool open(const std::string& path, std::string& error);
  bool isopen() const { return fd_ >= 0; }
  // Appends the line and CR LF (buffered). After a write error the rest is dropped; commit tells.
  void append(const std::string& line);
  // Appends stamp, ": ", text and CR LF: a time-stamped log line, without putting it together
  // first (the detailed log takes a line per request event).
  void appendstamped(std::string_view stamp, std::string_view text);
  // Writes what is buffered, closes and renames the file into place. On failure returns false
  // with error = "Cannot write file \"path\". " + the reason, removes the temporary file and
  // leaves the previous file untouched.
  bool commit(std::string& error);
  // Removes the temporary file; the previous file stays.
  void discard();

 private:
  bool flush();
  // Room for n more bytes at the block's end; a full block is written first.
  char* room(size_t n) {
    if (blockused_ + n > blocksize_) makeroom(n);
    char* at = block_.get() + blockused_;
    blockused_ += n;
    return at;
  }
  // Writes the block, and gives it room for n bytes when it has less.
  void makeroom(size_t n);

  std::string path_;    // as given, for messages
  std::string target_;  // the file renamed over (a link's target)
  std::string temp_;    // empty when written in place
  int tempslot_ = -1;   // temp_ on the list a forced exit removes
  // Bytes not yet written: a plain buffer, filled by copies of known length.
  std::unique_ptr<char[]> block_;
  size_t blockused_ = 0;
  size_t blocksize_ = 0;
  int fd_ = -1;
  int errno_ = 0;  // the first write error
};

// True when a file can be created in dir; otherwise false with reason (the system's message).
bool canwritein(const std::string& dir, std::string& reason);

// Writes each line followed by CR LF, replacing the file as a whole (never appending) through
// TLogFileWriter. On failure returns false with error = "Cannot create file \"path\". " + the
// system's reason (or "Cannot write file ..." when writing failed part way).
bool savelines(const std::string& path, const std::vector<std::string>& lines, std::string& error);

// The "Results" view as a file: the lines' texts without bold or colour, as savelines writes.
bool saveresults(const std::string& path, const std::vector<TResultLine>& lines,
                 std::string& error);
