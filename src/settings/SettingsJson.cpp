#include "settings/SettingsJson.h"

#include "settings/SettingsModel.h"

namespace {

using TOrdered = nlohmann::ordered_json;

// The block's members in the file format's order; a setting given a JSON name later follows them.
const char* const kOrder[] = {
    "url",        "urls",  "users", "runs", "wait_s",     "ramp",       "method",
    "post_bytes", "agent", "proxy", "user", "users_file", "key_offset", "preserve_cookies"};

TOrdered value(const TStoredSettings& s, const TSetting& e) {
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

TOrdered member(const TStoredSettings& s, const TSetting& e, int64_t postbytes) {
  const bool used = settingused(e, s);
  switch (e.jsonshape) {
    case TJsonShape::plain:
      break;
    case TJsonShape::used:
      if (e.kind == TSettingKind::flag) return used && s.*e.flag;
      return used ? value(s, e) : TOrdered(nullptr);
    case TJsonShape::words:
      return e.jsonwords[s.*e.flag ? 1 : 0];
    case TJsonShape::length:
      if (!used) return 0;
      return postbytes >= 0 ? TOrdered(postbytes) : TOrdered((s.*e.text).size());
    case TJsonShape::hostport:
      return used ? TOrdered(s.*e.text + ":" + s.*e.jsonport) : TOrdered(nullptr);
    case TJsonShape::list:
      return s.*e.flag ? TOrdered(s.urllist) : TOrdered(nullptr);
  }
  return value(s, e);
}

void read(const nlohmann::json& v, const TSetting& e, TStoredSettings& s) {
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

// The flags: what decides whether a value is used. A flag read on, or a value present, switches
// on the flag it depends on.
void readflag(const nlohmann::json& j, const TSetting& e, TStoredSettings& s) {
  if (e.jsonlater && !j.contains(e.json)) return;
  const nlohmann::json& v = j.at(e.json);
  switch (e.jsonshape) {
    case TJsonShape::plain:
    case TJsonShape::used:
      read(v, e, s);
      if (s.*e.flag) switchon(e, s);
      break;
    case TJsonShape::words:
      s.*e.flag = v.get<std::string>() == e.jsonwords[1];
      break;
    case TJsonShape::list:
      s.*e.flag = !v.is_null();
      if (s.*e.flag) s.urllist = v.get<std::vector<std::string>>();
      break;
    case TJsonShape::length:
    case TJsonShape::hostport:
      break;
  }
}

// The values, once the flags are known. A value that another flag sets aside is not looked at;
// one the settings use must be there.
void readvalue(const nlohmann::json& j, const TSetting& e, TStoredSettings& s, int64_t& postbytes) {
  if (e.jsonshape == TJsonShape::length) {  // the text itself was never written: its length was
    postbytes = settingused(e, s) ? j.at(e.json).get<int64_t>() : 0;
    return;
  }
  if (e.overriddenby != nullptr && s.*e.overriddenby) return;
  if (e.jsonlater && !j.contains(e.json)) return;
  const nlohmann::json& v = j.at(e.json);
  if (!v.is_null()) switchon(e, s);
  if (!settingused(e, s)) return;
  if (e.jsonshape != TJsonShape::hostport) {
    read(v, e, s);
    return;
  }
  const std::string hostport = v.get<std::string>();
  const size_t colon = hostport.rfind(':');
  s.*e.text = hostport.substr(0, colon);
  s.*e.jsonport = colon == std::string::npos ? std::string() : hostport.substr(colon + 1);
}

}  // namespace

TOrdered settingsjson(const TestSettings& test, const std::vector<std::string>& urls,
                      int64_t postbytes) {
  TStoredSettings s;
  static_cast<TestSettings&>(s) = test;
  s.urllist = urls;
  TOrdered j;
  for (const char* name : kOrder) j[name] = member(s, *settingbyjson(name), postbytes);
  for (const TSetting& e : settingsmodel()) {
    if (e.json != nullptr && !j.contains(e.json)) j[e.json] = member(s, e, postbytes);
  }
  return j;
}

TestSettings settingsfromjson(const nlohmann::json& j, std::vector<std::string>& urls,
                              int64_t& postbytes) {
  TStoredSettings s;
  for (const TSetting& e : settingsmodel()) {
    if (e.json != nullptr && e.kind == TSettingKind::flag) readflag(j, e, s);
  }
  for (const TSetting& e : settingsmodel()) {
    if (e.json != nullptr && e.kind != TSettingKind::flag) readvalue(j, e, s, postbytes);
  }
  for (const TSetting& e : settingsmodel()) {
    if (e.jsonshape == TJsonShape::list && s.*e.flag) urls = s.urllist;
  }
  return s;
}
