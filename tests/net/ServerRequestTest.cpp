// The one request to the launcher server, against a real local server.
#include "net/ServerRequest.hpp"

#include "net/BuildConfig.hpp"

#include "support/Base64.hpp"
#include "support/LocalServer.hpp"
#include "support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using testing_support::LocalServer;
using testing_support::TempFolder;

namespace {

struct SeenRequest {
    std::string method;
    std::string path;
    std::string query;
    std::string contentType;
    std::string userAgent;
    std::string body;
};

class ServerRequestTest : public ::testing::Test {
protected:
    void serve(int status, std::string body, std::string contentType = "application/json") {
        auto handler = [this, status, body, contentType](const httplib::Request& request, httplib::Response& response) {
            {
                const std::lock_guard lock(m_mutex);
                m_seen.method = request.method;
                m_seen.path = request.path;
                m_seen.query = request.target.substr(
                    request.target.find('?') == std::string::npos ? request.target.size() : request.target.find('?'));
                m_seen.contentType = request.get_header_value("Content-Type");
                m_seen.userAgent = request.get_header_value("User-Agent");
                m_seen.body = request.body;
                ++m_requests;
            }
            response.status = status;
            if (status == 301 || status == 302)
                response.set_header("Location", "/elsewhere");
            if (!body.empty())
                response.set_content(body, contentType);
        };
        m_server.server().Post("/get_data.php", handler);
        m_server.server().Get("/get_data.php", handler);
        ASSERT_TRUE(m_server.start());
    }

    SeenRequest seen() {
        const std::lock_guard lock(m_mutex);
        return m_seen;
    }

    LocalServer m_server;
    std::mutex m_mutex;
    SeenRequest m_seen;
    std::atomic<int> m_requests{0};
};

TEST_F(ServerRequestTest, SuccessParsesTheBodyAndSendsTheExpectedRequest) {
    serve(200, R"({"lang": "fa", "version": 3, "files": [1, 2]})");
    JsonValue document;
    ASSERT_TRUE(fetchServerData(document, m_server.base()));
    EXPECT_EQ(document["lang"].asText(), "fa");
    EXPECT_EQ(document["version"].asInt(), 3);
    EXPECT_EQ(document["files"].arrayLength(), 2);

    const SeenRequest request = seen();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/get_data.php");
    EXPECT_EQ(request.contentType, "application/x-www-form-urlencoded");
    EXPECT_EQ(request.userAgent, "varnhold-launcher/" + std::to_string(build::launcherVersion));
    EXPECT_TRUE(request.body.empty());
    // "?" then a bare number from 0 to 32767: no name, no equals sign.
    ASSERT_GE(request.query.size(), 2u) << request.query;
    EXPECT_EQ(request.query[0], '?');
    const std::string number = request.query.substr(1);
    EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << number;
    EXPECT_LE(std::stoi(number), 32767);
    EXPECT_TRUE(number == "0" || number[0] != '0') << "no leading zeros: " << number;
}

TEST_F(ServerRequestTest, EmptyOrHtmlBodiesStillCountAsAnAnswer) {
    serve(204, "");
    JsonValue document = JsonValue::make(JsonType::Object);
    ASSERT_TRUE(fetchServerData(document, m_server.base()));
    EXPECT_EQ(document.type(), JsonType::Null);
}

TEST_F(ServerRequestTest, HtmlPageGivesNullDocument) {
    serve(200, "<html><body>maintenance</body></html>", "text/html");
    JsonValue document = JsonValue::make(JsonType::Object);
    ASSERT_TRUE(fetchServerData(document, m_server.base()));
    EXPECT_EQ(document.type(), JsonType::Null);
}

TEST_F(ServerRequestTest, RedirectsAndErrorsAreFailuresAndLeaveTheDocumentAlone) {
    for (const int status : {301, 302, 404, 500}) {
        LocalServer server;
        server.server().Post("/get_data.php", [status](const httplib::Request&, httplib::Response& response) {
            response.status = status;
            response.set_header("Location", "/get_data.php");
            response.set_content(R"({"version": 9})", "application/json");
        });
        ASSERT_TRUE(server.start());
        JsonValue document;
        document["kept"] = JsonValue::make(JsonType::Boolean);
        EXPECT_FALSE(fetchServerData(document, server.base())) << status;
        EXPECT_EQ(document.type(), JsonType::Object) << status;
        EXPECT_EQ(document["version"].type(), JsonType::Null) << status;
    }
}

TEST(ServerSignatureTest, SignatureComesInTheHeaderOrBesideTheDocument) {
    const std::string signatureFile = "untrusted comment: x\nRUQ=\ntrusted comment: serial=1\nAAAA\n";
    enum class Mode { Header, BrokenHeader, Beside, None };
    std::atomic<Mode> mode{Mode::Header};
    std::mutex mutex; // guards the fields below, written on the server's threads
    std::string signatureTarget;
    int documentPort = 0;
    int signaturePort = 0;
    LocalServer server;
    server.server().Post("/get_data.php", [&](const httplib::Request& request, httplib::Response& response) {
        {
            const std::lock_guard lock(mutex);
            documentPort = request.remote_port;
        }
        if (mode == Mode::Header)
            response.set_header("x-varnhold-signature", testing_support::base64(signatureFile));
        if (mode == Mode::BrokenHeader)
            response.set_header("X-Varnhold-Signature", "not base64!");
        response.set_content("{}", "application/json");
    });
    server.server().Get("/get_data.php.minisig", [&](const httplib::Request& request, httplib::Response& response) {
        const std::lock_guard lock(mutex);
        signatureTarget = request.target;
        signaturePort = request.remote_port;
        if (mode == Mode::Beside)
            response.set_content(signatureFile, "text/plain");
        else
            response.status = 404;
    });
    ASSERT_TRUE(server.start());
    const auto fetch = [&](Mode next) {
        mode = next;
        {
            const std::lock_guard lock(mutex);
            signatureTarget.clear();
        }
        return fetchServerReply(server.base(), {}, SignatureFetch::Yes);
    };

    std::optional<ServerReply> reply = fetch(Mode::Header);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->body, "{}");
    EXPECT_EQ(reply->signature, signatureFile) << "the header's name is matched in any letter case";
    reply = fetch(Mode::BrokenHeader);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->signature, "") << "a header that is no base64 is a bad signature, not a missing one";
    {
        const std::lock_guard lock(mutex);
        EXPECT_EQ(signatureTarget, "") << "with a header, nothing else is asked for";
    }

    reply = fetch(Mode::Beside);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->signature, signatureFile);
    {
        // The same address and query number with ".minisig" on the path, over the document's connection.
        const std::lock_guard lock(mutex);
        EXPECT_EQ(signatureTarget, "/get_data.php.minisig" + reply->url.substr(reply->url.find('?')));
        EXPECT_EQ(signaturePort, documentPort);
    }
    reply = fetch(Mode::None);
    ASSERT_TRUE(reply.has_value());
    EXPECT_FALSE(reply->signature.has_value()) << "a 404 is no signature";

    mode = Mode::Beside;
    reply = fetchServerReply(server.base());
    ASSERT_TRUE(reply.has_value());
    EXPECT_FALSE(reply->signature.has_value()) << "not asked for, not fetched";
}

