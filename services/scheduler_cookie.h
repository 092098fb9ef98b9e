// The composite cookie under which the scheduler keeps one provider wakeup:
// "<page>PAGE</page><cookie>COOKIE</cookie>", page and cookie each escaped
// as XML text and cut to 999 bytes. It is the timer's id, so one page and
// cookie pair is one timer; decomposing it gives the pair back.
#pragma once
#include <string>
#include <string_view>

// Longest escaped (or extracted) text kept for the page or the cookie.
constexpr size_t kSchedulerTextLimit = 999;

// Escapes one text byte by byte: & < > " ' as entities, tab as "&#x9;",
// line feed and carriage return as "&#xA;" (a carriage return followed by
// a line feed once), 127 as "&#x7F;", other control bytes and bytes above
// 127 as "Invalid Char". The result is cut to kSchedulerTextLimit bytes.
std::string EscapeSchedulerText(std::string_view text);

// Reverses the escaping: the five named entities and "&#xHH;" or "&#DDD;"
// references up to 255. Anything else is copied as it is.
std::string UnescapeSchedulerText(std::string_view text);

// "<page>" + escaped page + "</page><cookie>" + escaped cookie + "</cookie>".
std::string MakeSchedulerCookie(std::string_view page, std::string_view cookie);

// Splits a composite, optionally preceded by a provider name (the text
// ahead of "<page>"). Tags are found ignoring case; a missing tag pair
// gives an empty value. Any output may be null.
void DecomposeSchedulerCookie(std::string_view composite, std::string* provider, std::string* page,
                              std::string* cookie);
