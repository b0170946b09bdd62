#include "stored/ResultFrame.h"

#include <zlib.h>

#include <stdexcept>

#include "http/HttpCodec.h"

std::string gzipbytes(const std::string& json) {
  z_stream z{};
  // 15 + 16: the largest window, with gzip's header and trailer (CRC-32 and length).
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("zlib cannot compress");
  }
  std::string out(deflateBound(&z, json.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(json.data()));
  z.avail_in = static_cast<uInt>(json.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (status != Z_STREAM_END) throw std::runtime_error("zlib cannot compress");
  return out;
}

std::string frameresult(const std::string& json, int segment, int segments,
                        const std::string& testid) {
  const std::string which = std::to_string(segment) + "/" + std::to_string(segments);
  const std::string body = EncodeBase64(gzipbytes(json));
  const size_t lines = body.empty() ? 0 : (body.size() + kFrameLineChars - 1) / kFrameLineChars;
  std::string out = "=== pressbolt result begin segment " + which + " test " + testid + " lines " +
                    std::to_string(lines) + " json-bytes " + std::to_string(json.size()) + " ===\n";
  out.reserve(out.size() + body.size() + lines * (which.size() + 40) + 64);
  for (size_t n = 0; n < lines; ++n) {
    out += "pressbolt-result " + which + " " + std::to_string(n + 1) + "/" + std::to_string(lines) +
           " ";
    out.append(body, n * kFrameLineChars, kFrameLineChars);
    out += "\n";
  }
  return out + "=== pressbolt result end segment " + which + " ===\n";
}

int64_t framedsizeestimate(int64_t requests) {
  // Measured on loopback results: about 22 framed bytes a request (16 compressed, in Base64),
  // where the plain JSON takes about 76. 28 leaves room for times that vary more on a real
  // network; 64 KiB for the rest of the result.
  return requests * 28 + 64 * 1024;
}
