// Many backends in a row leave nothing behind: no zombie, no descriptor, no
// thread.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include "ProcessProbes.h"
#include "backend/Backend.h"
#include "base/UniqueFd.h"

namespace lumivant {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

bool accepts(uint16_t port) {
  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  address.sin_port = htons(port);
  return ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

// One full life of a backend whose child answers 200 as soon as it listens.
void runOneCycle(const std::string& logDirectory) {
  auto backend = std::make_shared<Backend>(LUMIVANT_TEST_CHILD, logDirectory);
  backend->start();
  // Listening first, so that the wait's first probe is answered.
  ASSERT_TRUE(testing::waitFor([&] { return accepts(backend->port()); }));
  ASSERT_EQ(backend->waitUntilReady(30), std::nullopt);
  backend->setOnExit([backend](ChildExit) {});  // the cycle of the start-up flow
  backend->stop();
}

bool settledAt(size_t descriptors, size_t threads) {
  return testing::ourChildren().empty() && testing::ourDescriptorCount() == descriptors &&
         testing::ourThreadCount() == threads;
}

TEST(BackendCyclesTest, TwoHundredBackendsLeaveNoZombieDescriptorOrThread) {
  TempDir logs;
  ScopedEnv mode("LUMIVANT_TEST_CHILD", "serve");
  // One life first, so that what the HTTP client sets up once for good is counted in.
  runOneCycle(logs.str());
  ASSERT_TRUE(testing::waitFor([] { return testing::ourChildren().empty(); }));
  // The sweep for adopted orphans stays for the life of the process, and so
  // does GLib's shared worker once the HTTP client has started it.
  const size_t glibWorker = testing::ourThreadNames().find("gmain") != std::string::npos;
  ASSERT_TRUE(testing::waitFor([&] { return testing::ourThreadCount() == 2 + glibWorker; }))
      << "the watcher and probe threads end: " << testing::ourThreadNames();
  const size_t descriptors = testing::ourDescriptorCount();
  const size_t threads = testing::ourThreadCount();

  for (int cycle = 0; cycle < 200; ++cycle) {
    runOneCycle(logs.str());
    if (HasFatalFailure()) return;
  }
  EXPECT_TRUE(testing::waitFor([&] { return settledAt(descriptors, threads); }))
      << "children " << testing::ourChildren().size() << ", descriptors "
      << testing::ourDescriptorCount() << " (was " << descriptors << "), threads "
      << testing::ourThreadCount() << " (was " << threads << ")";
}

}  // namespace
}  // namespace lumivant
