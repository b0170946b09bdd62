// A segment's result framed for a pod log: the lines must reassemble into the JSON, each line
// must be small enough for a pipe to carry whole, and the estimate that warns before a test must
// not fall short of what the frame takes.

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <random>
#include <sstream>

#include "stored/ResultFrame.h"

namespace {

std::string unbase64(const std::string& text) {
  static const std::string alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  uint32_t bits = 0;
  int have = 0;
  for (char c : text) {
    if (c == '=') break;
    bits = (bits << 6) | uint32_t(alphabet.find(c));
    have += 6;
    if (have >= 8) {
      have -= 8;
      out += char((bits >> have) & 0xFF);
    }
  }
  return out;
}

std::string gunzip(const std::string& bytes) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
  std::string out(1 << 20, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = uInt(bytes.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

// A result of n requests much like the command line writes: numbers that vary.
std::string samplejson(int n) {
  std::mt19937 random(7);
  std::ostringstream s;
  s << "{\"runs\":[{\"requests\":{\"wait_ms\":[";
  for (int i = 0; i < n; ++i) s << (i ? "," : "") << 20 + random() % 400000 / 1000.0;
  s << "],\"start_ms\":[";
  for (int i = 0; i < n; ++i) s << (i ? "," : "") << random() % 30000 / 1000.0;
  s << "],\"user\":[";
  for (int i = 0; i < n; ++i) s << (i ? "," : "") << 3 * i + 2;
  s << "]}}]}\n";
  return s.str();
}

}  // namespace

TEST(ResultFrame, LinesReassembleIntoTheJsonAmongOtherLines) {
  const std::string json = samplejson(5000);
  const std::string frame = frameresult(json, 2, 3, "T1");
  std::istringstream lines(frame);
  std::string line, begin, end, body;
  std::map<int, std::string> parts;
  int total = 0;
  while (std::getline(lines, line)) {
    EXPECT_LT(line.size() + 1, 4096u) << "a line a pipe may split";
    if (line.rfind("=== pressbolt result begin ", 0) == 0) {
      begin = line;
    } else if (line.rfind("=== pressbolt result end ", 0) == 0) {
      end = line;
    } else {
      std::istringstream words(line);
      std::string tag, which, number, payload;
      words >> tag >> which >> number >> payload;
      ASSERT_EQ(tag, "pressbolt-result");
      ASSERT_EQ(which, "2/3");
      const size_t slash = number.find('/');
      parts[std::stoi(number.substr(0, slash))] = payload;
      total = std::stoi(number.substr(slash + 1));
    }
  }
  EXPECT_EQ(begin, "=== pressbolt result begin segment 2/3 test T1 lines " + std::to_string(total) +
                       " json-bytes " + std::to_string(json.size()) + " ===");
  EXPECT_EQ(end, "=== pressbolt result end segment 2/3 ===");
  ASSERT_GT(total, 1) << "the sample must need several lines";
  ASSERT_EQ(parts.size(), size_t(total));
  for (const auto& [n, payload] : parts) body += payload;
  EXPECT_EQ(gunzip(unbase64(body)), json);
  EXPECT_LT(body.size(), json.size()) << "compressed";
}

TEST(ResultFrame, AnEmptyResultStillHasItsFrame) {
  const std::string frame = frameresult("", 1, 2, "T");
  EXPECT_NE(frame.find("lines 1 json-bytes 0 ==="), std::string::npos) << frame;
  EXPECT_NE(frame.find("pressbolt-result 1/2 1/1 H4sI"), std::string::npos) << frame;
}

TEST(ResultFrame, TheEstimateCoversWhatTheFrameTakes) {
  for (int n : {1, 1000, 20000}) {
    const int64_t framed = int64_t(frameresult(samplejson(n), 1, 2, "T").size());
    EXPECT_GE(framedsizeestimate(n), framed) << n << " requests";
  }
}
