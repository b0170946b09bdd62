#pragma once
// The "settings" block of a JSON result, written by the report and read back by the merge of a
// split test's segments. Its members and their order are the file format's.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engine/TestSettings.h"

// urls is the multiple-URL list, written when the test takes its URLs from it. The password is
// never written.
nlohmann::ordered_json settingsjson(const TestSettings& s, const std::vector<std::string>& urls);

// The settings of a block written by settingsjson(), and the URL list into urls. Throws
// nlohmann::json::exception when a member is missing or of another type.
TestSettings settingsfromjson(const nlohmann::json& j, std::vector<std::string>& urls);
