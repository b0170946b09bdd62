#pragma once
// A segment's JSON result as it leaves a pod through its log: gzip-compressed (whose CRC-32 and
// length check the whole), in Base64, cut into numbered lines between a begin and an end line.
// Other lines the container runtime interleaves (results text, messages) cannot break it, and a
// cut or damaged log is told apart from a whole one; deploy/kubernetes/collect.sh reads it back.
//
//   === pressbolt result begin segment 2/4 test ID lines 3 json-bytes 81234 ===
//   pressbolt-result 2/4 1/3 H4sIAAAAAAAA...
//   ...
//   === pressbolt result end segment 2/4 ===

#include <cstdint>
#include <string>

// Base64 characters per numbered line: with its prefix a line stays below the 4096 bytes that a
// pipe writes in one piece, and far below the 16 KiB at which container runtimes split lines.
inline constexpr size_t kFrameLineChars = 3000;

// The size past which a container log is rotated unless the node says otherwise; a log reader
// (kubectl logs) then serves only the newest part.
inline constexpr int64_t kDefaultLogBytes = int64_t(10) * 1024 * 1024;

// json framed as above, every line ending in "\n".
std::string frameresult(const std::string& json, int segment, int segments,
                        const std::string& testid);

// json compressed as a gzip stream (RFC 1952). Throws std::runtime_error when zlib fails.
std::string gzipbytes(const std::string& json);

// What the framed result of a segment that completes `requests` requests takes in a log, from
// what a request adds to a compressed result, rounded up; for the warning before a test.
int64_t framedsizeestimate(int64_t requests);
