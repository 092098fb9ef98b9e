#include "pages/worker_control_object.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>

#include "platform/process_info.h"
#include "runtime/log.h"
#include "runtime/self_request.h"
#include "xml/xml_accumulator.h"

struct WorkerControlObject::State {
  std::string pagePath;
  std::string description = "{default}";
  std::string parameters;
  std::string cookieId;
  uint32_t userData = 0;
  WorkerFunction function = nullptr;

  // A record starts as "ended, asked to end": nothing runs until Start.
  std::atomic<bool> exited{true};
  std::atomic<bool> exitRequested{true};
  // What the worker polls, and what abandons a report in flight.
  std::atomic<bool> exitSignaled{false};
  std::atomic<uint32_t> exitWait{kDefaultExitWait};
  std::atomic<uint32_t> created{0};

  // The completion signal: set by the thread as its very last step.
  std::mutex mutex;
  std::condition_variable changed;
  bool finished = true;
  bool running = false;  // the thread has begun and published its id
  long threadId = 0;
};

WorkerControlObject::WorkerControlObject(const char* pagePath, WorkerFunction function, const char* description,
                                         const char* parameters, const char* cookieId, uint32_t userData)
    : state_(std::make_shared<State>()) {
  State& s = *state_;
  s.pagePath = pagePath != nullptr ? pagePath : "";
  if (description != nullptr) s.description = description;
  if (parameters != nullptr) s.parameters = parameters;
  if (cookieId != nullptr) s.cookieId = cookieId;
  s.userData = userData;
  s.function = function;
}

WorkerControlObject::WorkerControlObject(std::shared_ptr<State> state) : state_(std::move(state)) {}

WorkerControlObject::~WorkerControlObject() {
  if (!thread_.joinable()) return;
  bool finished;
  {
    std::lock_guard<std::mutex> guard(state_->mutex);
    finished = state_->finished;
  }
  // An ended thread only has its last few instructions left: join it. One
  // still running was given up; it keeps the state alive by itself.
  if (finished)
    thread_.join();
  else
    thread_.detach();
}

bool WorkerControlObject::Start() {
  Log(128, "WorkerControlObject::Start\n");
  State& s = *state_;
  if (thread_.joinable() || s.function == nullptr) {
    // A record runs one thread in its life; a second Start, or one without
    // a body, is refused like a failed creation.
    Log(1, "WorkerControlObject::Start Unable to create worker thread\n");
    return false;
  }
  s.exitRequested = false;
  s.exitSignaled = false;
  {
    std::lock_guard<std::mutex> guard(s.mutex);
    s.finished = false;
    s.running = false;
  }
  try {
    thread_ = std::thread([state = state_] {
      {
        std::lock_guard<std::mutex> guard(state->mutex);
        state->threadId = platform::ThreadId();
        state->running = true;
      }
      state->changed.notify_all();
      {
        WorkerControlObject handle(state);
        state->function(&handle);
      }
      {
        std::lock_guard<std::mutex> guard(state->mutex);
        state->finished = true;
      }
      state->changed.notify_all();
    });
  } catch (const std::system_error&) {
    {
      std::lock_guard<std::mutex> guard(s.mutex);
      s.finished = true;
    }
    s.exited = true;
    Log(1, "WorkerControlObject::Start Unable to create worker thread\n");
    return false;
  }
  long id;
  {
    // The thread's kernel id is known only inside it; it is published at
    // once, so this wait is short.
    std::unique_lock<std::mutex> guard(s.mutex);
    s.changed.wait(guard, [&] { return s.running || s.finished; });
    id = s.threadId;
  }
  Log(128, "Created worker function in thread %u\n", static_cast<unsigned>(id));
  s.exited = false;
  return true;
}

void WorkerControlObject::WorkerBegins() {
  Log(128, "WorkerControlObject(%s)::WorkerBegins\n", state_->pagePath.c_str());
}

