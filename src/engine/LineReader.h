#pragma once
// Reading users.txt and cookies.txt: text files taken line by line, one line per user.

#include <fstream>
#include <string>

// Reads a text file line by line; lines end at LF, with a CR before it dropped, and a UTF-8 byte
// order mark at the start of the file is skipped. Reading past the end gives an empty line.
class TLineReader {
 public:
  // False when path is not a regular file or cannot be opened.
  bool open(const std::string& path);
  bool eof();
  std::string readln();

 private:
  std::ifstream in_;
};

// A users.txt line split into user name and password at its first "@@"; a line without one is
// a user name without password.
struct TUserLine {
  std::string username, password;
};
TUserLine splituserline(const std::string& line);
