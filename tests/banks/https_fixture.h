// A throw-away HTTPS server on 127.0.0.1 for the hosted-bank tests: the
// server script, started and stopped by the test, with a certificate made
// for the run. The test target defines KELVO_TEST_PYTHON, KELVO_TEST_OPENSSL
// and KELVO_TEST_HTTPS_SERVER.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "hosted_bank.h"
#include "pack_files.h"

namespace kelvo::test {

// A suite served by one such server; each test gets its own data folder as
// the user's data directory and fetch options trusting the server.
class LocalHttpsTest : public ::testing::Test {
  protected:
    // The server prints its port, and ends when its standard input closes.
    static void SetUpTestSuite() {
        work = makeTempDir("kelvo-https-server");
        ASSERT_FALSE(work.empty());
        fs::create_directory(work / "served");
        const std::string quoted = "'" + work.string() + "/", caFile = quoted + "cert.pem'",
                          key = quoted + "key.pem'";
        ASSERT_EQ(std::system((std::string(KELVO_TEST_OPENSSL) +
                               " req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
                               " -days 1 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1"
                               " -keyout " +
                               key + " -out " + caFile + " >/dev/null 2>&1")
                                  .c_str()),
                  0);
        server = popen((std::string(KELVO_TEST_PYTHON) + " " + KELVO_TEST_HTTPS_SERVER + " " +
                        caFile + " " + key + " " + quoted + "served' > " + quoted + "port'")
                           .c_str(),
                       "w");
        for (int tries = 0; server && port <= 0 && tries < 2000; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::ifstream(work / "port") >> port;
        }
        ASSERT_GT(port, 0) << "cannot start the HTTPS server";
    }
    static void TearDownTestSuite() {
        if (server) pclose(server);
        fs::remove_all(work);
    }
    void SetUp() override {
        ASSERT_GT(port, 0);
        data = makeTempDir("kelvo-https-data");
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        ::setenv("NO_PROXY", "127.0.0.1", 1);
        options.caFile = (work / "cert.pem").string();
    }
    void TearDown() override { fs::remove_all(data); }

    static std::string url(const std::string& path, const char* scheme = "https") {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port) + "/" + path;
    }

    static inline fs::path work;
    static inline FILE* server = nullptr;
    static inline int port = 0;
    fs::path data;
    HostedFetchOptions options;
};

}  // namespace kelvo::test
