// Percent coding of URL text: the decoding every path and query value gets
// on the way in, and the encoding pages use for values they send.
#pragma once
#include <string>
#include <string_view>

// "+" becomes a space and "%" with two hexadecimal digits that byte;
// everything else (a "%" without two digits too) is copied.
std::string UrlDecode(std::string_view text);

// ASCII letters and digits unchanged, every other byte as "%" and two
// upper-case hexadecimal digits; cut to 1023 characters (a 1024-byte buffer).
std::string UrlEncode(std::string_view text);
