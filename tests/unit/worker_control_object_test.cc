// Worker records and the page's worker list: start, waits, exit requests,
// reports to the page (sent, refused, abandoned), giving up a worker that
// ignores its exit request, maintenance and the page's status listing.
#include "pages/worker_control_object.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "pages/monitor_page.h"
#include "pages/worker_list.h"
#include "runtime/log.h"
#include "runtime/monitor_server.h"
#include "tests/support/log_to_temp_dir.h"
#include "tests/support/memory_channel.h"
#include "tests/support/scripted_server.h"
#include "xml/xml_accumulator.h"

namespace {

using Clock = std::chrono::steady_clock;

LogToTempDir* const g_env = AddLogToTempDir("velmora-workers-");

std::string XmlOf(const std::function<void(XMLAccumulator*)>& write) {
  XMLAccumulator xml;
  write(&xml);
  std::string text;
  xml.GetXML(&text, -1);
  return text;
}

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }
void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Worker bodies talk to the test through these.
std::atomic<bool> g_release{false};
std::atomic<int> g_loops{0};
std::atomic<bool> g_ended{false};
std::atomic<int> g_postResult{-1};
std::string g_seenParameters;  // written by the worker before g_ended

void Reset() { g_release = false, g_loops = 0, g_ended = false, g_postResult = -1; }

// Runs until released, asking now and then whether to end but never
// ending early; it keeps using its handle after the page has given it up (a
// freed record would show under the address sanitizer).
void HeldWorker(WorkerControlObject* worker) {
  worker->WorkerBegins();
  g_seenParameters = worker->GetParameters() + "|" + worker->GetCookieId() + "|" +
                     std::to_string(worker->GetUserData());
  for (; !g_release; ++g_loops, Pause(2)) worker->isExitRequested();
  g_ended = true;
}

// Ends as soon as it is asked to.
void CooperativeWorker(WorkerControlObject* worker) {
  while (!worker->isExitRequested()) Pause(5);
  g_ended = true;
}

// Waits until released, then reports once.
void ReportingWorker(WorkerControlObject* worker) {
  while (!g_release) Pause(1);
  std::string reply;
  g_postResult = worker->postToParent("body", &reply) ? 1 : 0;
  g_ended = true;
}

