// Secure cookies stay off plain HTTP: the values of the Cookie property that carry the attribute.

#include <gtest/gtest.h>

#include "http/SecureCookies.h"

TEST(SecureCookies, DropsOnlyTheValuesMarkedSecureAndKeepsTheSeparators) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"a=1", "a=1"},
      {"a=1; Path=/", "a=1; Path=/"},
      {"a=1; Secure", ""},
      {"a=1;secure;HttpOnly", ""},
      {"a=1; SECURE ", ""},
      // A name or value that merely contains the word is no attribute.
      {"secure=1; Path=/", "secure=1; Path=/"},
      {"a=secure", "a=secure"},
      {"a=1; Securely", "a=1; Securely"},
      {"a=1\r\nCookie: s=2; Secure\r\nCookie: b=3", "a=1\r\nCookie: b=3"},
      {"s=2; Secure\r\ncookie: b=3", "b=3"},
      {"a=1\r\ncookie: s=2; Secure", "a=1"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(withoutsecure(in), out) << in;
}
