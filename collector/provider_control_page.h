// The provider control page, "/providercontrol": a client stops or starts
// one provider by name.
//
//   POST /providercontrol?name=NAME&cmd=stop   asks NAME to shut down, then
//        tells "/inventory" to forget NAME's first start (removestart);
//        answers <shutdownrequest provider="NAME" result="R"/>
//   POST /providercontrol?name=NAME&cmd=start  asks NAME for its index,
//        launching it when it does not answer; <startrequest .../>
//
// R is the provider's answer status, 0 when it could not be reached, -1
// when no provider of that name is known (then nothing is sent or posted).
// A missing name or command, another command, or a name that holds "/",
// "\\" or ".." (or is empty) is answered "400 Bad Request" with an empty
// body. GET answers "200 OK" with no body. Every request runs on a session
// thread of its own; the page keeps nothing between requests.
#pragma once
#include <cstdint>
#include <string>

#include "pages/monitor_page.h"

class ProviderControlPage : public MonitorPage {
 public:
  ProviderControlPage(const char* path, bool hidden) : MonitorPage(path, hidden) {}
  static ServedPage* Create(const char* path, bool hidden);

  int Get(IOBase* io, const char* path, const char* query, const char* const* headerNames,
          const char* const* headerValues, int mode, int forked) override;
  uint32_t WriteIndexEntry(XMLAccumulator* xml, const char* path) override;
  int Post(IOBase* io, const char* path, const char* query, const char* const* headerNames,
           const char* const* headerValues, int mode, int forked) override;

  // The outcomes of the two commands.
  static int32_t ShutdownProvider(const std::string& name);
  static int32_t StartProvider(const std::string& name);
};
