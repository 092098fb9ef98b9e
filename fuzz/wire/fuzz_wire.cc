// Feeds arbitrary bytes to the request reader (as a channel's input, read
// as several requests in a row) and to the URL splitter. Nothing may crash,
// touch memory out of bounds, or leave the record inconsistent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/request_reader.h"
#include "runtime/url_split.h"
#include "tests/support/memory_channel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);

  MemoryChannel io(input);
  URLParse request;
  for (int i = 0; i < 4; ++i) {  // several requests on one channel
    int result = ReadRequest(&request, &io);
    if (result != kRequestRead && result != kRequestEnd && result != kRequestMalformed) abort();
    if (request.HeaderCount() > URLParse::kMaxHeaders) abort();
    if (request.HeaderNames()[request.HeaderCount()] != nullptr) abort();
    if (result != kRequestRead) break;
    URLParse copy(request);
    for (uint32_t h = 0; h < copy.HeaderCount(); ++h)
      if (strcmp(copy.HeaderValues()[h], request.HeaderValues()[h]) != 0) abort();
    std::string body;
    ReadBody(&io, copy.HeaderNames(), copy.HeaderValues(), &body);
  }

  char scheme[16], user[16], password[16], host[32], path[64], remainder[64];
  uint16_t port = 0;
  int split = SplitURL(input.c_str(), scheme, sizeof scheme, user, sizeof user, password, sizeof password, host,
                       sizeof host, &port, path, sizeof path, remainder, sizeof remainder);
  if (split != 0 && split != 1) abort();
  if (strlen(host) >= sizeof host || strlen(path) >= sizeof path) abort();
  return 0;
}
