#include "cli/OutputPaths.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "results/LogFile.h"

std::string resolvedoutput(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  if (ec) return path;
  std::filesystem::path resolved = std::filesystem::weakly_canonical(p, ec);
  return ec ? p.lexically_normal().string() : resolved.string();
}

std::string logdirfor(const std::string& outputdir) {
  if (!outputdir.empty()) return outputdir;
  const std::string dir = programdir();
  if (issystemdir(dir) || ::access(dir.c_str(), W_OK | X_OK) != 0) return datadir();
  return dir;
}
