// MonitorPage: the base of every page a server answers.
//
// The server keeps a registry from path to page and calls the page's
// virtual operations to answer GET and POST requests, to decide whether a
// request runs on a session thread of its own, to run the page's timers,
// to ask whether it is idle, and through start-up, reconfiguration and
// shutdown. Every operation has a default, so a page overrides only what it
// needs: a page that overrides nothing answers GET with "200 OK" and an
// empty body, and POST with "405 Method Not Allowed".
//
// The base holds no lock around any operation: Get, Post and MonitorNow of
// one page may overlap (session threads and the loop thread). A page whose
// own state is shared takes its page lock (Lock/Unlock) itself.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "pages/async_cookie_archive.h"
#include "pages/monitor_metadata.h"
#include "pages/monitored_item_list.h"
#include "pages/worker_list.h"
#include "runtime/served_page.h"

class IOBase;
class XMLAccumulator;
class ProviderErrorList;
class ConfigurationFile;

class MonitorPage : public ServedPage {
 public:
  // `path` is kept by pointer: it must live as long as the page (pages pass
  // string constants). Hidden pages are the framework's own: left out of
  // the index and of heartbeat decisions.
  MonitorPage(const char* path, bool hidden);

  // The virtual operations: the overrides are what the runtime calls (see
  // ServedPage); the others are the page framework's own.
  ~MonitorPage() override;
  uint32_t RegisterWithServer() override;
  virtual uint32_t Initialize();
  void CleanUp() override;
  virtual int GetEx(IOBase* io, const char* path, const char* query, const char* const* headerNames,
                    const char* const* headerValues, int mode, int forked, void* reserved1,
                    void* reserved2);
  int Get(IOBase* io, const char* path, const char* query, const char* const* headerNames,
          const char* const* headerValues, int mode, int forked) override;
  virtual uint32_t WriteIndexEntry(XMLAccumulator* xml, const char* path);
  virtual int PostEx(IOBase* io, const char* path, const char* query, const char* const* headerNames,
                     const char* const* headerValues, int mode, int forked, void* reserved1,
                     void* reserved2);
  int Post(IOBase* io, const char* path, const char* query, const char* const* headerNames,
           const char* const* headerValues, int mode, int forked) override;
  // 0 inactive, 1 wakeme (*wakeValue meaningful), 2 resident.
  virtual uint32_t GetScheduleState(uint32_t* wakeValue);
  bool ForkOnRequest(const char* path, const char* query, const char* const* headerNames,
                     const char* const* headerValues, int kind) override;
  void Reconfig() override;
  void OnShutdown() override;
  void OnProvConShutdown() override;
  virtual void MonitorNow(uint32_t count, const std::string* itemIds);
  bool TimersTriggerHeartbeating() override;
  void ExternalWakeupRecieved(const char* itemId) override;
  uint32_t SecondsToNextTimer() override;
  bool IsIdle() override;
  virtual MonitorMetadata GetMetadata();

  // Non-virtual operations.
  const char* GetPath() const final { return path_; }
  bool IsHidden() const final { return hidden_; }
  // Runs Initialize at most once; 0 at once when it has run.
  uint32_t LateInitialize() final;
  // Asks every worker of the page to finish (before any page's OnShutdown).
  void OnPreShutdown() final;
  // Advances the page's timers; calls MonitorNow with the items that fell due.
  void ServiceTimers(uint32_t elapsed) final;
  // True when the query begins with "requestmetadata=" (any case).
  static bool IsMetadataRequest(const char* query);
  // Answers with GetMetadata as XML; returns 200.
  int ReplyWithMetadata(IOBase* io);
  // With false the page's timers neither fall due nor keep it from idling.
  void SetTimersBlockIdle(bool block) { items_.SetActive(block); }

  // Timers (the list calls the heartbeat re-check when it empties or fills).
  void AddMonitoredItem(const char* id, const char* description, uint32_t interval, bool renews, bool initial,
                        uint32_t* result);
  bool RemoveMonitoredItem(const char* id, bool* found);
  bool ModifyMonitoredItem(const char* id, uint32_t interval, uint32_t* result);
  const MonitoredItemList& Items() const { return items_; }

  // Timer listings: "timerstatus=" at the start of the query (any case)
  // asks for <TIMERS secondspassed=".."><TIMER ID=".." interval remains
  // renews initial>description</TIMER>...</TIMERS>, compact.
  static bool IsTimerStatusRequest(const char* query);
  int ReplyWithTimerStatus(IOBase* io);
  void GetTimersXML(std::string* out);
  // The items as a "monitorexport" table (id, description, interval,
  // remains), and back; imported items renew and are not initial.
  void ExportMonitoredItems(std::string* out);
  void ImportMonitoredItems(const std::string& text, bool reset);

  // Wakeups kept by the collector's scheduler: POSTs
  // "/extschedule?cmd=C&page=P&cookie=K&delay=D" (page and cookie
  // URL-encoded). False on a transport failure or a status other than 200
  // (result untouched); otherwise *result is the reply word's code
  // (kItemCommError when the reply is empty).
  bool SendESCommand(const char* command, const char* cookie, uint32_t delaySeconds, uint32_t* result);
  bool ScheduleWakeup(const char* cookie, uint32_t delaySeconds, uint32_t* result);
  bool ScheduleRepeatingWakeup(const char* cookie, uint32_t delaySeconds, uint32_t* result);
  bool ModifyWakeup(const char* cookie, uint32_t delaySeconds, uint32_t* result);
  bool CancelWakeup(const char* cookie, uint32_t* result);

