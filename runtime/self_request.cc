#include "runtime/self_request.h"

#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/provider_con.h"

int InternalRequest(const char* verb, const char* uri, std::string_view body, std::string* result) {
  CProviderCon self;
  self.SetPort(TheServer().port);
  self.SetMode(CProviderCon::kModeSocket);
  self.SetVerb(verb);
  Log(64, "MonitorServer::InternalRequest Requesting document: %s %s.\n", verb, uri);
  int status = self.requestDocument(uri, body, true, 10);
  if (result != nullptr && status == 200 && self.ResponseBodyLength() != 0)
    result->assign(self.ResponseBody(), self.ResponseBodyLength());
  return status;
}
