#pragma once
// Reading users.txt and cookies.txt: text files taken line by line, one line per user.

#include <string>
#include <vector>

// Reads a text file line by line, with the line rules of splitlines (common/Text.h). The file is
// read whole when opened: a run takes its lines from what the file held at its start.
class TLineReader {
 public:
  // False when path is not a regular file or cannot be read.
  bool open(const std::string& path);
  bool eof() const { return next_ >= lines_.size(); }
  // The next line; reading past the end gives an empty line.
  std::string readln();

 private:
  std::vector<std::string> lines_;
  size_t next_ = 0;
};

// A users.txt line split into user name and password at its first "@@"; a line without one is
// a user name without password.
struct TUserLine {
  std::string username, password;
};
TUserLine splituserline(const std::string& line);
