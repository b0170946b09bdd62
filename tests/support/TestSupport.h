#pragma once
// Helpers shared by the test programs.

#include <string>

// A fresh directory under the system's temporary directory, removed with everything in it when
// the object goes away.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string& name) const;

 private:
  std::string path_;
};

// Whole file as bytes ("" when it cannot be read), and a file written with the given bytes.
std::string readfile(const std::string& path);
void writefile(const std::string& path, const std::string& bytes);
