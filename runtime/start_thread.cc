#include "runtime/start_thread.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "runtime/log.h"

namespace {

struct LiveThreads {
  std::mutex mutex;
  std::condition_variable ended;
  int count = 0;
};

LiveThreads& Live() {
  static LiveThreads* live = new LiveThreads;
  return *live;
}

}  // namespace

bool TryStartThread(std::function<void()> function) {
  LiveThreads& live = Live();
  {
    std::lock_guard<std::mutex> guard(live.mutex);
    ++live.count;
  }
  try {
    std::thread([function = std::move(function), &live]() mutable {
      function();
      function = nullptr;  // its state goes before teardown may go on
      std::lock_guard<std::mutex> guard(live.mutex);
      --live.count;
      live.ended.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    std::lock_guard<std::mutex> guard(live.mutex);
    --live.count;
    return false;
  }
  return true;
}

void StartThread(void (*function)(), const char* typeName) {
  if (TryStartThread(function)) return;
  if (typeName != nullptr)
    Log(1, "Unable to create %s thread\n", typeName);
  else
    Log(1, "Unable to create thread (no type given)\n");
}

bool WaitForDetachedThreads(uint32_t timeoutMs) {
  LiveThreads& live = Live();
  std::unique_lock<std::mutex> guard(live.mutex);
  return live.ended.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return live.count == 0; });
}
