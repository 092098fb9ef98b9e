#include "runtime/url_split.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Parts {
  int result;
  std::string scheme, user, password, host, path, remainder;
  uint16_t port;
};

Parts Split(const char* url) {
  char scheme[32], user[32], password[32], host[64], path[128], remainder[128];
  uint16_t port = 12345;
  Parts p;
  p.result = SplitURL(url, scheme, sizeof scheme, user, sizeof user, password, sizeof password, host, sizeof host,
                      &port, path, sizeof path, remainder, sizeof remainder);
  p.scheme = scheme;
  p.user = user;
  p.password = password;
  p.host = host;
  p.path = path;
  p.remainder = remainder;
  p.port = port;
  return p;
}

TEST(SplitURL, FullHttpUrlGetsDefaultPort) {
  Parts p = Split("http://127.0.0.1/x?y");
  EXPECT_EQ(0, p.result);
  EXPECT_EQ("http", p.scheme);
  EXPECT_EQ("127.0.0.1", p.host);
  EXPECT_EQ(80, p.port);
  EXPECT_EQ("/x", p.path);
  EXPECT_EQ("?y", p.remainder);

  EXPECT_EQ(443, Split("HTTPS://h/").port);
  EXPECT_EQ(21, Split("ftp://h").port);
  EXPECT_EQ(70, Split("gopher://h").port);
  EXPECT_EQ(23, Split("telnet://h").port);
  EXPECT_EQ(0, Split("irc://h").port);
  EXPECT_EQ(8080, Split("http://h:8080/").port);
}

TEST(SplitURL, RequestTargetHasNoSchemeOrAuthority) {
  Parts p = Split("/inventory?file=a&provstatus=1");
  EXPECT_EQ(0, p.result);
  EXPECT_EQ("", p.scheme);
  EXPECT_EQ("", p.host);
  EXPECT_EQ(0, p.port);
  EXPECT_EQ("/inventory", p.path);
  EXPECT_EQ("?file=a&provstatus=1", p.remainder);

  p = Split("  /a#frag?q  \t\r\n");
  EXPECT_EQ("/a", p.path);
  EXPECT_EQ("#frag?q", p.remainder);
  p = Split("/a;p=1");
  EXPECT_EQ("/a", p.path);
  EXPECT_EQ(";p=1", p.remainder);
  p = Split("");
  EXPECT_EQ(0, p.result);
  EXPECT_EQ("", p.path);
  EXPECT_EQ(0, p.port);
}

TEST(SplitURL, InvalidPortsReturnOneAndFillTheRest) {
  Parts p = Split("//localhost:70000/x");
  EXPECT_EQ(1, p.result);
  EXPECT_EQ("localhost", p.host);
  EXPECT_EQ(70000 - 65536, p.port);  // the parsed value, as 16 bits hold it
  EXPECT_EQ("/x", p.path);
  EXPECT_EQ(1, Split("http://h:65536").result);
  EXPECT_EQ(0, Split("http://h:65535").result);
  EXPECT_EQ(1, Split("http://hh:/x").result);    // no digits
  EXPECT_EQ("h:/x", Split("http://h:/x").path);  // a drive letter, not a host
  EXPECT_EQ(1, Split("http://h:80x/y").result);  // not followed by a separator
  EXPECT_EQ(1, Split("http://h:99999999999999999999999/").result);
  // A bare "host:port" is a host and a port, not a scheme.
  p = Split("localhost:8080/x");
  EXPECT_EQ("", p.scheme);
  EXPECT_EQ("localhost", p.host);
  EXPECT_EQ(8080, p.port);
  EXPECT_EQ("/x", p.path);
}

TEST(SplitURL, UserPasswordAndBracketedHost) {
  Parts p = Split("ftp://joe:secret:x@a@[::1]:2121/pub");
  EXPECT_EQ(0, p.result);
  EXPECT_EQ("joe", p.user);
  EXPECT_EQ("secret:x@a", p.password);
  EXPECT_EQ("[::1]", p.host);
  EXPECT_EQ(2121, p.port);
  EXPECT_EQ("/pub", p.path);
  p = Split("http://me@host");
  EXPECT_EQ("me", p.user);
  EXPECT_EQ("", p.password);
  EXPECT_EQ("host", p.host);
}

TEST(SplitURL, FileSchemeDriveLettersAndBackslashes) {
  Parts p = Split("file:///c:/dir/f.txt?x");
  EXPECT_EQ("file", p.scheme);
  EXPECT_EQ("", p.host);
  EXPECT_EQ("/c:/dir/f.txt", p.path);
  EXPECT_EQ("?x", p.remainder);
  p = Split("FILE://server/share");
  EXPECT_EQ("server/share", p.path);  // file URLs have no authority
  p = Split("c:/dir/x");
  EXPECT_EQ("", p.scheme);
  EXPECT_EQ("c:/dir/x", p.path);
  p = Split("c:\\dir\\x");
  EXPECT_EQ("c:\\dir\\x", p.path);
  p = Split("\\\\server\\share");
  EXPECT_EQ("server", p.host);
  EXPECT_EQ("\\share", p.path);
  p = Split("mailto:me@x");  // a scheme without "//"
  EXPECT_EQ("mailto", p.scheme);
  EXPECT_EQ("me", p.user);
  EXPECT_EQ("x", p.host);
}

TEST(SplitURL, OutputsAreCutAndMayBeAbsent) {
  char host[4], path[3];
  uint16_t port = 0;
  EXPECT_EQ(0, SplitURL("http://longhost:81/abcdef", nullptr, 0, nullptr, 0, nullptr, 0, host, sizeof host, &port,
                        path, sizeof path, nullptr, 0));
  EXPECT_STREQ("lon", host);
  EXPECT_STREQ("/a", path);
  EXPECT_EQ(81, port);
  EXPECT_EQ(0, SplitURL(nullptr, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, nullptr, 0, nullptr, 0));
}

}  // namespace
