#include "engine/LineReader.h"

#include <sys/stat.h>

bool TLineReader::open(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  in_.open(path, std::ios::binary);
  return static_cast<bool>(in_);
}

bool TLineReader::eof() {
  return !in_ || in_.peek() == std::char_traits<char>::eof();
}

std::string TLineReader::readln() {
  std::string line;
  if (!in_ || !std::getline(in_, line)) return std::string();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

TUserLine splituserline(const std::string& line) {
  size_t sep = line.find("@@");
  if (sep == std::string::npos) return {line, std::string()};
  return {line.substr(0, sep), line.substr(sep + 2)};
}
