#include "runtime/self_request.h"

#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/local_request.h"

int InternalRequest(const char* verb, const char* uri, std::string_view body, std::string* result,
                    const std::atomic<bool>* cancel) {
  Log(64, "MonitorServer::InternalRequest Requesting document: %s %s.\n", verb, uri);
  std::string reply;
  int status = RequestLocalDocument(TheServer().sockets.port, verb, uri, body, 10, &reply, cancel);
  // An empty answer leaves the caller's text as it was.
  if (result != nullptr && status == 200 && !reply.empty()) *result = std::move(reply);
  return status;
}
