// Drives the test client program (hg-x11client, see x11client.cpp for its
// command language) from an integration test: starts it on a display with its
// standard input and output connected to this object, sends command lines and
// reads the answers.
//
//     TestClient client(session.display());
//     ASSERT_TRUE(client.ok());
//     std::uint32_t editor = client.open("editor 400x300+100+100 class=editor,Editor");
//     client.command("activate editor");
//
// The program is ended when the object is destroyed. Test thread only.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace hg::testing {

class TestClient {
public:
    explicit TestClient(const std::string& display);
    ~TestClient();
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    [[nodiscard]] bool ok() const { return m_pid > 0 && m_processID > 0; }
    // The client program's process id (the `_NET_WM_PID` its windows carry).
    [[nodiscard]] pid_t pid() const { return m_processID; }

    // Sends one command line and returns the answer line ("ok ..." or
    // "error ..."; "error timeout" after 10 s without an answer).
    std::string command(const std::string& line);
    // "open ..." without the word open; the new client window's id, 0 on failure.
    std::uint32_t open(const std::string& arguments);

private:
    std::string readLine();

    pid_t m_pid = -1;        // the child process
    pid_t m_processID = -1;  // what the program reported (the same process)
    int m_in = -1;           // its standard input
    int m_out = -1;          // its standard output
    std::string m_buffer;
};

} // namespace hg::testing
