#include "platform/win_sock.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class Winsock : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(WSAStartup(0x0101, &data), 0); }
    void TearDown() override { EXPECT_EQ(WSACleanup(), 0); }

    sockaddr_in loopback(std::uint16_t port)
    {
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = htons(port);
        target.sin_addr.s_addr = inet_addr("127.0.0.1");
        return target;
    }

    WSADATA data{};
};

TEST(WinsockStartup, NegotiatesTheVersionAndCountsStarts)
{
    WSADATA data{};
    EXPECT_EQ(WSAStartup(0x0000, &data), WSAVERNOTSUPPORTED);
    EXPECT_EQ(socket(AF_INET, SOCK_STREAM, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);

    ASSERT_EQ(WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    EXPECT_EQ(data.wHighVersion, 0x0202);
    ASSERT_EQ(WSAStartup(0x0303, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0202);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST(WinsockStartup, LastCleanupClosesOpenSockets)
{
    WSADATA data{};
    ASSERT_EQ(WSAStartup(0x0101, &data), 0);
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_NE(s, INVALID_SOCKET);
    EXPECT_EQ(WSACleanup(), 0);
    ASSERT_EQ(WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    EXPECT_EQ(WSACleanup(), 0);
}

TEST(WinsockAddress, ParsesDottedForms)
{
    struct Case {
        const char* text;
        std::uint32_t address;
    };
    const Case cases[] = {
        {"127.0.0.1", 0x0100007F},   {"127.1", 0x0100007F},      {"10.0.0.255", 0xFF00000A},
        {"10.0.0.256", INADDR_NONE}, {"localhost", INADDR_NONE}, {"", INADDR_NONE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(inet_addr(c.text), c.address) << c.text;
    EXPECT_EQ(htons(9801), 0x4926);
}

TEST_F(Winsock, HostLookupGivesIPv4Addresses)
{
    hostent* host = gethostbyname("127.0.0.1");
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->h_addrtype, AF_INET);
    EXPECT_EQ(host->h_length, 4);
    ASSERT_NE(host->h_addr_list[0], nullptr);
    std::uint32_t address;
    std::memcpy(&address, host->h_addr_list[0], sizeof address);
    EXPECT_EQ(address, 0x0100007Fu);
    EXPECT_EQ(host->h_addr_list[1], nullptr);
}

TEST_F(Winsock, ReportsFailuresAsThePlatformDoes)
{
    EXPECT_EQ(socket(AF_INET, 2, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAESOCKTNOSUPPORT);
    EXPECT_EQ(socket(23, SOCK_STREAM, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEAFNOSUPPORT);

    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(s, INVALID_SOCKET);
    const DWORD value = 1;
    EXPECT_EQ(setsockopt(s, SOL_SOCKET, 0x0004, reinterpret_cast<const char*>(&value), sizeof value),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
    char piece[8];
    EXPECT_EQ(recv(s, piece, sizeof piece, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);

    // Port 1 on the loopback has no listener on any test host.
    sockaddr_in target = loopback(1);
    EXPECT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&target), sizeof target), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
    EXPECT_EQ(closesocket(s), 0);
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

} // namespace
