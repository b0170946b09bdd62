// The settings file as the program keeps it: defaults of a first start, clamps, the URL list,
// what a write leaves in place, and where the file lives.

#include "settings/StoredSettings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "settings/SettingsModel.h"
#include "support/TestSupport.h"

namespace {

TStoredSettings sample() {
  TStoredSettings s;
  s.url = "http://h/";
  s.username = "joe";
  s.agent = "A";
  s.proxy = "p";
  s.postdata = "x=1";
  s.proxyport = "8080";
  s.singleurl = false;
  s.multipleurls = true;
  s.writeheaders = true;
  s.onerroronly = true;
  s.useproxy = true;
  s.useuser = true;
  s.useagent = true;
  s.preservecookies = true;
  s.exacttiming = false;
  s.users = 20;
  s.runs = 3;
  s.waitperrun = 5;
  s.urllist = {"u1", "", "u3"};
  s.logfolder = "/srv/results with space";
  s.mainwindow = {1, 2, 565, 784};
  s.urlwindow.top = 10;
  return s;
}

TEST(StoredSettings, FirstStartGivesTheDefaults) {
  TTempDir dir;
  TStoredSettings s = readstoredsettings(dir.file("missing.ini"));
  EXPECT_EQ(s.url, "");
  EXPECT_EQ(s.username, "");
  EXPECT_EQ(s.agent, "");
  EXPECT_EQ(s.proxy, "");
  EXPECT_EQ(s.postdata, "");
  EXPECT_EQ(s.proxyport, "");
  EXPECT_TRUE(s.singleurl);
  EXPECT_TRUE(s.exacttiming);
  EXPECT_TRUE(s.showbrowser);
  EXPECT_TRUE(s.simultaneous);
  EXPECT_EQ(s.logfolder, "");
  for (bool off :
       {s.multipleurls, s.writeheaders, s.writedata, s.onerroronly, s.useproxy, s.useuser,
        s.usersfromfile, s.useagent, s.usepost, s.preservecookies, s.ramptest}) {
    EXPECT_FALSE(off);
  }
  EXPECT_EQ(s.users, 5);
  EXPECT_EQ(s.runs, 1);
  EXPECT_EQ(s.waitperrun, 0);
  EXPECT_TRUE(s.urllist.empty());
  EXPECT_FALSE(s.mainwindow.top || s.mainwindow.left || s.mainwindow.width || s.mainwindow.height);
  EXPECT_FALSE(s.urlwindow.top || s.urlwindow.left || s.urlwindow.width || s.urlwindow.height);
}

TEST(StoredSettings, WritesEveryKeyInOrderAndReadsItBack) {
  TTempDir dir;
  std::string path = dir.file("pressbolt.ini");
  std::string error;
  ASSERT_TRUE(writestoredsettings(path, sample(), error)) << error;
  EXPECT_EQ(readfile(path),
            "[Data]\nURLEdit=http://h/\nusername=joe\nagent=A\nProxy=p\nPostdata=x=1\nPort=8080\n"
            "singleurl=0\nmultiurl=1\nDisplayHeader=1\nDisplayData=0\nonly=1\nSimultaneous=1\n"
            "UseProxy=1\nUseusername=1\nloadusernames=0\nUseagent=1\nUsepost=0\nUsecookie=1\n"
            "Useramp=0\nshowgraph=0\nshowbrowser=1\nLogFolder=/srv/results with space\n"
            "requests=20\nruns=3\nWait=5\nCAFile=\nInsecure=0\nTlsResume=0\nCount=3\n"
            "URLs0=u1\nURLs1=\nURLs2=u3\n"
            "[Window]\nTop=1\nLeft=2\nWidth=565\nHeight=784\n"
            "[WindowURL]\nTop=10\n");

  TStoredSettings r = readstoredsettings(path);
  TStoredSettings w = sample();
  EXPECT_EQ(r.url, w.url);
  EXPECT_EQ(r.username, w.username);
  EXPECT_EQ(r.agent, w.agent);
  EXPECT_EQ(r.proxy, w.proxy);
  EXPECT_EQ(r.postdata, w.postdata);
  EXPECT_EQ(r.proxyport, w.proxyport);
  EXPECT_EQ(r.singleurl, w.singleurl);
  EXPECT_EQ(r.multipleurls, w.multipleurls);
  EXPECT_EQ(r.writeheaders, w.writeheaders);
  EXPECT_EQ(r.onerroronly, w.onerroronly);
  EXPECT_EQ(r.useproxy, w.useproxy);
  EXPECT_EQ(r.useuser, w.useuser);
  EXPECT_EQ(r.useagent, w.useagent);
  EXPECT_EQ(r.preservecookies, w.preservecookies);
  EXPECT_EQ(r.exacttiming, w.exacttiming);
  EXPECT_EQ(r.users, 20);
  EXPECT_EQ(r.runs, 3);
  EXPECT_EQ(r.waitperrun, 5);
  EXPECT_EQ(r.logfolder, w.logfolder);
  // The empty line is written but not read back.
  EXPECT_EQ(r.urllist, (std::vector<std::string>{"u1", "u3"}));
  EXPECT_EQ(r.mainwindow.top, 1);
  EXPECT_EQ(r.mainwindow.left, 2);
  EXPECT_EQ(r.mainwindow.width, 565);
  EXPECT_EQ(r.mainwindow.height, 784);
  EXPECT_EQ(r.urlwindow.top, 10);
  EXPECT_FALSE(r.urlwindow.left);
}

TEST(StoredSettings, EverySettingTheFileKeepsComesBackOnItsOwn) {
  // One setting at a time away from its default: a key shared by two settings, or read into the
  // wrong member, shows as a setting that does not come back or drags another along.
  TTempDir dir;
  const std::string path = dir.file("one.ini");
  for (const TSetting& e : settingsmodel()) {
    if (e.key == nullptr || !e.readback) continue;
    TStoredSettings s;
    switch (e.kind) {
      case TSettingKind::flag:
        s.*e.flag = !(s.*e.flag);
        break;
      case TSettingKind::number:
        s.*e.number = e.max;
        break;
      case TSettingKind::text:
        s.*e.text = std::string("value of ") + e.key;
        break;
      case TSettingKind::bignumber:
        FAIL() << e.key << ": the file keeps no big number";
    }
    std::string error;
    ASSERT_TRUE(writestoredsettings(path, s, error)) << error;
    const TStoredSettings r = readstoredsettings(path);
    std::remove(path.c_str());
    for (const TSetting& other : settingsmodel()) {
      if (other.key == nullptr || !other.readback) continue;
      switch (other.kind) {
        case TSettingKind::flag:
          EXPECT_EQ(r.*other.flag, s.*other.flag) << "set " << e.key << ", read " << other.key;
          break;
        case TSettingKind::number:
          EXPECT_EQ(r.*other.number, s.*other.number) << "set " << e.key << ", read " << other.key;
          break;
        case TSettingKind::text:
          EXPECT_EQ(r.*other.text, s.*other.text) << "set " << e.key << ", read " << other.key;
          break;
        case TSettingKind::bignumber:
          break;
      }
    }
  }
}

TEST(StoredSettings, HandWrittenSpellingsAndValuesOutsideTheRanges) {
  TTempDir dir;
  std::string path = dir.file("s.ini");
  struct TCase {
    std::string lines;
    int users, runs, wait;
  };
  const std::vector<TCase> cases = {
      {"Requests=0\nRuns=0\nWait=-1\n", 1, 1, 0},
      {"requests=30000\nruns=70000\nwait=10001\n", 20000, 65536, 10000},
      {"REQUESTS=20000\nRUNS=65536\nWAIT=10000\n", 20000, 65536, 10000},
      {"requests=many\nruns=\nWait=5s\n", 5, 1, 0},
      {"requests=-99999999999\n", 5, 1, 0},
  };
  for (const auto& c : cases) {
    writefile(path, "[data]\n" + c.lines);
    TStoredSettings s = readstoredsettings(path);
    EXPECT_EQ(s.users, c.users) << c.lines;
    EXPECT_EQ(s.runs, c.runs) << c.lines;
    EXPECT_EQ(s.waitperrun, c.wait) << c.lines;
  }
  writefile(path,
            "[Data]\nUsername=ann\nUseUsername=2\nSimultaneous=0\nsinglEURL=0\n"
            "showgraph=off\n[Window]\nWidth=wide\nHeight=-5\n");
  TStoredSettings s = readstoredsettings(path);
  EXPECT_EQ(s.username, "ann");
  EXPECT_TRUE(s.useuser);
  EXPECT_TRUE(s.simultaneous);  // always on, whatever was stored
  EXPECT_FALSE(s.singleurl);
  EXPECT_TRUE(s.exacttiming);  // not a number: the default
  EXPECT_FALSE(s.mainwindow.width);
  EXPECT_EQ(s.mainwindow.height, 0);
  // Extreme geometry is clamped where it is read, so left + width cannot overflow anywhere.
  writefile(path, "[WindowURL]\nLeft=2147483647\nWidth=2147483647\nTop=-2147483648\n");
  s = readstoredsettings(path);
  EXPECT_EQ(s.urlwindow.left, kMaxWindowCoordinate);
  EXPECT_EQ(s.urlwindow.width, kMaxWindowCoordinate);
  EXPECT_EQ(s.urlwindow.top, -kMaxWindowCoordinate);
  EXPECT_FALSE(s.urlwindow.height);
}

TEST(StoredSettings, UrlListReadsPresentNonEmptyLinesBelowCount) {
  TTempDir dir;
  std::string path = dir.file("s.ini");
  struct TCase {
    std::string lines;
    std::vector<std::string> expected;
  };
  const std::vector<TCase> cases = {
      {"Count=3\nURLs0=a\nURLs1=\nURLs2=c\n", {"a", "c"}},
      {"Count=3\nURLs2=c\nURLs0=a\n", {"a", "c"}},  // line order, not file order
      {"Count=0\nURLs0=a\n", {}},
      {"Count=-4\nURLs0=a\n", {}},
      {"Count=x\nURLs0=a\n", {}},
      {"Count=2\nURLs0=a\nURLs1=b\nURLs2=stale\n", {"a", "b"}},
      {"Count=12\nURLs01=zero\nurls11=eleven\nURLs10=ten\nURLsx=x\nURLs=y\n", {"ten", "eleven"}},
      // A damaged count costs no more than the keys that are there.
      {"Count=2147483647\nURLs5=f\nURLs2147483646=last\n", {"f", "last"}},
  };
  for (const auto& c : cases) {
    writefile(path, "[Data]\n" + c.lines);
    EXPECT_EQ(readstoredsettings(path).urllist, c.expected) << c.lines;
  }
}

TEST(StoredSettings, AShorterListLeavesTheStaleKeysInPlace) {
  TTempDir dir;
  std::string path = dir.file("s.ini");
  writefile(path, "; mine\n[Other]\nx=1\n");
  TStoredSettings s;
  s.urllist = {"1", "2", "3", "4", "5"};
  std::string error;
  ASSERT_TRUE(writestoredsettings(path, s, error)) << error;
  s.urllist = {"a", "b"};
  ASSERT_TRUE(writestoredsettings(path, s, error)) << error;
  std::string text = readfile(path);
  EXPECT_EQ(text.rfind("; mine\n[Other]\nx=1\n[Data]\n", 0), 0u) << text;
  EXPECT_NE(text.find("Count=2\nURLs0=a\nURLs1=b\nURLs2=3\nURLs3=4\nURLs4=5\n"), std::string::npos)
      << text;
  EXPECT_EQ(readstoredsettings(path).urllist, (std::vector<std::string>{"a", "b"}));
}

TEST(StoredSettings, WriteFailureNamesTheFileAndChangesNothing) {
  TTempDir dir;
  writefile(dir.file("plain"), "x");
  std::string path = dir.file("plain/pressbolt.ini");
  std::string error;
  EXPECT_FALSE(writestoredsettings(path, sample(), error));
  EXPECT_EQ(error, "Unable to write to " + path);
  EXPECT_EQ(readfile(dir.file("plain")), "x");
}

TEST(StoredSettings, FileNameFollowsTheProgramName) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/usr/bin/pressbolt", "pressbolt.ini"}, {"/opt/PressBolt.BIN", "pressbolt.ini"},
      {"pressbolt", "pressbolt.ini"},          {"./build/press.bolt.exe", "press.bolt.ini"},
      {"/home/u/.hidden", ".hidden.ini"},      {"/x.d/prog", "prog.ini"},
      {"/usr/bin/", "pressbolt.ini"},
  };
  for (const auto& [program, name] : cases) EXPECT_EQ(settingsfilename(program), name) << program;
}

TEST(StoredSettings, PathIsInTheUsersConfigDirectory) {
  const char* oldxdg = std::getenv("XDG_CONFIG_HOME");
  const char* oldhome = std::getenv("HOME");
  std::string savedxdg = oldxdg ? oldxdg : "", savedhome = oldhome ? oldhome : "";
  setenv("HOME", "/home/tester", 1);
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(settingspath("/usr/bin/Pressbolt"), "/cfg/pressbolt.ini");
  setenv("XDG_CONFIG_HOME", "relative/cfg", 1);
  EXPECT_EQ(settingspath("/usr/bin/pressbolt"), "/home/tester/.config/pressbolt.ini");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(settingspath("/usr/bin/pressbolt"), "/home/tester/.config/pressbolt.ini");
  if (oldxdg) setenv("XDG_CONFIG_HOME", savedxdg.c_str(), 1);
  oldhome ? setenv("HOME", savedhome.c_str(), 1) : unsetenv("HOME");
}

}  // namespace
