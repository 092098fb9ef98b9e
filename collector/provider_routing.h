// Routing a request for a page no collector page owns to the provider that
// serves it, and streaming the provider's answer back to the client.
//
// Choices:
//   - A provider's first "503 Service Unavailable" is not passed on: the
//     request is asked once more and the client gets that answer only.
//   - A provider that closes without a status line gives the client "500
//     Internal Server Error" with the body "500 internal server error".
//   - Paths of 260 characters or more are not found ("404 Not Found"), as
//     the page registry does for the collector's own pages.
//   - The provider's state and a private copy of its record are taken in
//     one visit to the provider map, so concurrent forwards to one provider
//     never share a socket and a status report is never half seen.
#pragma once
#include <cstdint>
#include <string_view>

class CProviderCon;
class IOBase;

// The collector's alternate page handler: 405 for a verb other than GET or
// POST, 404 for a path no provider serves, 503 while the provider loads,
// 500 when it reported an error, else the forwarded answer's status (503
// when the provider could not be reached at all). Returns the status.
int handleAlternatePages(IOBase* io, const char* verb, const char* path, const char* query,
                         const char* const* headerNames, const char* const* headerValues);

// Forwards `uri` with `body` through `provider` (the caller's own copy,
// launched when it does not answer) to `io`, at most twice: once more
// after a 503. Returns the status, 0 when nothing could be passed on, 404
// without a provider.
int getProviderPage(CProviderCon* provider, const char* uri, IOBase* io, std::string_view body);

// How long a forwarded request waits for each piece of the answer's body.
constexpr int kForwardTimeoutSeconds = 10;

// The rest of a routed request without a body whose first attempt was made
// elsewhere (provider_forward.h) and answered `firstStatus` (passed on
// unless it was the withheld first 503): the retry, the 503 when nothing
// could be passed on, and the request's count with the bytes written since
// `bytesBefore`. Returns the status.
int FinishRoutedRequest(IOBase* io, CProviderCon* provider, const char* uri, int firstStatus, uint32_t bytesBefore);

// Installs handleAlternatePages as the server's alternate page handler.
void InstallProviderRouting();
