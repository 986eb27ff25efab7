#include "app/ModuleListSignature.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "net/Retry.h"
#include "support/Signature.h"
#include "tests/TestServer.h"
#include "tests/TestSupport.h"

using namespace testing_support;

TEST(ModuleListSignature, PublicKeysAreOneOrTwoKeyTextsAndNothingElse) {
  const ecdsa::KeyPair a = ecdsa::generateKeyPair(), b = ecdsa::generateKeyPair();
  const std::string textA = publicKeyTextOf(a.point), textB = publicKeyTextOf(b.point);
  for (const char* blank : {"", " \r\n\t"}) EXPECT_TRUE(publicKeysOf(blank).empty()) << blank;
  EXPECT_EQ(publicKeysOf("\n  " + textA + "\n"), std::vector<std::string>{a.point});
  EXPECT_EQ(publicKeysOf(textB + " \r\n " + textA), (std::vector<std::string>{b.point, a.point}));
  EXPECT_EQ(failureText([&] { publicKeysOf(textA + " " + textB + " " + textA); }), "publicKeys: more than two keys");
  EXPECT_EQ(failureText([&] { publicKeysOf(textA + "," + textB); }), "publicKeys: key 1 is not a P-256 public key");
  EXPECT_EQ(failureText([&] { publicKeysOf(textA + " " + textB.substr(4)); }),
            "publicKeys: key 2 is not a P-256 public key");
}

TEST(ModuleListSignature, AListIsTakenOnlyWithASignatureByOneOfTheKeysOverItsExactBytes) {
  TestServer server;
  const ecdsa::KeyPair oldKey = ecdsa::generateKeyPair(), newKey = ecdsa::generateKeyPair(),
                      unknown = ecdsa::generateKeyPair();
  const std::string list = "<downloadFiles><module name=\"a.dll\" version=\"1\"/></downloadFiles>";
  const std::string listAddress = server.baseUrl() + "/list?lang=en";
  const std::vector<std::string> keys = {oldKey.point, newKey.point};
  // The signature file served with its status and mode, the first failFirst
  // answers cut short; the list checked; the failure (empty: taken).
  struct Case { const char* name; std::string served; int status; std::string list, failure;
                BodyMode mode = BodyMode::Normal; int failFirst = 0; } cases[] = {
      {"old key", signBytes(oldKey, list), 200, list, ""},
      {"new key", signBytes(newKey, list), 200, list, ""},
      {"a byte changed", signBytes(newKey, list), 200, list.substr(0, 10) + "M" + list.substr(11),
       "module list signature does not match any of the public keys"},
      {"unknown key", signBytes(unknown, list), 200, list,
       "module list signature does not match any of the public keys"},
      {"truncated", signBytes(newKey, list).substr(0, 40), 200, list,
       "module list signature malformed (40 bytes, not a DER ECDSA P-256 signature)"},
      {"empty", "", 200, list, "module list signature malformed (0 bytes, not a DER ECDSA P-256 signature)"},
      {"missing", "", 404, list, "module list signature missing: Server data not available (error code 404)"},
      {"far too large", std::string(1 << 20, '0'), 200, list,
       "module list signature missing: Server answer too large (more than 4096 bytes)"},
      {"cut short, then whole", signBytes(newKey, list), 200, list, "", BodyMode::Normal, 1},
      {"always cut short", std::string(40, '0'), 200, list,
       "module list signature missing: incomplete download (40 of 1040 bytes)", BodyMode::CutShort},
  };
  setRetryPauseForTesting([](uint32_t) {});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Route route{c.status, c.served, c.mode};
    std::tie(route.failFirst, route.failMode, route.failStatus) = std::make_tuple(c.failFirst, BodyMode::CutShort, 200);
    server.setRoute("/list.sig", route);
    LogCapture log;
    EXPECT_EQ(failureText([&] { verifyModuleListSignature(keys, listAddress, c.list); }), c.failure);
    std::vector<std::string> lines = log.lines();
    bool logged = !lines.empty() && lines.back().rfind("module list signed by public key ", 0) == 0;
    EXPECT_EQ(logged, c.failure.empty());
  }
  setRetryPauseForTesting(nullptr);
  EXPECT_EQ(server.requests().back().path, "/list.sig");
  EXPECT_EQ(server.requests().back().query, "lang=en");
}

TEST(ModuleListSignature, ASignedListMustPinEveryFileWithASha256) {
  ModuleList list;
  const char* xml =
      "<modules><module name=\"a\" version=\"1\" sha256=\"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\"/>"
      "<module name=\"b\" version=\"1\" md5sum=\"d41d8cd98f00b204e9800998ecf8427e\"/>"
      "<module name=\"c\" version=\"1\" sha256=\"e3b0\"/></modules>";
  list.readMemory(xml, std::strlen(xml));
  EXPECT_EQ(failureText([&] { requireSha256(list); }), "module list: b has no valid sha256");
  list.find("b")->sha256 = list.find("a")->sha256;
  EXPECT_EQ(failureText([&] { requireSha256(list); }), "module list: c has no valid sha256");
  list.find("c")->sha256 = list.find("a")->sha256;
  EXPECT_EQ(failureText([&] { requireSha256(list); }), "");
}
