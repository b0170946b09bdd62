// The INI file layer: what reads back, what survives a write untouched, and that a failed save
// leaves the old file as it was.

#include "settings/ProfileFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "support/TestSupport.h"

namespace {

TProfileFile loaded(const std::string& path, const std::string& bytes) {
  writefile(path, bytes);
  TProfileFile f(path);
  f.load();
  return f;
}

TEST(ProfileFile, MissingFileIsEmptyAndSaveCreatesDirectories) {
  TTempDir dir;
  std::string path = dir.file("a/b/settings.ini");
  TProfileFile f(path);
  f.load();
  EXPECT_EQ(f.text(), "");
  EXPECT_FALSE(f.find("Data", "x"));
  EXPECT_EQ(f.readstring("Data", "x", "def"), "def");
  f.writestring("Data", "x", "1");
  f.writeinteger("Window", "Top", -20);
  std::string error;
  ASSERT_TRUE(f.save(error)) << error;
  EXPECT_EQ(readfile(path), "[Data]\nx=1\n[Window]\nTop=-20\n");
  // Nothing but the file itself is left in the directory.
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.file("a/b"))) entries += e.exists();
  EXPECT_EQ(entries, 1);
}

TEST(ProfileFile, NamesMatchWithoutCaseAndBlanksAroundAreNotPartOfThem) {
  TTempDir dir;
  TProfileFile f = loaded(dir.file("s.ini"),
                          "  [ data ]  \r\n"
                          "  UserName =  joe smith  \r\n"
                          "url=http://h/?a=b=c\r\n"
                          "quoted=\"x\"\r\n"
                          "empty=\r\n");
  EXPECT_EQ(f.readstring("DATA", "username", ""), "joe smith");
  EXPECT_EQ(f.readstring("Data", "URL", ""), "http://h/?a=b=c");
  EXPECT_EQ(f.readstring("Data", "quoted", ""), "\"x\"");
  EXPECT_EQ(f.find("Data", "empty"), std::optional<std::string>(""));
  EXPECT_EQ(f.keys("data"), (std::vector<std::string>{"UserName", "url", "quoted", "empty"}));
}

TEST(ProfileFile, IntegersAreWholeDecimalNumbers) {
  TTempDir dir;
  TProfileFile f = loaded(dir.file("s.ini"),
                          "[D]\na=12\nb=-7\nc=+3\nd= 42 \ne=12abc\nf=abc\ng=\nh=0x10\n"
                          "i=99999999999\nj=2147483647\nk=-2147483648\nl=+-1\nm=1.5\n");
  EXPECT_EQ(f.readinteger("D", "a", 5), 12);
  EXPECT_EQ(f.readinteger("D", "b", 5), -7);
  EXPECT_EQ(f.readinteger("D", "c", 5), 3);
  EXPECT_EQ(f.readinteger("D", "d", 5), 42);
  for (const char* junk : {"e", "f", "g", "h", "i", "l", "m", "missing"}) {
    EXPECT_EQ(f.readinteger("D", junk, 5), 5) << junk;
    EXPECT_FALSE(f.findinteger("D", junk)) << junk;
  }
  EXPECT_EQ(f.readinteger("D", "j", 5), 2147483647);
  EXPECT_EQ(f.readinteger("D", "k", 5), -2147483647 - 1);
  EXPECT_EQ(f.readinteger("Nowhere", "a", 5), 5);
}

TEST(ProfileFile, AnyNonZeroIsOn) {
  TTempDir dir;
  TProfileFile f = loaded(dir.file("s.ini"), "[D]\na=0\nb=1\nc=2\nd=-1\ne=yes\n");
  EXPECT_FALSE(f.readbool("D", "a", true));
  EXPECT_TRUE(f.readbool("D", "b", false));
  EXPECT_TRUE(f.readbool("D", "c", false));
  EXPECT_TRUE(f.readbool("D", "d", false));
  EXPECT_TRUE(f.readbool("D", "e", true));  // not a number: the default
  EXPECT_FALSE(f.readbool("D", "e", false));
}

// The classic profile routines read 2047 bytes at most; a POST body of 20011 bytes then came
// back cut after a restart and was sent so.
TEST(ProfileFile, TextValuesReadBackWhole) {
  TTempDir dir;
  const std::string path = dir.file("s.ini");
  std::string post;
  for (int i = 0; post.size() < 20011; ++i) post += "field" + std::to_string(i) + "=\xC3\xA9&";
  TProfileFile f(path);
  f.writestring("Data", "Postdata", post);
  f.writestring("Data", "exact", std::string(2047, 'x'));
  std::string error;
  ASSERT_TRUE(f.save(error)) << error;
  TProfileFile g = loaded(path, readfile(path));
  EXPECT_EQ(g.readstring("Data", "Postdata", ""), post);
  EXPECT_EQ(g.readstring("Data", "exact", ""), std::string(2047, 'x'));
}

