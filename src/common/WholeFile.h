#pragma once

#include <cstddef>
#include <string>

// Which files readwholefile accepts. Files the program finds by itself are read only when regular,
// so a FIFO placed at the path cannot block it. A result file a user names is a regular file, or
// "-" for standard input. Other inputs a user names may also be a pipe on purpose (a shell's
// process substitution) or a terminal; a device such as /dev/zero is no input in any case.
enum class TFileKinds { RegularOnly, RegularOrStdin, AnyReadable };

// The most any file is read of by default: more than an input of this program ever holds, and
// what keeps an endless stream from taking the machine's memory.
inline constexpr size_t kMaxInputBytes = size_t(1) << 30;

// Reads every byte of the file at path into bytes. Returns 0, or the errno of what failed: EISDIR
// for a directory, EINVAL for a file of a kind not accepted, ENODEV for a device, EFBIG past
// maxbytes; bytes then holds nothing.
int readwholefile(const std::string& path, std::string& bytes,
                  TFileKinds kinds = TFileKinds::RegularOnly, size_t maxbytes = kMaxInputBytes);
