// The seam between the runtime and the page framework.
//
// The server loop, the registry and the dispatcher see every page through
// this interface and nothing else; the page framework's base class
// implements it (with a default for every operation) and pages derive from
// that. Only what the runtime itself calls is here.
#pragma once
#include <cstdint>

class IOBase;

class ServedPage {
 public:
  virtual ~ServedPage() = default;

  // Identity: the path the page answers (compared byte for byte) and
  // whether it is one of the framework's own pages, left out of the index
  // and of heartbeat decisions.
  virtual const char* GetPath() const = 0;
  virtual bool IsHidden() const = 0;

  // Life cycle. LateInitialize runs the page's one-time initialization (at
  // most once) and returns 0 on success; RegisterWithServer adds the page to
  // the registry (0 = added); CleanUp runs before the page is deleted.
  virtual uint32_t LateInitialize() = 0;
  virtual uint32_t RegisterWithServer() = 0;
  virtual void CleanUp() = 0;

  // Requests. ForkOnRequest: true = run on a session thread of its own,
  // false = at once on the loop thread (`kind` 1 GET, 2 POST, 0 other). Get
  // and Post write the response on `io` and return its status number;
  // `forked` is 1 on a session thread or standard input, 0 on the loop thread.
  virtual bool ForkOnRequest(const char* path, const char* query, const char* const* headerNames,
                             const char* const* headerValues, int kind) = 0;
  virtual int Get(IOBase* io, const char* path, const char* query, const char* const* headerNames,
                  const char* const* headerValues, int mode, int forked) = 0;
  virtual int Post(IOBase* io, const char* path, const char* query, const char* const* headerNames,
                   const char* const* headerValues, int mode, int forked) = 0;

  // Timers: advance the page's items by `elapsed` seconds (calling its
  // MonitorNow for those that fell due), then the seconds until the next
  // one (10000 = none).
  virtual void ServiceTimers(uint32_t elapsed) = 0;
  virtual uint32_t SecondsToNextTimer() = 0;
  virtual bool IsIdle() = 0;
  virtual bool TimersTriggerHeartbeating() = 0;
  virtual void ExternalWakeupRecieved(const char* itemId) = 0;

  // Signals from the server.
  virtual void Reconfig() = 0;
  virtual void OnPreShutdown() = 0;
  virtual void OnShutdown() = 0;
  virtual void OnProvConShutdown() = 0;
};
