#include "runtime/url_split.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// "result scheme|user|password|host|port|path|remainder"
std::string Split(const char* url) {
  char scheme[32], user[32], password[32], host[64], path[128], remainder[128];
  uint16_t port = 12345;
  int result = SplitURL(url, scheme, sizeof scheme, user, sizeof user, password, sizeof password, host, sizeof host,
                        &port, path, sizeof path, remainder, sizeof remainder);
  return std::to_string(result) + " " + scheme + "|" + user + "|" + password + "|" + host + "|" +
         std::to_string(port) + "|" + path + "|" + remainder;
}

TEST(SplitURL, Parts) {
  const std::pair<const char*, const char*> cases[] = {
      // Schemes with their default ports; a port given wins.
      {"http://127.0.0.1/x?y", "0 http|||127.0.0.1|80|/x|?y"},
      {"HTTPS://h/", "0 HTTPS|||h|443|/|"},
      {"ftp://h", "0 ftp|||h|21||"},
      {"gopher://h", "0 gopher|||h|70||"},
      {"telnet://h", "0 telnet|||h|23||"},
      {"irc://h", "0 irc|||h|0||"},
      {"http://h:8080/", "0 http|||h|8080|/|"},
      // Request targets: no scheme, no authority; blanks around are dropped.
      {"/inventory?file=a&provstatus=1", "0 ||||0|/inventory|?file=a&provstatus=1"},
      {"  /a#frag?q  \t\r\n", "0 ||||0|/a|#frag?q"},
      {"/a;p=1", "0 ||||0|/a|;p=1"},
      {"", "0 ||||0||"},
      // Bad ports give 1 and still fill the rest.
      {"//localhost:70000/x", "1 |||localhost|4464|/x|"},  // the parsed value, as 16 bits hold it
      {"http://h:65536", "1 http|||h|80||"},
      {"http://h:65535", "0 http|||h|65535||"},
      {"http://hh:/x", "1 http|||hh|80|/x|"},   // no digits
      {"http://h:/x", "0 http||||80|h:/x|"},   // a drive letter, not a host
      {"http://h:80x/y", "1 http|||h|80|/y|"},  // not followed by a separator
      {"http://h:99999999999999999999999/", "1 http|||h|65535|/|"},  // (10^23 - 1) mod 2^16
      {"localhost:8080/x", "0 |||localhost|8080|/x|"},  // a host and a port, not a scheme
      // Users, passwords, bracketed hosts.
      {"ftp://joe:secret:x@a@[::1]:2121/pub", "0 ftp|joe|secret:x@a|[::1]|2121|/pub|"},
      {"http://me@host", "0 http|me||host|80||"},
      // File URLs have no authority; drive letters and backslashes.
      {"file:///c:/dir/f.txt?x", "0 file||||0|/c:/dir/f.txt|?x"},
      {"FILE://server/share", "0 FILE||||0|server/share|"},
      {"c:/dir/x", "0 ||||0|c:/dir/x|"},
      {"c:\\dir\\x", "0 ||||0|c:\\dir\\x|"},
      {"\\\\server\\share", "0 |||server|0|\\share|"},
      {"mailto:me@x", "0 mailto|me||x|0||"},  // a scheme without "//"
  };
  for (const auto& [url, want] : cases) EXPECT_EQ(want, Split(url)) << url;
}

TEST(SplitURL, OutputsAreCutAndMayBeAbsent) {
  char host[4], path[3];
  uint16_t port = 0;
  EXPECT_EQ(0, SplitURL("http://longhost:81/abcdef", nullptr, 0, nullptr, 0, nullptr, 0, host, sizeof host, &port,
                        path, sizeof path, nullptr, 0));
  EXPECT_EQ(std::string(host) + "|" + path + "|" + std::to_string(port), "lon|/a|81");
  EXPECT_EQ(0, SplitURL(nullptr, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, nullptr, 0, nullptr, 0));
}

}  // namespace
