#include "settings/SettingsJson.h"

#include "settings/SettingsModel.h"

namespace {

using TOrdered = nlohmann::ordered_json;

// The member of a setting the block holds as it stands.
TOrdered plain(const TStoredSettings& s, const char* json) {
  const TSetting& e = *settingbyjson(json);
  switch (e.kind) {
    case TSettingKind::flag:
      return s.*e.flag;
    case TSettingKind::number:
      return s.*e.number;
    case TSettingKind::bignumber:
      return s.*e.bignumber;
    case TSettingKind::text:
      break;
  }
  return s.*e.text;
}

}  // namespace

TOrdered settingsjson(const TestSettings& test, const std::vector<std::string>& urls) {
  TStoredSettings s;
  static_cast<TestSettings&>(s) = test;
  TOrdered j;
  j["url"] = s.multipleurls ? TOrdered(nullptr) : TOrdered(s.url);
  j["urls"] = s.multipleurls ? TOrdered(urls) : TOrdered(nullptr);
  for (const char* name : {"users", "runs", "wait_s", "ramp"}) j[name] = plain(s, name);
  j["method"] = s.usepost ? "POST" : "GET";
  j["post_bytes"] = s.usepost ? s.postdata.size() : 0;
  j["agent"] = s.useagent ? TOrdered(s.agent) : TOrdered(nullptr);
  j["proxy"] = s.useproxy ? TOrdered(s.proxy + ":" + s.proxyport) : TOrdered(nullptr);
  j["user"] = s.useuser && !s.usersfromfile ? TOrdered(s.username) : TOrdered(nullptr);
  j["users_file"] = s.useuser && s.usersfromfile;
  j["key_offset"] = s.usekey ? TOrdered(s.keyoffset) : TOrdered(nullptr);
  j["preserve_cookies"] = plain(s, "preserve_cookies");
  // A setting added to the model later follows the members above.
  for (const TSetting& e : settingsmodel()) {
    if (e.json != nullptr && !j.contains(e.json)) j[e.json] = plain(s, e.json);
  }
  return j;
}

TestSettings settingsfromjson(const nlohmann::json& j, std::vector<std::string>& urls) {
  TStoredSettings s;
  for (const TSetting& e : settingsmodel()) {
    if (e.json == nullptr) continue;
    const nlohmann::json& v = j.at(e.json);
    switch (e.kind) {
      case TSettingKind::flag:
        s.*e.flag = v.get<bool>();
        break;
      case TSettingKind::number:
        s.*e.number = v.get<int>();
        break;
      case TSettingKind::bignumber:
        s.*e.bignumber = v.get<int64_t>();
        break;
      case TSettingKind::text:
        s.*e.text = v.get<std::string>();
        break;
    }
  }
  s.multipleurls = !j.at("urls").is_null();
  if (s.multipleurls) {
    urls = j.at("urls").get<std::vector<std::string>>();
  } else {
    s.url = j.at("url").get<std::string>();
  }
  s.usepost = j.at("method").get<std::string>() == "POST";
  if (!j.at("agent").is_null()) {
    s.useagent = true;
    s.agent = j.at("agent").get<std::string>();
  }
  if (!j.at("proxy").is_null()) {
    s.useproxy = true;
    std::string proxy = j.at("proxy").get<std::string>();
    size_t colon = proxy.rfind(':');
    s.proxy = proxy.substr(0, colon);
    s.proxyport = colon == std::string::npos ? std::string() : proxy.substr(colon + 1);
  }
  s.usersfromfile = j.at("users_file").get<bool>();
  if (!j.at("user").is_null()) s.username = j.at("user").get<std::string>();
  s.useuser = s.usersfromfile || !j.at("user").is_null();
  if (!j.at("key_offset").is_null()) {
    s.usekey = true;
    s.keyoffset = j.at("key_offset").get<int64_t>();
  }
  return s;
}
