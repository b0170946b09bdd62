// The settings file reader on arbitrary bytes, as a profile file and as the program's stored
// settings: no crash, values within their limits, a file written back reads the same, and no
// value can add lines of its own.

#include <cstddef>
#include <cstdint>
#include <string>

#include "MemFile.h"
#include "settings/ProfileFile.h"
#include "settings/StoredSettings.h"

namespace {

TProfileFile loaded(const std::string& bytes) {
  TMemFile file(bytes.data(), bytes.size());
  TProfileFile f(file.path());
  f.load();
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  TProfileFile f = loaded(bytes);
  for (const char* section : {"Data", "data", "Window", ""}) {
    for (const std::string& key : f.keys(section)) {
      // A value is read whole: never longer than the input that holds it, never a line of its own.
      std::string v = f.readstring(section, key, "");
      check(v.size() <= bytes.size());
      check(v.find('\n') == std::string::npos);
      f.readinteger(section, key, 7);
      f.readbool(section, key, false);
    }
  }
  {
    TMemFile file(bytes.data(), bytes.size());
    TStoredSettings st = readstoredsettings(file.path());
    check(st.users >= 1 && st.users <= 20000 && st.runs >= 1 && st.runs <= 65536);
    check(st.waitperrun >= 0 && st.waitperrun <= 10000);
  }
  // What is written reads back the same.
  const std::string text = f.text();
  check(loaded(text).text() == text);

  // The input's first half as a value: stored up to its first line break, never as new lines.
  std::string value = bytes.substr(0, size / 2);
  f.writestring("Data", "Fuzzed", value);
  TProfileFile again = loaded(f.text());
  auto back = again.find("Data", "Fuzzed");
  check(back.has_value());
  check(back->find_first_of("\r\n") == std::string::npos);
  check(again.keys("Data").size() == f.keys("Data").size());
  return 0;
}
