// The JSON settings block read back as the merge reads it: what one segment wrote is what the
// next one compares and the merged result reports.

#include "settings/SettingsJson.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TestSettings readback(const TestSettings& s, const std::vector<std::string>& urls,
                      std::vector<std::string>& urlsback) {
  int64_t postbytes = -1;
  return settingsfromjson(nlohmann::json::parse(settingsjson(s, urls).dump()), urlsback,
                          postbytes);
}

TEST(SettingsJson, EveryWrittenSettingReadsBackAndThePasswordStaysOut) {
  TestSettings s;
  s.url = "http://127.0.0.1:8080/a";
  s.users = 300;
  s.runs = 7;
  s.waitperrun = 2;
  s.ramptest = true;
  s.usepost = true;  // the block holds the body's size only: an empty one reads back alike
  s.useagent = true;
  s.agent = "probe";
  s.useproxy = true;
  s.proxy = "127.0.0.2";
  s.proxyport = "3128";
  s.useuser = true;
  s.username = "ann";
  s.password = "s3cret";
  s.usekey = true;
  s.keyoffset = -40;
  s.preservecookies = true;
  const std::string text = settingsjson(s, {}).dump();
  EXPECT_EQ(text.find("s3cret"), std::string::npos);

  std::vector<std::string> urls;
  const TestSettings r = readback(s, {}, urls);
  EXPECT_EQ(r.url, s.url);
  EXPECT_FALSE(r.multipleurls);
  EXPECT_EQ(r.users, 300);
  EXPECT_EQ(r.runs, 7);
  EXPECT_EQ(r.waitperrun, 2);
  EXPECT_TRUE(r.ramptest);
  EXPECT_TRUE(r.usepost);
  EXPECT_TRUE(r.useagent);
  EXPECT_EQ(r.agent, "probe");
  EXPECT_TRUE(r.useproxy);
  EXPECT_EQ(r.proxy, "127.0.0.2");
  EXPECT_EQ(r.proxyport, "3128");
  EXPECT_TRUE(r.useuser);
  EXPECT_EQ(r.username, "ann");
  EXPECT_FALSE(r.usersfromfile);
  EXPECT_TRUE(r.usekey);
  EXPECT_EQ(r.keyoffset, -40);
  EXPECT_TRUE(r.preservecookies);
  // The block is a result's own: read back, it writes the same text again.
  EXPECT_EQ(settingsjson(r, {}).dump(), text);
}

TEST(SettingsJson, AUrlListAndUsersFromAFile) {
  TestSettings s;
  s.multipleurls = true;
  s.useuser = true;
  s.usersfromfile = true;
  s.username = "not written with users.txt";
  std::vector<std::string> urls;
  const TestSettings r = readback(s, {"http://127.0.0.1/1", "http://127.0.0.1/2"}, urls);
  EXPECT_TRUE(r.multipleurls);
  EXPECT_EQ(urls, (std::vector<std::string>{"http://127.0.0.1/1", "http://127.0.0.1/2"}));
  EXPECT_TRUE(r.useuser);
  EXPECT_TRUE(r.usersfromfile);
  EXPECT_EQ(r.username, "");
  EXPECT_FALSE(r.useagent || r.useproxy || r.usekey || r.usepost || r.ramptest);
}

}  // namespace