TEST_F(ServerRequestTest, RefusedConnectionIsAFailure) {
    int port = 0;
    {
        LocalServer closed;
        ASSERT_TRUE(closed.start());
        port = closed.port();
    } // nothing listens there any more
    JsonValue document;
    EXPECT_FALSE(fetchServerData(document, "http://127.0.0.1:" + std::to_string(port) + "/"));
    EXPECT_EQ(document.type(), JsonType::Null);
}

TEST(ServerRequestLimitsTest, SilentServersAndOverlongRepliesAreFailures) {
    std::atomic<bool> silent{true};
    LocalServer server; // ends before the flag its handler reads
    server.server().Post("/get_data.php", [&silent](const httplib::Request&, httplib::Response& response) {
        if (!silent) {
            // 4 KiB with no length announced, so only the running count can stop it.
            response.set_chunked_content_provider("application/json", [](size_t, httplib::DataSink& sink) {
                const std::string block(1024, ' ');
                for (int i = 0; i < 4; ++i)
                    sink.write(block.data(), block.size());
                sink.done();
                return true;
            });
            return;
        }
        while (silent)
            std::this_thread::sleep_for(10ms);
    });
    ASSERT_TRUE(server.start());
    ServerRequestOptions options;
    options.timeout = 1s;
    options.maxBodyBytes = 1024;

    JsonValue document;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(fetchServerData(document, server.base(), options));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    silent = false;
    EXPECT_FALSE(fetchServerData(document, server.base(), options));
    EXPECT_EQ(document.type(), JsonType::Null);
    options.maxBodyBytes = 4096;
    EXPECT_TRUE(fetchServerData(document, server.base(), options));
}

// https with a throw-away certificate: refused while nothing vouches for it, accepted once it is trusted. Only
// where the test server itself can speak TLS (the Windows tests' cpp-httplib is built without OpenSSL).
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
TEST(ServerRequestHttpsTest, CertificatesAreCheckedAgainstTheTrustedOnes) {
    const TempFolder folder;
    const std::optional<testing_support::TestCertificate> made = testing_support::makeTestCertificate(folder.path());
    ASSERT_TRUE(made);
    LocalServer server(made->certificate, made->key);
    server.server().Post("/get_data.php", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(R"({"version": 3})", "application/json");
    });
    ASSERT_TRUE(server.start());

    JsonValue document;
    EXPECT_FALSE(fetchServerData(document, server.base())) << "an unknown certificate was accepted";
    EXPECT_EQ(document.type(), JsonType::Null);
    ServerRequestOptions trusting;
    trusting.caFile = made->certificate;
    EXPECT_TRUE(fetchServerData(document, server.base(), trusting));
    EXPECT_EQ(document["version"].asInt(), 3);
}
#endif

TEST(ServerAddressTest, ExplicitPortsAreKeptAndBadAddressesRefused) {
    const ServerAddress withPort = parseServerAddress("http://127.0.0.1:8642/");
    EXPECT_EQ(withPort.host, "http://127.0.0.1");
    EXPECT_EQ(withPort.port, 8642);

    const ServerAddress defaultPort = parseServerAddress("http://launcher.example.org/");
    EXPECT_EQ(defaultPort.host, "http://launcher.example.org");
    EXPECT_EQ(defaultPort.port, 0);

    EXPECT_EQ(parseServerAddress("127.0.0.1:80").host, "http://127.0.0.1");
    EXPECT_TRUE(parseServerAddress("").host.empty());
    EXPECT_TRUE(parseServerAddress("http://:80/").host.empty());
    EXPECT_TRUE(parseServerAddress("http://host:99999/").host.empty());
    EXPECT_TRUE(parseServerAddress("http://host:12ab/").host.empty());

    JsonValue document;
    EXPECT_FALSE(fetchServerData(document, "http://host:notaport/"));
}

} // namespace
