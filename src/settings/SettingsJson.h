#pragma once
// The "settings" block of a JSON result, written by the report and read back by the merge of a
// split test's segments. Its members and their order are the file format's.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engine/TestSettings.h"

// urls is the multiple-URL list, written when the test takes its URLs from it. The password is
// never written, and of a POST body only its length: postbytes, when not negative, stands for
// that length where the body itself is not at hand (a result read back, or merged).
nlohmann::ordered_json settingsjson(const TestSettings& s, const std::vector<std::string>& urls,
                                    int64_t postbytes = -1);

// The settings of a block written by settingsjson(), the URL list into urls and the POST body's
// length into postbytes (0 for a GET test). Throws nlohmann::json::exception when a member is
// missing or of another type.
TestSettings settingsfromjson(const nlohmann::json& j, std::vector<std::string>& urls,
                              int64_t& postbytes);
