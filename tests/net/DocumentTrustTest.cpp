// The check of a signed server document against signatures made by the real minisign: what passes, and each way
// an attacker on the path or on the web host could try to get a document of their own acted on.
#include "net/DocumentTrust.hpp"

#include "net/SeenSerial.hpp"
#include "support/Base64.hpp"
#include "support/SignedFixtures.hpp"

#include <gtest/gtest.h>

using namespace testing_support;
using Clock = std::chrono::system_clock;

namespace {

// The fixtures' documents expire at 2099-01-01T00:00:00Z.
constexpr std::int64_t fixtureExpiry = 4070908800;
const Clock::time_point beforeExpiry = Clock::time_point(std::chrono::seconds(fixtureExpiry - 1));

class DocumentTrustTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (signingFolder().empty())
            GTEST_SKIP() << "the build had no minisign to sign the fixtures with";
        ASSERT_FALSE(m_folder.path().empty());
        m_document = readFile(signingFolder() / "document.json");
        m_policy.keys = {signingKey("current")};
        m_policy.required = true;
        m_policy.seenSerialFile = (m_folder.path() / "cache" / "varnhold-launcher" / "serial.txt").string();
    }

    std::string signature(const std::string& suffix = "") const {
        return readFile(signingFolder() / ("document.json" + suffix + ".minisig"));
    }

    DocumentTrust verify(const std::string& body, const std::optional<std::string>& signatureFile,
                         Clock::time_point now = beforeExpiry) const {
        return verifyServerDocument(body, signatureFile, m_policy, now);
    }

    TempFolder m_folder;
    std::string m_document;
    SigningPolicy m_policy;
};

TEST_F(DocumentTrustTest, SignedDocumentIsVerifiedAndItsSerialKept) {
    const DocumentTrust trust = verify(m_document, signature());
    ASSERT_TRUE(trust.verified()) << trust.toString();
    EXPECT_EQ(trust.serial, 7u);
    EXPECT_EQ(trust.expires, fixtureExpiry);
    EXPECT_EQ(trust.keyId, signingKey("current").idText());
    EXPECT_EQ(readSeenSerial(m_policy.seenSerialFile), 7u);
    // The legacy form signs the bytes themselves rather than their BLAKE2b-512 digest; it is accepted too.
    EXPECT_TRUE(verify(m_document, signature(".legacy")).verified());
}

TEST_F(DocumentTrustTest, EitherKeyOfARollOverIsAccepted) {
    EXPECT_EQ(verify(m_document, signature(".next")).problem, TrustProblem::UnknownKey);
    m_policy.keys.push_back(signingKey("next"));
    const DocumentTrust trust = verify(m_document, signature(".next"));
    EXPECT_TRUE(trust.verified()) << trust.toString();
    EXPECT_EQ(trust.keyId, signingKey("next").idText());
}

TEST_F(DocumentTrustTest, TamperedBodyIsRefused) {
    for (const char* suffix : {"", ".legacy"}) {
        std::string changed = m_document;
        changed[changed.find("en")] = 'f'; // "lang": "fn"
        EXPECT_EQ(verify(changed, signature(suffix)).problem, TrustProblem::BadSignature) << suffix;
        EXPECT_EQ(verify(m_document + " ", signature(suffix)).problem, TrustProblem::BadSignature) << suffix;
    }
    EXPECT_EQ(readSeenSerial(m_policy.seenSerialFile), 0u) << "a refused document must not move the serial";
}

TEST_F(DocumentTrustTest, TamperedTrustedCommentIsRefused) {
    // A later serial or expiry written over the signed one would outlive the document's replacement.
    std::string raised = signature();
    raised.replace(raised.find("serial=7"), 8, "serial=9999");
    EXPECT_EQ(verify(m_document, raised).problem, TrustProblem::BadTrustedComment);
    std::string extended = signature();
    extended.replace(extended.find("2099"), 4, "2999");
    EXPECT_EQ(verify(m_document, extended).problem, TrustProblem::BadTrustedComment);
}

TEST_F(DocumentTrustTest, WrongKeyIsRefused) {
    const DocumentTrust stranger = verify(m_document, signature(".stranger"));
    EXPECT_EQ(stranger.problem, TrustProblem::UnknownKey);
    EXPECT_EQ(stranger.keyId, signingKey("stranger").idText());

    // The stranger's signature made to name the trusted key's id: the id picks the key, the key still checks.
    const std::string file = signature(".stranger");
    const std::size_t lineStart = file.find('\n') + 1;
    const std::size_t lineEnd = file.find('\n', lineStart);
    std::string line = decodeBase64(std::string_view(file).substr(lineStart, lineEnd - lineStart)).value();
    const MinisignKey trusted = signingKey("current");
    line.replace(2, trusted.id.size(), reinterpret_cast<const char*>(trusted.id.data()), trusted.id.size());
    const std::string forged = file.substr(0, lineStart) + base64(line) + file.substr(lineEnd);
    EXPECT_EQ(verify(m_document, forged).problem, TrustProblem::BadSignature);
}

