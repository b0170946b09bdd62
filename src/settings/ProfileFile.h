#pragma once
// TProfileFile: an INI file of [sections] and key=value lines, read and written the way the
// classic profile-file routines do, so a settings file written by hand or by an older version
// reads the same.
//
// Reading rules:
// - Section and key names match without regard to (ASCII) case. When a section or key occurs
//   twice, the first occurrence is the one read and written.
// - Blanks and tabs around a section name, a key and a value are not part of them
//   ("  Key = some value  " gives "some value"); a value is otherwise taken as it stands (quotes
//   included). Lines are split at LF; a CR before the LF is not part of the line.
// - A line whose first non-blank is ';' is a comment; a line without '=' (or with nothing before
//   it) is not a key. Such lines, keys nobody asks for and unknown sections are kept as they are.
// - A text value reads back whole, however long: a POST body or an agent cut on the next start
//   would be sent cut without a word.
// - An integer is the whole value in decimal with an optional sign ("-12", "+7"); anything else
//   ("12abc", "", "0x10", a number beyond int) is not a number and gives the caller's default.
//
// Writing replaces a key's line in place, or appends the key after the last key of its section;
// a missing section is appended at the end of the file. Line breaks cannot be stored in a value:
// it is written up to its first CR or LF, so a value can never inject lines of its own.

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class TProfileFile {
 public:
  // An empty file that will be saved to path.
  explicit TProfileFile(std::string path);

  // Reads the file at path(). Never fails: a missing or unreadable file is an empty one.
  void load();

  // The value of the key, trimmed; nullopt when the section or key is missing.
  std::optional<std::string> find(const std::string& section, const std::string& key) const;
  std::string readstring(const std::string& section, const std::string& key,
                         const std::string& def) const;
  // The value as a decimal integer; nullopt when the key is missing or its value is not a number.
  std::optional<int> findinteger(const std::string& section, const std::string& key) const;
  // A decimal integer, or def when the key is missing or its value is not a number.
  int readinteger(const std::string& section, const std::string& key, int def) const;
  // Any non-zero integer is true; def when missing or not a number.
  bool readbool(const std::string& section, const std::string& key, bool def) const;
  // The key names of a section in file order (first occurrence of each, spelled as in the file).
  std::vector<std::string> keys(const std::string& section) const;

  // Sets the key in memory; nothing touches the disk before save().
  void writestring(const std::string& section, const std::string& key, const std::string& value);
  void writeinteger(const std::string& section, const std::string& key, int value);
  void writebool(const std::string& section, const std::string& key, bool value);

  // The whole file as save() writes it (every line ends with the file's line ending).
  std::string text() const;

  // Writes text() to a temporary file beside the target and renames it over the target, creating
  // the directory when missing: the target holds either the old or the new content, never a
  // mix. On failure returns false, leaves the target as it was and describes the cause in error.
  bool save(std::string& error) const;

  const std::string& path() const { return path_; }

 private:
  struct TSection {
    bool hasheader = false;
    std::vector<std::string> lines;  // raw lines without LF; lines[0] is the header if any
    std::unordered_map<std::string, size_t> keyindex;  // lower-case key -> line number
    size_t insertat = 0;                               // line number after the last key
  };

  void parse(const std::string& bytes);
  const TSection* findsection(const std::string& section) const;
  const std::string* findraw(const std::string& section, const std::string& key) const;
  std::string newline(std::string text) const;

  std::string path_;
  bool crlf_ = false;               // the file's line ending, used for the lines we add
  std::vector<TSection> sections_;  // sections_[0] holds the lines before the first header
  std::unordered_map<std::string, size_t> sectionindex_;  // lower-case name -> first section
};
