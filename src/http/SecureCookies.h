#pragma once
// Cookies marked Secure stay off plain HTTP: the Cookie property holds Set-Cookie values as they
// came (attributes and all), one per line after the first, and those with a Secure attribute are
// sent only over https.

#include <string>

// cookie without the values that carry a "Secure" attribute (any case, among the attributes
// after the first ";"). The values are separated by CR LF and a "Cookie: " name in any case, as
// the engine joins them; the separators of the values kept stay as they were. Unchanged (the
// same text) when no value is Secure.
std::string withoutsecure(const std::string& cookie);
