// The command-line parser on arbitrary words (the input split at zero bytes): it returns one of
// its documented results and never throws, and hiding the password keeps every word's length.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "MemFile.h"
#include "cli/CliOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> words = {"pressbolt-cli"};
  std::string word;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      words.push_back(word);
      word.clear();
    } else {
      word += static_cast<char>(data[i]);
    }
  }
  words.push_back(word);
  if (words.size() > 64) return 0;
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(words.size());

  TCliOptions o;
  int rc = parseoptions(argc, argv.data(), o);
  check(rc == -1 || rc == kExitOk || rc == kExitBadInput);
  std::vector<size_t> lengths;
  for (int i = 0; i < argc; ++i) lengths.push_back(std::strlen(argv[i]));
  hidepassword(argc, argv.data());
  for (int i = 0; i < argc; ++i) check(std::strlen(argv[i]) == lengths[i]);
  return 0;
}
