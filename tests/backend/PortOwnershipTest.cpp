// Who answers on the backend's port, from the kernel's socket tables as they
// might read.

#include "backend/PortOwnership.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lumivant {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;

constexpr char kTcp[] =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout "
    "inode\n"
    "   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 "
    "5001 1 0000000000000000 100 0 0 10 0\n"
    "   1: 00000000:1F91 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1001        0 "
    "5002 1 0000000000000000 100 0 0 10 0\n"
    "   2: 0200007F:1F92 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 "
    "5003 1 0000000000000000 100 0 0 10 0\n"
    // A connection, not a listener, on the same port as the first.
    "   3: 0100007F:1F90 0100007F:D2F0 01 00000000:00000000 00:00000000 00000000  1000        0 "
    "5004 1 0000000000000000 20 4 30 10 -1\n"
    "   4: garbage\n";

constexpr char kTcp6[] =
    "  sl  local_address                         remote_address                        st "
    "tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
    "   0: 00000000000000000000000000000000:1F93 00000000000000000000000000000000:0000 0A "
    "00000000:00000000 00:00000000 00000000  1001        0 6001 1 0000000000000000 100 0 0 10 0\n"
    "   1: 0000000000000000FFFF00000100007F:1F94 00000000000000000000000000000000:0000 0A "
    "00000000:00000000 00:00000000 00000000  1001        0 6002 1 0000000000000000 100 0 0 10 0\n"
    "   2: 00000000000000000000000001000000:1F95 00000000000000000000000000000000:0000 0A "
    "00000000:00000000 00:00000000 00000000  1001        0 6003 1 0000000000000000 100 0 0 10 0\n";

TEST(PortOwnershipTest, ReadsListenersAndWhetherLoopbackReachesThem) {
  const auto v4 = parseListeningSockets(kTcp, AddressFamily::ipv4);
  EXPECT_THAT(
      v4, ElementsAre(Field(&ListeningSocket::inode, 5001), Field(&ListeningSocket::inode, 5002),
                      Field(&ListeningSocket::inode, 5003)));
  EXPECT_EQ(v4[0].port, 8080);
  EXPECT_EQ(v4[0].owner, 1000u);
  EXPECT_TRUE(v4[0].reachableOnLoopback);   // 127.0.0.1
  EXPECT_TRUE(v4[1].reachableOnLoopback);   // 0.0.0.0
  EXPECT_FALSE(v4[2].reachableOnLoopback);  // 127.0.0.2

  const auto v6 = parseListeningSockets(kTcp6, AddressFamily::ipv6);
  ASSERT_EQ(v6.size(), 3u);
  EXPECT_TRUE(v6[0].reachableOnLoopback);   // ::, which takes IPv4 too
  EXPECT_TRUE(v6[1].reachableOnLoopback);   // ::ffff:127.0.0.1
  EXPECT_FALSE(v6[2].reachableOnLoopback);  // ::1 takes no IPv4
}

struct HolderCase {
  const char* name;
  std::vector<ListeningSocket> listening;
  PortHolder expected;
};

class PortHolderTest : public ::testing::TestWithParam<HolderCase> {};

constexpr uid_t kUser = 1000;
constexpr uint16_t kPort = 8080;

TEST_P(PortHolderTest, OnlyTheBackendsOwnSocketsOfTheUserCount) {
  // The backend's tree holds sockets 1 and 2.
  EXPECT_EQ(holderOfLoopbackPort(GetParam().listening, kPort, kUser, {1, 2}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortHolderTest,
    ::testing::Values(
        HolderCase{"NothingListens", {}, PortHolder::nobody},
        HolderCase{"OtherPortsOnly", {{8081, true, kUser, 9}}, PortHolder::nobody},
        HolderCase{"NotReachableOnLoopback", {{kPort, false, 1001, 9}}, PortHolder::nobody},
        HolderCase{"TheBackend", {{kPort, true, kUser, 1}}, PortHolder::backend},
        HolderCase{"TheBackendTwice",
                   {{kPort, true, kUser, 1}, {kPort, true, kUser, 2}},
                   PortHolder::backend},
        HolderCase{"AnotherUsersSocket", {{kPort, true, 1001, 9}}, PortHolder::other},
        // Even a socket the tree holds counts as another's when the user differs:
        // it was passed in from outside.
        HolderCase{"TheTreesSocketOfAnotherUser", {{kPort, true, 1001, 1}}, PortHolder::other},
        HolderCase{"TheUsersOtherProgram", {{kPort, true, kUser, 9}}, PortHolder::other},
        HolderCase{"BesideTheBackend",
                   {{kPort, true, kUser, 1}, {kPort, true, 1001, 9}},
                   PortHolder::other}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumivant
