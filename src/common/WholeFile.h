#pragma once

#include <string>

// Which files readwholefile accepts. Files a user names as input may be a pipe on purpose (a
// shell's process substitution); files the program finds by itself are read only when regular, so
// a FIFO placed at the path cannot block it.
enum class TFileKinds { RegularOnly, AnyReadable };

// Reads every byte of the file at path into bytes. Returns 0, or the errno of what failed (EISDIR
// for a directory, EINVAL for a file that is not regular when only regular files are accepted);
// bytes then holds nothing.
int readwholefile(const std::string& path, std::string& bytes,
                  TFileKinds kinds = TFileKinds::RegularOnly);
