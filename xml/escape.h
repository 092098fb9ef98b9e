// The escaping table shared by the document model, the reply builder and the
// table writer.
//
// Attribute rules (flags without kEscapeText) write tab, line feed and
// carriage return as character references so that they survive attribute
// value normalisation; text rules keep tab and line feed and turn a carriage
// return (with a line feed right after it) into one line feed. Both escape
// the five markup characters by name and other control bytes as "&#xHH;".
// Bytes above 127 pass unchanged (UTF-8 passes through) unless
// kEscapeHighBytes asks for the numeric form.
#pragma once
#include <string>
#include <string_view>

enum : unsigned {
  kEscapeText = 1u,       // text rules (otherwise attribute rules)
  kEscapeHighBytes = 2u,  // bytes above 127 as "&#xHH;" too
};

// *out = the escaped form of in.
void Escape(std::string* out, std::string_view in, unsigned flags);
// Appends the escaped form of in to *out.
void AppendEscaped(std::string* out, std::string_view in, unsigned flags);
// The length AppendEscaped would add.
size_t EscapedLength(std::string_view in, unsigned flags);

// *out = in with the five named references and numeric references below 256
// decoded, in one pass (so "&amp;amp;" becomes "&amp;"). Any other "&", a
// numeric reference without ";", or one of 256 or more ends the decoding:
// *out holds the text decoded so far and the result is 1; otherwise 0.
int Unescape(std::string* out, std::string_view in);

// The same for 16-bit text. EscapeWide handles tab, line feed, carriage
// return and the five named characters and copies every other character
// (no numeric forms). UnescapeWide takes numeric references truncated to 16
// bits, without the limit of 256.
void EscapeWide(std::u16string* out, std::u16string_view in, unsigned flags);
int UnescapeWide(std::u16string* out, std::u16string_view in);