  // Other requests to the collector. `verb` 2 is POST, anything else GET.
  int RequestDocumentFromCollector(const char* path, int verb, const char* query, const std::string& body,
                                   std::string* reply, int timeoutSeconds);
  int CacheEventData(const char* publisher, const char* facility, const char* type, const char* version,
                     const std::string& body);
  int CacheEventFile(const char* publisher, const char* facility, const char* type, const char* version,
                     const char* filePath);

  // Workers and async cookies.
  //
  // Threads: pages that use workers run the requests that create workers
  // or change cookies inline (ForkOnRequest false), so creation, maintenance
  // and the shutdown wait all happen on the loop thread. Workers report
  // with postToParent, an ordinary request to this server that a session
  // thread answers. The loop thread never waits for a worker except in
  // OnShutdown, after OnPreShutdown has made every report refuse (or
  // abandon its wait); an inline request handler must never wait for one,
  // since the worker may be waiting for the loop to accept its report.
  // The worker list and the archive have mutexes of their own, so status
  // listings and result requests may run on session threads.
  //
  // Creates a worker record (after discarding ended ones), stamps it and
  // adds it to the page's list; the caller then calls Start.
  WorkerControlObject* CreateWorkerFunction(WorkerFunction function, const char* description,
                                            const char* parameters, const char* cookieId, uint32_t userData);
  // Discards the records of workers whose threads have ended.
  void workersMaintenance();
  // True when the query is exactly "fw_workerupdate=1" (a worker's report).
  static bool isWorkerMessage(const char* query);
  // True when the query begins with "workerstatus=" (any case).
  static bool IsWorkerStatusRequest(const char* query);
  // <worker-status> with one "helper" element per worker; returns 200.
  int ReplyWithWorkerStatus(IOBase* io);
  // Names the page's archive file, loads it and ages it.
  void SetAsyncArchive(const std::string& fileName);
  void AgeAsyncCookies();
  // A new cookie: *id gets its id, *reply the compact
  // <async-operation async-id="ID"/>.
  void CreateAsyncOperation(const std::string& outside, uint32_t holdSeconds, uint32_t expirySeconds,
                            std::string* id, std::string* reply);
  void SetAsyncProgress(const std::string& id, int32_t progress);
  // The result is the errors (when there are any) and the document, both
  // compact; either may be null. Complete stores it with progress 100.
  void SetAsyncResult(const std::string& id, int32_t progress, const ProviderErrorList* errors,
                      const XMLAccumulator* document);
  void CompleteAsyncOperation(const std::string& id, const ProviderErrorList* errors,
                              const XMLAccumulator* document);
  // True when the query begins with "asyncstatus=" (any case).
  static bool IsAsyncStatusRequest(const char* query);
  // <async-results> of the page's archive; returns 200.
  int ReplyWithAsyncStatus(IOBase* io);
  // Answers asyncstatus=, async-id-match-request=&async-id= and
  // async-result-request=&async-id= queries; false (nothing written) for
  // any other query. A page's Get calls it first.
  bool HandleAsyncRequest(const char* query, IOBase* io);

  // The page lock, for pages whose own state is shared between threads.
  void Lock() { lock_.lock(); }
  void Unlock() { lock_.unlock(); }

  // Index entries. The XML form: <page path=".." [description] [provider]
  // [linkID] [iconID] metadata="y|n"/>. The table-row form (the collector's
  // index): <tr><td><a href="../vmprov.cgi/PATH">PATH</a></td><td>STATE</td>
  // <td>PROVIDER</td></tr>.
  static void WriteIndexEntryXML(XMLAccumulator* xml, const char* path, const char* description, bool metadata,
                                 const char* linkId, const char* iconId, const char* provider);
  static void WriteIndexEntryRow(XMLAccumulator* xml, const char* path, const char* provider, const char* state);

  // Access to the one server of the process.
  static void SignalShutdown();
  static void SignalSuggestShutdown();
  static void SetIdleTimeout(uint32_t seconds);
  static uint32_t GetIdleTimeout();
  static bool IsIdleTimeoutSet();
  static uint32_t GetDefaultIdleTimeout();
  // The interval (minutes) sent with the heartbeat registration.
  static void OverrideHeartbeatInterval(uint32_t minutes);
  static void DisableHeartbeat();
  // Requests to this server's own port; never from a page running inline.
  static int PostToSelf(const char* pathAndQuery, const std::string& body, std::string* reply);
  static int GetFromSelf(const char* pathAndQuery, const std::string& body, std::string* reply);
  static int SendResponse(IOBase* io, const char* status, const char* body, uint32_t bodyLength,
                          const char* const* extraNames, const char* const* extraValues);
  static int SendXMLResponse(IOBase* io, const char* status, const ProviderErrorList* errors,
                             const XMLAccumulator* document, const char* const* extraNames,
                             const char* const* extraValues);
  static bool ReadBody(IOBase* io, const char* const* headerNames, const char* const* headerValues,
                       std::string* body);
  // The executable's folder, with its trailing "/".
  static const std::string& ModuleDirectory();
  // The master configuration of the module directory, owned by the caller:
  // a read-only view of the server's shared copy during a walk over the
  // pages (unless forUpdate or noSharedCopy), else a fresh read. forUpdate
  // holds the file for a save and drops the shared copy.
  static std::unique_ptr<ConfigurationFile> LoadMasterConfig(bool forUpdate, bool noSharedCopy);

 protected:
  WorkerList& Workers() { return workers_; }
  AsyncCookieArchive& Cookies() { return cookies_; }

 private:
  // The page lock is a member, made and destroyed with the page, so these
  // have nothing to do. They are not virtual: the constructor and the
  // destructor call them, where an override would never run.
  void InitializeLock() {}
  void DeleteLock() {}

  const char* path_;
  std::recursive_mutex lock_;
  MonitoredItemList items_;
  bool hidden_;
  bool initialized_ = false;
  WorkerList workers_;
  AsyncCookieArchive cookies_;
};