TEST(Worker, StartWaitAndStatus) {
  Reset();
  WorkerControlObject w("/w", HeldWorker, "desc", "p=1", "job!01", 7);
  // Not started: counts as ended and as asked to end.
  EXPECT_TRUE(w.hasExited());
  EXPECT_TRUE(w.waitForExit(0));
  EXPECT_EQ(w.GetExitWait(), 10u);

  ASSERT_TRUE(w.Start());
  auto start = Clock::now();
  EXPECT_FALSE(w.waitForExit(0) || w.hasExited());
  EXPECT_LT(SecondsSince(start), 0.5);
  EXPECT_FALSE(w.waitForExit(1));
  EXPECT_GE(SecondsSince(start), 0.9);

  w.SetCreated(1234);
  EXPECT_EQ(XmlOf([&](XMLAccumulator* xml) { w.WriteXML(xml); }),
            "<helper created=\"1234\"><desc>desc</desc><parameters>p=1</parameters><cookie-id>job!01</cookie-id>"
            "<exited>0</exited><exit-requested>0</exit-requested><exit-signaled>0</exit-signaled></helper>");

  g_release = true;
  EXPECT_TRUE(w.waitForExit(WorkerControlObject::kWaitForever) && w.hasExited() && g_ended);
  EXPECT_EQ(g_seenParameters, "p=1|job!01|7");
  EXPECT_FALSE(w.Start());  // one thread per record

  WorkerControlObject defaults("/w", HeldWorker, nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(defaults.GetDescription(), "{default}");
  EXPECT_TRUE(g_env->Logged("Created worker function in thread "));
}

// The page's own server is played by a scripted server whose port the
// process's server record names. Reports that are sent and answered:
// test_batch.py follows a job's progress through them.
TEST(WorkerReports, RefusedAfterTheExitRequestAndAbandoned) {
  auto start = [](const ScriptedServer& page) {
    Reset();
    TheServer().sockets.port = page.Port();
    return std::make_unique<WorkerControlObject>("/batch", ReportingWorker, "r", nullptr, nullptr, 0);
  };
  {
    ScriptedServer page("");
    auto w = start(page);
    EXPECT_FALSE(w->postToParent("x", nullptr));  // not started: asked to end
    ASSERT_TRUE(w->Start());
    w->setExitRequested();
    g_release = true;
    ASSERT_TRUE(w->waitForExit(10));
    EXPECT_EQ(g_postResult, 0);
    EXPECT_FALSE(page.WaitRequest(100));  // nothing was sent
  }
  {
    ScriptedServer page("", /*holdOpen=*/true);  // reads the report, never answers
    auto w = start(page);
    ASSERT_TRUE(w->Start());
    g_release = true;
    ASSERT_TRUE(page.WaitRequest(5000));
    EXPECT_FALSE(w->hasExited());  // waiting for an answer
    auto asked = Clock::now();
    w->setExitRequested();
    EXPECT_TRUE(w->waitForExit(5));
    EXPECT_LT(SecondsSince(asked), 1.0);
    EXPECT_EQ(g_postResult, 0);
  }
}

TEST(WorkerListTest, MaintenanceAndShutdownWait) {
  Reset();
  WorkerList list;
  WorkerControlObject* held = list.Add(std::make_unique<WorkerControlObject>("/w", HeldWorker, "held", nullptr,
                                                                              nullptr, 0));
  list.Add(std::make_unique<WorkerControlObject>("/w", HeldWorker, "never started", nullptr, nullptr, 0));
  ASSERT_TRUE(held->Start());
  EXPECT_EQ(list.Maintenance(), 1u);  // the record that never ran goes
  EXPECT_TRUE(g_env->Logged("MonitorPage::workersMaintenance discards worker control for [never started]"));
  EXPECT_EQ(XmlOf([&](XMLAccumulator* xml) { list.WriteXML(xml); }),
            XmlOf([&](XMLAccumulator* xml) { held->WriteXML(xml); }));  // the held one alone
  g_release = true;
  ASSERT_TRUE(WaitFor([&] { return list.Maintenance() == 0; }));
  EXPECT_TRUE(list.Empty());
}

TEST(WorkerListTest, StubbornWorkerIsGivenUpAfterItsExitWait) {
  Reset();
  WorkerList list;
  WorkerControlObject* stubborn =
      list.Add(std::make_unique<WorkerControlObject>("/w", HeldWorker, "stubborn", nullptr, nullptr, 0));
  stubborn->SetExitWait(1);
  ASSERT_TRUE(stubborn->Start());
  list.RequestExitAll();
  auto start = Clock::now();
  list.WaitForAll();
  EXPECT_GE(SecondsSince(start), 0.9);
  EXPECT_LT(SecondsSince(start), 3.0);
  EXPECT_TRUE(list.Empty());
  EXPECT_TRUE(g_env->Logged("Worker thread (stubborn) did not respond to exit request; terminating it"));
  // The record is gone; the thread goes on with its own handle.
  int loops = g_loops;
  EXPECT_TRUE(WaitFor([&] { return g_loops > loops + 5; }));
  g_release = true;
  EXPECT_TRUE(WaitFor([&] { return g_ended.load(); }));
}

TEST(WorkerPageTest, IdleShutdownAndStatus) {
  Reset();
  MonitorPage page("/workers", false);
  EXPECT_TRUE(page.IsIdle());
  WorkerControlObject* w = page.CreateWorkerFunction(CooperativeWorker, "polite", "a&b", "id!1", 3);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->GetPagePath() == "/workers" && w->GetCreated() > 1600000000u);
  ASSERT_TRUE(w->Start());
  EXPECT_FALSE(page.IsIdle());

  MemoryChannel io("");
  EXPECT_EQ(page.ReplyWithWorkerStatus(&io), 200);
  const std::string& out = io.Output();
  EXPECT_NE(out.find("\r\n\r\n\t<worker-status>\n\t\t<helper"), std::string::npos) << out;
  EXPECT_NE(out.find("<parameters>a&amp;b</parameters>"), std::string::npos);

  // A worker that ends when asked ends the shutdown wait early.
  auto start = Clock::now();
  page.OnPreShutdown();
  page.OnShutdown();
  EXPECT_LT(SecondsSince(start), 1.5);
  EXPECT_TRUE(g_ended && page.IsIdle());

  EXPECT_TRUE(MonitorPage::isWorkerMessage("fw_workerupdate=1") &&
              MonitorPage::IsWorkerStatusRequest("WorkerStatus=1"));
  for (const char* no : {"fw_workerupdate=1&x=1", "x=1&workerstatus=1", static_cast<const char*>(nullptr)})
    EXPECT_FALSE(MonitorPage::isWorkerMessage(no) || MonitorPage::IsWorkerStatusRequest(no));
}

}  // namespace
