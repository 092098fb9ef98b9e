// WorkerControlObject: a page's record of one worker thread.
//
// A page whose work outlasts a request runs it on a worker thread: the page
// creates the record (MonitorPage::CreateWorkerFunction), calls Start, and
// the thread function reports back through postToParent, a POST to the
// page's own path with the query "fw_workerupdate=1". The page asks the
// worker to finish with setExitRequested; the worker polls isExitRequested.
//
// Ownership. Everything the thread touches (texts, flags, the completion
// signal) lives in a shared state that the page's record and the thread's
// own handle both own. The thread function is given that handle, never the
// page's record, so when a worker that ignored its exit request is given up
// (terminate: the thread is detached and the page drops its record) the
// still-running thread only ever touches memory it keeps alive itself.
//
// Flags read by other threads (status listings run on session threads) are
// atomic; the exit-signaled flag, which the worker polls, is an atomic too,
// so no lock is needed for it.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

class XMLAccumulator;
class WorkerControlObject;

// The body of a worker thread. It is given the thread's own handle on the
// worker (valid until the function returns).
using WorkerFunction = void (*)(WorkerControlObject* worker);

class WorkerControlObject {
 public:
  // waitForExit without a limit.
  static constexpr uint32_t kWaitForever = 0xFFFFFFFFu;
  // Seconds OnShutdown waits for a worker before giving it up.
  static constexpr uint32_t kDefaultExitWait = 10;

  // Null texts keep their defaults: description "{default}", parameters and
  // cookie id empty. `created` is stamped by the page when it adds the
  // record.
  WorkerControlObject(const char* pagePath, WorkerFunction function, const char* description,
                      const char* parameters, const char* cookieId, uint32_t userData);
  // A thread still running (one that was given up) is detached; one that
  // has ended is joined.
  ~WorkerControlObject();
  WorkerControlObject(const WorkerControlObject&) = delete;
  WorkerControlObject& operator=(const WorkerControlObject&) = delete;

  // Clears the exit flags and starts the thread; false (and the record
  // marked exited) when no thread could be made.
  bool Start();
  // The worker's first call.
  void WorkerBegins();
  // What the worker polls: whether it has been asked to finish.
  bool isExitRequested();
  // Asks the worker to finish (once; later calls change nothing).
  void setExitRequested();
  // Posts `body` to the page ("<path>?fw_workerupdate=1") on this server;
  // true when the page answered 200 (`reply` gets the answer's body). False
  // without sending anything once an exit was requested; a report already
  // waiting for its answer when the exit request comes is abandoned.
  bool postToParent(const std::string& body, std::string* reply);
  // Whether the thread has ended, without waiting.
  bool hasExited();
  // Waits up to `seconds` (0 = hasExited, kWaitForever = no limit) for the
  // thread to end; true when it has.
  bool waitForExit(uint32_t seconds);
  // Gives up a worker that ignored its exit request: logs it and detaches
  // the thread (which the process's exit ends); the caller drops the record.
  void terminate();

  uint32_t GetExitWait() const;
  void SetExitWait(uint32_t seconds);
  // <helper created="N"><desc/><parameters/><cookie-id/><exited/>
  // <exit-requested/><exit-signaled/></helper>
  void WriteXML(XMLAccumulator* xml) const;

  const std::string& GetPagePath() const;
  const std::string& GetDescription() const;
  const std::string& GetParameters() const;
  const std::string& GetCookieId() const;
  uint32_t GetUserData() const;
  uint32_t GetCreated() const;
  void SetCreated(uint32_t secondsSince1970);

  struct State;

 private:
  // The thread's own handle: shares the state, owns no thread.
  explicit WorkerControlObject(std::shared_ptr<State> state);

  std::shared_ptr<State> state_;
  std::thread thread_;
};
