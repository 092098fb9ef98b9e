// A command-line front end of the document client, for system tests.
//
//   wire_client PORT URI [options]
//     --post BODY     POST with that body (default: GET without a body)
//     --stream FILE   streaming form: the response is copied to FILE
//     --out FILE      buffered form: the body is written to FILE
//     --start         allow a start on failure (no hook: nothing launched)
//     --timeout S     body time-out in seconds (default 10)
//     --verbose       log every level to standard error
//     --header NAME   print that response header's value
//
// Prints "status N", "length L", "crc C" (of the buffered body), the
// requested header and "elapsed_ms T". SIGHUP is caught (and counted) so
// that tests can interrupt the client's reads.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/signals.h"
#include "platform/wake_event.h"
#include "runtime/io_stdio.h"
#include "runtime/log.h"
#include "runtime/provider_con.h"
#include "tests/wire_tools/test_data.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: wire_client PORT URI [options]\n");
    return 2;
  }
  std::string body, streamFile, outFile, header;
  bool post = false, start = false, verbose = false;
  int timeout = 10;
  for (int i = 3; i < argc; ++i) {
    std::string a = argv[i];
    bool more = i + 1 < argc;
    if (a == "--post" && more) {
      post = true;
      body = argv[++i];
    } else if (a == "--stream" && more) {
      streamFile = argv[++i];
    } else if (a == "--out" && more) {
      outFile = argv[++i];
    } else if (a == "--timeout" && more) {
      timeout = atoi(argv[++i]);
    } else if (a == "--header" && more) {
      header = argv[++i];
    } else if (a == "--start") {
      start = true;
    } else if (a == "--verbose") {
      verbose = true;
    } else {
      fprintf(stderr, "unknown option %s\n", a.c_str());
      return 2;
    }
  }
  LogOpen(nullptr, 0);
  SetVerbosityMask(verbose ? 0xFFFFFFFFu : 1u | 16u);
  platform::WakeEvent wake;
  wake.Create();
  platform::InstallSignalHandlers(wake.Fd());

  CProviderCon con;
  con.SetModeFromText("socket");
  con.SetPort(static_cast<uint32_t>(atoi(argv[1])));
  con.SetName("wire_client_target");
  if (post) con.SetVerb("post");

  uint64_t began = platform::TickCountMs();
  int status;
  if (!streamFile.empty()) {
    FILE* f = fopen(streamFile.c_str(), "wbe");
    if (f == nullptr) return 2;
    IOStdio out(nullptr, f);
    status = con.requestDocument(argv[2], &out, body, start, timeout);
    fclose(f);
  } else {
    status = con.requestDocument(argv[2], body, start, timeout);
  }
  uint64_t elapsed = platform::TickCountMs() - began;
  printf("status %d\n", status);
  printf("length %zu\n", con.ResponseBodyLength());
  printf("crc %08x\n", wire_tools::Crc32(0, con.ResponseBody(), con.ResponseBodyLength()));
  if (!header.empty()) {
    char value[256];
    printf("header %s\n", con.FindResponseHeader(header.c_str(), value, sizeof value) ? value : "(none)");
  }
  printf("elapsed_ms %llu\n", static_cast<unsigned long long>(elapsed));
  if (!outFile.empty()) {
    FILE* f = fopen(outFile.c_str(), "wbe");
    if (f == nullptr) return 2;
    fwrite(con.ResponseBody(), 1, con.ResponseBodyLength(), f);
    fclose(f);
  }
  return 0;
}