bool WorkerControlObject::isExitRequested() {
  Log(128, "WorkerControlObject(%s)::isExitRequested\n", state_->pagePath.c_str());
  return state_->exitSignaled.load();
}

void WorkerControlObject::setExitRequested() {
  Log(128, "WorkerControlObject(%s)::setExitRequested\n", state_->pagePath.c_str());
  if (state_->exitRequested.load()) return;
  state_->exitSignaled = true;
  state_->exitRequested = true;
}

bool WorkerControlObject::postToParent(const std::string& body, std::string* reply) {
  State& s = *state_;
  Log(128, "WorkerControlObject(%s)::postToParent\n", s.pagePath.c_str());
  if (s.exitRequested.load()) {
    Log(32, "WorkerControlObject(%s)::postToParent cancelled due to pending exit request\n", s.pagePath.c_str());
    return false;
  }
  // At shutdown the loop thread asks workers to end and then waits for
  // them without answering requests; the exit flag abandons a report that
  // is already waiting for its answer, so the worker can end.
  std::string target = s.pagePath + "?fw_workerupdate=1";
  return InternalRequest("post", target.c_str(), body, reply, &s.exitSignaled) == 200;
}

bool WorkerControlObject::hasExited() {
  State& s = *state_;
  Log(128, "WorkerControlObject(%s)::hasExited(test)\n", s.pagePath.c_str());
  if (s.exited.load()) return true;
  std::lock_guard<std::mutex> guard(s.mutex);
  if (s.finished) s.exited = true;
  return s.exited.load();
}

bool WorkerControlObject::waitForExit(uint32_t seconds) {
  State& s = *state_;
  Log(128, "WorkerControlObject(%s)::waitForExit\n", s.pagePath.c_str());
  if (s.exited.load()) return true;
  if (seconds == 0) return hasExited();
  std::unique_lock<std::mutex> guard(s.mutex);
  if (seconds == kWaitForever)
    s.changed.wait(guard, [&] { return s.finished; });
  else
    s.changed.wait_for(guard, std::chrono::seconds(seconds), [&] { return s.finished; });
  if (s.finished) s.exited = true;
  return s.exited.load();
}

void WorkerControlObject::terminate() {
  // A thread cannot be ended safely from outside on this platform: it is
  // detached instead and ends with the process. It holds only the shared
  // state, never the page's record, so dropping the record is safe.
  Log(32, "Worker thread (%s) did not respond to exit request; terminating it\n", state_->description.c_str());
  if (thread_.joinable()) thread_.detach();
}

uint32_t WorkerControlObject::GetExitWait() const { return state_->exitWait.load(); }
void WorkerControlObject::SetExitWait(uint32_t seconds) { state_->exitWait = seconds; }

void WorkerControlObject::WriteXML(XMLAccumulator* xml) const {
  const State& s = *state_;
  auto flag = [](bool on) { return on ? "1" : "0"; };
  xml->OpenElement("helper");
  xml->AddAttribute("created", static_cast<unsigned>(s.created.load()));
  xml->AddElement("desc", s.description);
  xml->AddElement("parameters", s.parameters);
  xml->AddElement("cookie-id", s.cookieId);
  xml->AddElement("exited", flag(s.exited.load()));
  xml->AddElement("exit-requested", flag(s.exitRequested.load()));
  xml->AddElement("exit-signaled", flag(s.exitSignaled.load()));
  xml->CloseElement();
}

const std::string& WorkerControlObject::GetPagePath() const { return state_->pagePath; }
const std::string& WorkerControlObject::GetDescription() const { return state_->description; }
const std::string& WorkerControlObject::GetParameters() const { return state_->parameters; }
const std::string& WorkerControlObject::GetCookieId() const { return state_->cookieId; }
uint32_t WorkerControlObject::GetUserData() const { return state_->userData; }
uint32_t WorkerControlObject::GetCreated() const { return state_->created.load(); }
void WorkerControlObject::SetCreated(uint32_t secondsSince1970) { state_->created = secondsSince1970; }
