// A throw-away HTTPS server on 127.0.0.1 for the hosted-bank tests: the
// server script, started and stopped by the test, with a certificate made
// for the run. The test target defines KELVO_TEST_PYTHON, KELVO_TEST_OPENSSL
// and KELVO_TEST_HTTPS_SERVER.
#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "hosted_bank.h"
#include "pack_files.h"
#include "temp_dir.h"
#include "zip_bytes.h"

namespace kelvo::test {

// A suite served by one such server; each test gets its own data folder as
// the user's data directory and fetch options trusting the server.
class LocalHttpsTest : public ::testing::Test {
  protected:
    // Started by the suite's first test, not in SetUpTestSuite: a failure
    // there would make every test a skip, and a broken server must fail them.
    // It makes its certificate, writes its port to a file, and ends when its
    // standard input closes.
    static void startServer() {
        work = makeTempDir("kelvo-https-server");
        server = popen((std::string(KELVO_TEST_PYTHON) + " " + KELVO_TEST_HTTPS_SERVER + " " +
                        KELVO_TEST_OPENSSL + " '" + work.string() + "'")
                           .c_str(),
                       "w");
        for (int tries = 0; server && port <= 0 && tries < 2000; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::ifstream(work / "port") >> port;
        }
    }
    static void TearDownTestSuite() {
        if (server) pclose(server);
        server = nullptr;
        port = 0;
        fs::remove_all(work);
    }
    void SetUp() override {
        if (!server) startServer();
        ASSERT_GT(port, 0) << "cannot start the HTTPS server";
        data = makeTempDir("kelvo-https-data");
        root = data / "Kelvo/banks";
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        ::setenv("NO_PROXY", "127.0.0.1", 1);
        options.caFile = (work / "cert.pem").string();
    }
    void TearDown() override { fs::remove_all(data); }

    // Serves `entries` as a zip under `name`; returns its digest.
    static std::string serve(const std::string& name, const std::vector<ZipEntry>& entries) {
        std::vector<uint8_t> zip = makeZip(entries);
        writeFile(work / "served" / name, zip);
        return sha256Of(zip);
    }
    static std::string url(const std::string& path, const char* scheme = "https") {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port) + "/" + path;
    }

    static inline fs::path work;
    static inline FILE* server = nullptr;
    static inline int port = 0;
    fs::path data, root;  // the user's data directory, and the bank cache in it
    HostedFetchOptions options;
};

}  // namespace kelvo::test
