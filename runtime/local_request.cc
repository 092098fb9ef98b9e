#include "runtime/local_request.h"

#include "runtime/monitor_server.h"
#include "runtime/provider_con.h"

int RequestLocalDocument(uint16_t port, const char* verb, const std::string& target, std::string_view body,
                         int timeoutSeconds, std::string* reply, const std::atomic<bool>* cancel) {
  CProviderCon server;
  server.SetCancelFlag(cancel);
  server.SetPort(port);
  server.SetMode(CProviderCon::kModeSocket);
  server.SetVerb(verb);
  int status = server.requestDocument(target.c_str(), body, true, timeoutSeconds);
  if (reply != nullptr && status == 200) reply->assign(server.ResponseBody(), server.ResponseBodyLength());
  return status;
}

int RequestCollectorDocument(const char* verb, const std::string& target, std::string_view body,
                             int timeoutSeconds, std::string* reply) {
  return RequestLocalDocument(kCollectorPort, verb, target, body, timeoutSeconds, reply);
}
