#include "collector/provider_routing.h"

#include <cstring>
#include <memory>
#include <string>

#include "collector/provider_map.h"
#include "collector/provider_metrics.h"
#include "runtime/io_base.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "runtime/provider_con.h"
#include "runtime/request_reader.h"
#include "runtime/response_writer.h"
#include "runtime/url_parse.h"

namespace {

constexpr const char* kUnavailableBody = "503 service unavailable";
constexpr const char* kErrorBody = "500 internal server error";

int Answer(IOBase* io, const char* status, const char* body, int number) {
  StandardResponse(io, status, body, body != nullptr ? static_cast<uint32_t>(strlen(body)) : 0, nullptr, nullptr);
  return number;
}

// The answer for a request to a provider's page: declined while it loads
// or after it reported an error, else forwarded. Returns the status.
int RouteToProvider(IOBase* io, CProviderCon* provider, uint32_t state, const char* path, const char* query,
                    const char* verb, const std::string& body) {
  if (state == kProviderLoading) {
    Log(4, "handleAlternatePages, request for page %s decline with SERVICE_UNAVAILABLE\n", path);
    return Answer(io, kStatus503, kUnavailableBody, 503);
  }
  if (state == kProviderError) {
    Log(4, "handleAlternatePages, request for page %s decline with INTERNAL_SERVER_ERROR\n", path);
    return Answer(io, kStatus500, kErrorBody, 500);
  }
  std::string uri = path;
  if (query != nullptr && query[0] != '\0') uri += std::string("?") + query;
  provider->SetVerb(verb);
  int status = getProviderPage(provider, uri.c_str(), io, body);
  if (status == 0) return Answer(io, kStatus503, kUnavailableBody, 503);
  return status;
}

}  // namespace

int handleAlternatePages(IOBase* io, const char* verb, const char* path, const char* query,
                         const char* const* headerNames, const char* const* headerValues) {
  URLParse kind;
  kind.SetVerb(verb, strlen(verb));
  if (kind.VerbCode() == URLParse::kVerbOther) {
    Log(8, "%s Invalid request type %s\n", io->PeerName(), verb);
    return Answer(io, kStatus405, nullptr, 405);
  }
  std::string body;
  ReadBody(io, headerNames, headerValues, &body);

  std::unique_ptr<CProviderCon> provider;
  uint32_t state = kProviderLoading;
  if (!ProviderMap::Instance().copyProviderForPage(path, &provider, &state)) {
    Log(8, "%s path not found %s\n", io->PeerName(), path);
    return Answer(io, kStatus404, nullptr, 404);
  }
  const uint32_t before = io->RequestBytesWritten();
  const int status = RouteToProvider(io, provider.get(), state, path, query, verb, body);
  CountRoutedRequest(provider->Name(), status, io->RequestBytesWritten() - before);
  return status;
}

namespace {

// The attempts of getProviderPage; with firstStatus >= 0 the first was
// made already and answered that.
int ProviderPageAttempts(CProviderCon* provider, const char* uri, IOBase* io, std::string_view body, int firstStatus) {
  if (provider == nullptr) return 404;
  int remembered = 404;
  for (int attempt = 0; attempt < 2; ++attempt) {
    int status = firstStatus;
    if (attempt > 0 || firstStatus < 0) {
      // Only the last attempt's 503 reaches the client.
      provider->WithholdStatus(attempt == 0 ? 503 : 0);
      status = provider->requestDocument(uri, io, body, true, kForwardTimeoutSeconds);
    }
    Log(8, "Request document iresult is %d\n", status);
    if (status == 200) {
      Log(8, "provider %s responded to the page request [%s]\n", provider->Name(), uri);
      return 200;
    }
    if (status == 503) {
      remembered = 503;
      Log(8, "Requested document result is HTTP_STATUS_SERVICE_UNAVAILABLE\n");
      if (attempt == 0) {
        Log(8, "Retrying request for document\n");
        continue;
      }
      return 503;
    }
    if (status == 307) return remembered;
    Log(8, "getProviderPage:catchall case iresult is %d\n", status);
    Log(8, "provider %s responded to the page request [%s]\n", provider->Name(), uri);
    return status;
  }
  return remembered;
}

}  // namespace

int getProviderPage(CProviderCon* provider, const char* uri, IOBase* io, std::string_view body) {
  return ProviderPageAttempts(provider, uri, io, body, -1);
}

int FinishRoutedRequest(IOBase* io, CProviderCon* provider, const char* uri, int firstStatus, uint32_t bytesBefore) {
  int status = ProviderPageAttempts(provider, uri, io, std::string_view(), firstStatus);
  if (status == 0) status = Answer(io, kStatus503, kUnavailableBody, 503);
  CountRoutedRequest(provider->Name(), status, io->RequestBytesWritten() - bytesBefore);
  return status;
}

void InstallProviderRouting() { TheServer().alternatePageHandler = handleAlternatePages; }
