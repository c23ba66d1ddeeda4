// The name=value fields of a URL's query and of a posted form, and the
// cookies of a request.
#pragma once

#include <map>
#include <string>
#include <string_view>

// The fields of "a=1&b=x+y%21": "+" stands for a space, "%" and two hex
// digits for a byte (a "%" without them for itself). The first of fields of
// the same name counts; fields beyond the first 64 are left out.
using Fields = std::map<std::string, std::string, std::less<>>;
Fields parse_fields(std::string_view text);

// The value of a field, or "" when there is none.
std::string field(const Fields& fields, std::string_view name);

// The text for a query's value: letters, digits and - _ . ~ as they are,
// every other byte as "%" and two hex digits.
std::string url_encode(std::string_view text);

// The value of the first cookie of that name in a Cookie header, or "".
std::string cookie_value(std::string_view header, std::string_view name);
