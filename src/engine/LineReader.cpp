#include "engine/LineReader.h"

#include <sys/stat.h>

bool TLineReader::open(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  in_.open(path, std::ios::binary);
  if (!in_) return false;
  // Editors that save "UTF-8 with BOM" put three bytes before the first line: they belong to no
  // user name, password or cookie.
  char bom[3] = {};
  in_.read(bom, 3);
  if (!(in_.gcount() == 3 && bom[0] == '\xEF' && bom[1] == '\xBB' && bom[2] == '\xBF')) {
    in_.clear();
    in_.seekg(0);
  }
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