TEST(ProfileFile, WritingKeepsEveryOtherLineAsItWas) {
  TTempDir dir;
  std::string path = dir.file("s.ini");
  const std::string before =
      "; written by hand\n"
      "stray=before any section\n"
      "[Data]\n"
      "URLEdit = http://old/\n"
      "garbage line without equals\n"
      "Stale=keep me\n"
      "\n"
      "; comment at the end of Data\n"
      "[Other]\n"
      "x=1\n"
      "\x01\x02"
      "binary\xFF junk\n"
      "last line without newline";
  TProfileFile f = loaded(path, before);
  f.writestring("data", "urledit", "http://new/");  // in place, with the caller's spelling
  f.writestring("Data", "Added", "v");              // after the last key of its section
  f.writestring("Window", "Top", "3");              // new section at the end
  std::string error;
  ASSERT_TRUE(f.save(error)) << error;
  EXPECT_EQ(readfile(path),
            "; written by hand\n"
            "stray=before any section\n"
            "[Data]\n"
            "urledit=http://new/\n"
            "garbage line without equals\n"
            "Stale=keep me\n"
            "Added=v\n"
            "\n"
            "; comment at the end of Data\n"
            "[Other]\n"
            "x=1\n"
            "\x01\x02"
            "binary\xFF junk\n"
            "last line without newline\n"
            "[Window]\n"
            "Top=3\n");
  // A key before any section belongs to none.
  EXPECT_FALSE(f.find("", "stray"));
}

TEST(ProfileFile, CrLfFilesStayCrLf) {
  TTempDir dir;
  std::string path = dir.file("s.ini");
  TProfileFile f = loaded(path, "[Data]\r\na=1\r\n");
  f.writestring("Data", "a", "2");
  f.writestring("Data", "b", "3");
  f.writestring("New", "c", "4");
  std::string error;
  ASSERT_TRUE(f.save(error)) << error;
  EXPECT_EQ(readfile(path), "[Data]\r\na=2\r\nb=3\r\n[New]\r\nc=4\r\n");
}

TEST(ProfileFile, FirstOccurrenceWinsForDuplicates) {
  TTempDir dir;
  TProfileFile f = loaded(dir.file("s.ini"), "[D]\nk=first\nK=second\n[d]\nk=third\nonly=here\n");
  EXPECT_EQ(f.readstring("D", "k", ""), "first");
  EXPECT_FALSE(f.find("D", "only"));
  f.writestring("D", "k", "new");
  EXPECT_EQ(f.text(), "[D]\nk=new\nK=second\n[d]\nk=third\nonly=here\n");
}

TEST(ProfileFile, AValueCannotInjectLines) {
  TTempDir dir;
  TProfileFile f(dir.file("s.ini"));
  f.writestring("Data", "Postdata", "a=1\r\n[Data]\r\nrequests=20000");
  EXPECT_EQ(f.text(), "[Data]\nPostdata=a=1\n");
}

TEST(ProfileFile, HugeLinesAndBinaryJunkAreTolerated) {
  TTempDir dir;
  std::string path = dir.file("s.ini");
  std::string huge(100'000, 'q');
  std::string junk("\0\xFE[\x80=\n\0\0]\n", 10);
  TProfileFile f = loaded(path, junk + "[D]\n" + huge + "\nbig=" + huge + "\nk=v\n" + huge);
  EXPECT_EQ(f.readstring("D", "k", ""), "v");
  EXPECT_EQ(f.readstring("D", "big", ""), huge);
  f.writestring("D", "k", "w");
  std::string error;
  ASSERT_TRUE(f.save(error)) << error;
  EXPECT_EQ(readfile(path), junk + "[D]\n" + huge + "\nbig=" + huge + "\nk=w\n" + huge + "\n");
}

TEST(ProfileFile, ADirectoryOrFifoAtThePathReadsAsEmpty) {
  TTempDir dir;
  std::filesystem::create_directory(dir.file("d.ini"));
  TProfileFile d(dir.file("d.ini"));
  d.load();
  EXPECT_EQ(d.text(), "");
  ASSERT_EQ(mkfifo(dir.file("f.ini").c_str(), 0600), 0);
  TProfileFile p(dir.file("f.ini"));
  p.load();  // must not wait for a writer
  EXPECT_EQ(p.text(), "");
}

TEST(ProfileFile, FailedSaveLeavesEverythingAsItWas) {
  TTempDir dir;
  // The parent "directory" is a regular file: nothing can be created below it.
  writefile(dir.file("plain"), "not a directory");
  TProfileFile under(dir.file("plain/sub/s.ini"));
  under.writestring("D", "k", "v");
  std::string error;
  EXPECT_FALSE(under.save(error));
  EXPECT_NE(error.find("plain"), std::string::npos) << error;
  EXPECT_EQ(readfile(dir.file("plain")), "not a directory");

  // The target is a directory holding a file: the rename fails and no temporary is left.
  std::filesystem::create_directory(dir.file("target.ini"));
  writefile(dir.file("target.ini/inside"), "keep");
  TProfileFile onto(dir.file("target.ini"));
  onto.writestring("D", "k", "v");
  error.clear();
  EXPECT_FALSE(onto.save(error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(readfile(dir.file("target.ini/inside")), "keep");
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) entries += e.exists();
  EXPECT_EQ(entries, 2);  // "plain" and "target.ini"
}

TEST(ProfileFile, SaveKeepsModeAndWritesThroughSymlinks) {
  TTempDir dir;
  std::string real = dir.file("real.ini");
  writefile(real, "[D]\nk=1\n");
  std::filesystem::permissions(real, std::filesystem::perms(0640));
  std::filesystem::create_symlink(real, dir.file("link.ini"));
  TProfileFile f(dir.file("link.ini"));
  f.load();
  f.writestring("D", "k", "2");
  std::string error;
  ASSERT_TRUE(f.save(error)) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.ini")));
  EXPECT_EQ(readfile(real), "[D]\nk=2\n");
  EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms(0640));
}

}  // namespace
