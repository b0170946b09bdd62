// Date texts for any double (NaN, infinities, huge values included) and Base64 of any bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "http/HttpCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  double t = 0;
  std::memcpy(&t, data, size < sizeof t ? size : sizeof t);
  std::string text = FormatHttpDate(t);
  // "Ddd, DD Mon YYYY HH:MM:SS": always 25 characters, whatever the value.
  if (text.size() != 25 || text[3] != ',' || text[19] != ':' || text[22] != ':') std::abort();

  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string b64 = EncodeBase64(bytes);
  if (b64.size() != (size + 2) / 3 * 4) std::abort();
  if (b64.find_first_not_of(
          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=") !=
      std::string::npos) {
    std::abort();
  }
  return 0;
}
