#include "ctl/ctl_commands.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ctl/collector_client.h"
#include "ctl/status_table.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "runtime/url_coding.h"
#include "xml/xml_node.h"

namespace {

// How long shutdown waits for the port to close: the collector ends its
// providers within 15 seconds, then kills the ones left, then exits.
constexpr uint64_t kShutdownWaitMs = 30000;
constexpr uint32_t kPollMs = 100;

struct Context {
  const CtlOptions& options;
  CollectorClient client;
  FILE* out;
  FILE* err;
};

int NoCollector(Context& c) {
  fprintf(c.err, "velmoractl: no collector on 127.0.0.1:%u\n", static_cast<unsigned>(c.client.Port()));
  return kExitNoCollector;
}

// The outcome every command shares: 0 when the collector answered 2xx,
// else the exit code after the complaint.
int Judge(Context& c, const char* what, const CollectorAnswer& answer) {
  if (!answer.reached) return NoCollector(c);
  if (IsSuccess(answer.status)) return kExitOk;
  fprintf(c.err, "velmoractl: %s: the collector answered %d\n", what, answer.status);
  return kExitFailure;
}

// Whether a provider the collector counts as ready still runs: its last
// reported process is alive (one that cannot be probed, another user's,
// counts as alive), or, when that one has ended, a newer process that has
// not reported yet listens on its port. The port is tried only then: a
// connection to a running provider would count as activity for its idle
// time-out.
bool ProviderStillRuns(const std::string& pid, const std::string& port) {
  char* end = nullptr;
  unsigned long id = strtoul(pid.c_str(), &end, 10);
  if (*end != '\0' || id > 0xFFFFFFFFul) return true;
  int error = 0;
  platform::ExitProbe probe = platform::ProbeProcessExit(static_cast<uint32_t>(id), &error);
  if (probe == platform::kProcessRunning || probe == platform::kProcessUnknown) return true;
  unsigned long number = strtoul(port.c_str(), &end, 10);
  if (*end != '\0' || number == 0 || number > 65535) return false;
  return CollectorClient(static_cast<uint16_t>(number), 1).Listening();
}

using RowReader = std::function<bool(std::string_view, std::vector<TableRow>*, std::string*)>;

int PrintDocument(Context& c, const std::string& path, const RowReader& read) {
  CollectorAnswer answer = c.client.Get(path);
  if (int code = Judge(c, path.c_str(), answer); code != kExitOk) return code;
  if (c.options.xml) {
    fwrite(answer.body.data(), 1, answer.body.size(), c.out);
    return kExitOk;
  }
  std::vector<TableRow> rows;
  std::string error;
  if (answer.body.empty() || !read(answer.body, &rows, &error)) {
    fprintf(c.err, "velmoractl: %s: %s\n", path.c_str(), answer.body.empty() ? "empty answer" : error.c_str());
    return kExitFailure;
  }
  fputs(FormatTable(rows).c_str(), c.out);
  return kExitOk;
}

// After a stop: the provider has answered its shutdown request but may
// still be ending. Waits, at most the time-out, until its process is gone
// and its port closed, so that a status right after shows it stopped.
void WaitUntilStopped(Context& c, const std::string& name) {
  CollectorAnswer answer = c.client.Get("/inventory");
  std::vector<TableRow> rows;
  std::string error;
  auto asReported = [](const std::string&, const std::string&) { return true; };
  if (!answer.reached || !InventoryRows(answer.body, asReported, &rows, &error)) return;
  std::string pid, port;
  for (const TableRow& row : rows) {
    if (row[0] == name) pid = row[3], port = row[1];
  }
  const uint64_t deadline = platform::TickCountMs() + static_cast<uint64_t>(c.options.timeoutSeconds) * 1000;
  while (ProviderStillRuns(pid, port) && platform::TickCountMs() < deadline) platform::SleepMs(kPollMs);
}

// start and stop: the control page answers 200 with the outcome in the
// attribute "result": the provider's own status, 0 when it could not be
// reached, -1 when no provider has that name.
int Control(Context& c, const char* command) {
  const std::string& name = c.options.argument;
  std::string path = "/providercontrol?name=" + UrlEncode(name) + "&cmd=" + command;
  CollectorAnswer answer = c.client.Post(path);
  if (int code = Judge(c, command, answer); code != kExitOk) return code;
  std::unique_ptr<XMLNode> document;
  XMLNode* root = nullptr;
  XMLNode* result = nullptr;
  if (XMLNode::Parse(answer.body, &document, XMLNode::kDropWhitespaceText, nullptr, nullptr) == 0) {
    for (XMLNode* child : document->GetChildren())
      if (child->GetType() == XMLNode::kElement) root = child;
  }
  if (root == nullptr || root->FindAttribute(&result, "result") != 0) {
    fprintf(c.err, "velmoractl: %s %s: unexpected answer\n", command, name.c_str());
    return kExitFailure;
  }
  int outcome = atoi(std::string(result->GetValue()).c_str());
  const bool stop = strcmp(command, "stop") == 0;
  // A start asks the provider for its index by POST, which a provider
  // answers 405: any status line proves it runs. 500 means it took the
  // connection but sent none.
  if (stop ? IsSuccess(outcome) : outcome > 0 && outcome != 500) {
    if (stop) WaitUntilStopped(c, name);
    fprintf(c.out, "%s %s\n", name.c_str(), stop ? "stopped" : "started");
    return kExitOk;
  }
  if (outcome == -1)
    fprintf(c.err, "velmoractl: %s %s: no provider of that name\n", command, name.c_str());
  else if (outcome == 0)
    fprintf(c.err, "velmoractl: %s %s: the provider could not be reached\n", command, name.c_str());
  else
    fprintf(c.err, "velmoractl: %s %s: the provider answered %d\n", command, name.c_str(), outcome);
  return kExitFailure;
}

int Reload(Context& c) {
  const char* path = c.options.registrations ? "/inventory?clearmap=1" : "/inventory?reconfig=1";
  return Judge(c, "reload", c.client.Post(path));
}

int Shutdown(Context& c) {
  if (int code = Judge(c, "shutdown", c.client.Post("/shutdown")); code != kExitOk) return code;
  const uint64_t deadline = platform::TickCountMs() + kShutdownWaitMs;
  while (c.client.Listening()) {
    if (platform::TickCountMs() >= deadline) {
      fprintf(c.err, "velmoractl: shutdown: the collector still listens on 127.0.0.1:%u after %llu s\n",
              static_cast<unsigned>(c.client.Port()), static_cast<unsigned long long>(kShutdownWaitMs / 1000));
      return kExitFailure;
    }
    platform::SleepMs(kPollMs);
  }
  return kExitOk;
}

int Get(Context& c) {
  CollectorAnswer answer = c.client.Stream(c.options.argument, c.out);
  if (answer.reached && c.options.verbose) fprintf(c.err, "%s\n", answer.statusLine.c_str());
  if (answer.outputFailed) {
    fprintf(c.err, "velmoractl: get: standard output refused the body\n");
    return kExitFailure;
  }
  return Judge(c, c.options.argument.c_str(), answer);
}

}  // namespace

int RunCtlCommand(const CtlOptions& options, FILE* out, FILE* err) {
  Context c{options, CollectorClient(options.port, options.timeoutSeconds), out, err};
  switch (options.command) {
    case CtlCommand::kStatus:
      return PrintDocument(c, "/inventory", [](std::string_view xml, std::vector<TableRow>* rows, std::string* e) {
        return InventoryRows(xml, ProviderStillRuns, rows, e);
      });
    case CtlCommand::kSchedule:
      return PrintDocument(c, "/extschedule", ScheduleRows);
    case CtlCommand::kStats:
      return PrintDocument(c, options.providers ? "/collector/stats?providers=1" : "/collector/stats", StatsRows);
    case CtlCommand::kStart:
      return Control(c, "start");
    case CtlCommand::kStop:
      return Control(c, "stop");
    case CtlCommand::kReload:
      return Reload(c);
    case CtlCommand::kShutdown:
      return Shutdown(c);
    case CtlCommand::kGet:
      return Get(c);
    default:
      return kExitUsage;
  }
}