TEST_F(DocumentTrustTest, ExpiredDocumentIsRefused) {
    const DocumentTrust trust = verify(m_document, signature(), Clock::time_point(std::chrono::seconds(fixtureExpiry)));
    EXPECT_EQ(trust.problem, TrustProblem::Expired);
    EXPECT_EQ(trust.expires, fixtureExpiry);
}

TEST_F(DocumentTrustTest, ReplayedDocumentIsRefused) {
    ASSERT_TRUE(writeSeenSerial(m_policy.seenSerialFile, 8));
    const DocumentTrust replayed = verify(m_document, signature());
    EXPECT_EQ(replayed.problem, TrustProblem::Replayed);
    EXPECT_EQ(replayed.seenSerial, 8u);
    EXPECT_EQ(readSeenSerial(m_policy.seenSerialFile), 8u);

    // The same document again is no replay: it is fetched at every start.
    ASSERT_TRUE(writeSeenSerial(m_policy.seenSerialFile, 7));
    EXPECT_TRUE(verify(m_document, signature()).verified());

    // A damaged record counts as none, and the document's serial takes its place.
    std::string damaged = readFile(m_policy.seenSerialFile);
    damaged[damaged.find('7')] = '9';
    writeFile(m_policy.seenSerialFile, damaged);
    EXPECT_EQ(readSeenSerial(m_policy.seenSerialFile), 0u);
    EXPECT_TRUE(verify(m_document, signature()).verified());
    EXPECT_EQ(readSeenSerial(m_policy.seenSerialFile), 7u);
}

TEST_F(DocumentTrustTest, MissingOrUnreadableSignatureIsRefused) {
    EXPECT_EQ(verify(m_document, std::nullopt).problem, TrustProblem::Missing);
    const std::string whole = signature();
    for (const std::string& broken : {std::string(), std::string("<html>404</html>"), whole.substr(0, whole.size() / 2),
                                      whole + "untrusted comment: more\n", std::string(maxMinisignFileBytes + 1, 'A')})
        EXPECT_EQ(verify(m_document, broken).problem, TrustProblem::Malformed) << broken.substr(0, 40);
    // minisign's own trusted comment says neither serial nor expiry: such a document could be replayed for ever.
    EXPECT_EQ(verify(m_document, signature(".plain")).problem, TrustProblem::NoFreshness);
}

TEST_F(DocumentTrustTest, BrokenBuiltInKeyRefusesEverything) {
    const std::string_view lines[] = {"RWQnot-a-key"};
    const SigningPolicy broken = SigningPolicy::fromKeyLines(lines, {});
    EXPECT_TRUE(broken.required);
    EXPECT_EQ(verifyServerDocument(m_document, signature(), broken, beforeExpiry).problem, TrustProblem::UnknownKey);
    // The line alone and the whole public key file give the same key.
    const std::string file = readFile(signingFolder() / "current.pub");
    const std::optional<MinisignKey> fromLine = parseMinisignKey(file.substr(file.find('\n') + 1));
    ASSERT_TRUE(fromLine.has_value());
    EXPECT_EQ(fromLine->id, signingKey("current").id);
    EXPECT_EQ(fromLine->key, signingKey("current").key);
    EXPECT_FALSE(parseMinisignKey(file + file).has_value()) << "two keys in one text are no key";
}

TEST(FreshnessTest, SerialAndExpiryAreReadStrictly) {
    const std::optional<Freshness> read = readFreshness("serial=42 expires=2027-01-31T00:00:00Z");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->serial, 42u);
    EXPECT_EQ(read->expires, 1801353600);
    EXPECT_EQ(freshnessComment(*read), "serial=42 expires=2027-01-31T00:00:00Z");
    const std::optional<Freshness> padded =
        readFreshness("\tfile:get_data.json  expires=1970-01-01T00:00:01Z serial=0 ");
    ASSERT_TRUE(padded.has_value());
    EXPECT_EQ(padded->expires, 1);

    for (const char* comment :
         {"", "serial=42", "expires=2027-01-31T00:00:00Z", "serial=-1 expires=2027-01-31T00:00:00Z",
          "serial=4x expires=2027-01-31T00:00:00Z", "serial=99999999999999999999 expires=2027-01-31T00:00:00Z",
          "serial=1 serial=2 expires=2027-01-31T00:00:00Z", "serial=1 expires=2027-02-30T00:00:00Z",
          "serial=1 expires=2027-01-31T24:00:00Z", "serial=1 expires=2027-01-31T00:00:00+01:00",
          "serial=1 expires=2027-01-31", "serial=1 expires=2027-01-31T00:00:00Z expires=2028-01-31T00:00:00Z"})
        EXPECT_FALSE(readFreshness(comment).has_value()) << comment;
}

} // namespace
