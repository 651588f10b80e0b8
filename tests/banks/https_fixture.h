// A throw-away HTTPS server on 127.0.0.1 for the hosted-bank tests: the
// server script, started and stopped by the test, with a certificate made
// for the run. The test target defines KELVO_TEST_PYTHON, KELVO_TEST_OPENSSL
// and KELVO_TEST_HTTPS_SERVER.
#pragma once

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "hosted_bank.h"
#include "pack_files.h"

extern char** environ;

namespace kelvo::test {

class HttpsServer {
  public:
    bool start(const std::filesystem::path& work, const std::filesystem::path& served) {
        caFile = (work / "cert.pem").string();
        std::string key = (work / "key.pem").string();
        std::string command = std::string(KELVO_TEST_OPENSSL) +
                              " req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
                              " -days 1 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1"
                              " -keyout '" +
                              key + "' -out '" + caFile + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return false;

        int input[2], output[2];
        if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], 0);
        posix_spawn_file_actions_adddup2(&actions, output[1], 1);
        std::string served_ = served.string();
        const char* argv[] = {KELVO_TEST_PYTHON, KELVO_TEST_HTTPS_SERVER, caFile.c_str(),
                              key.c_str(),       served_.c_str(),         nullptr};
        int spawned = posix_spawn(&pid_, KELVO_TEST_PYTHON, &actions, nullptr,
                                  const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(input[0]);
        ::close(output[1]);
        stdin_ = input[1];
        if (spawned != 0) {
            pid_ = -1;
            ::close(output[0]);
            return false;
        }
        // The first line is the port.
        std::string line;
        pollfd ready{output[0], POLLIN, 0};
        char c;
        while (line.find('\n') == std::string::npos && poll(&ready, 1, 20000) == 1 &&
               ::read(output[0], &c, 1) == 1)
            line += c;
        ::close(output[0]);
        port = std::atoi(line.c_str());
        return port > 0;
    }

    void stop() {
        if (stdin_ >= 0) ::close(stdin_);
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
        stdin_ = -1;
    }

    std::string url(const std::string& path, const char* scheme = "https") const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port) + "/" + path;
    }

    std::string caFile;
    int port = 0;

  private:
    pid_t pid_ = -1;
    int stdin_ = -1;
};

// A suite served by one such server; each test gets its own data folder as
// the user's data directory and fetch options trusting the server.
class LocalHttpsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        work = makeTempDir("kelvo-https-server");
        ASSERT_FALSE(work.empty());
        std::filesystem::create_directory(work / "served");
        ASSERT_TRUE(server.start(work, work / "served")) << "cannot start the HTTPS server";
    }
    static void TearDownTestSuite() {
        server.stop();
        std::filesystem::remove_all(work);
    }
    void SetUp() override {
        ASSERT_GT(server.port, 0);
        data = makeTempDir("kelvo-https-data");
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        ::setenv("NO_PROXY", "127.0.0.1", 1);
        options.caFile = server.caFile;
    }
    void TearDown() override { std::filesystem::remove_all(data); }

    static inline std::filesystem::path work;
    static inline HttpsServer server;
    std::filesystem::path data;
    HostedFetchOptions options;
};

}  // namespace kelvo::test
