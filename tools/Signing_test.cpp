// Keys and signatures as a publisher makes them with updater-publish, checked
// as the updater checks them.
#include "tools/Signing.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/Signature.h"
#include "tests/TestSupport.h"

using namespace testing_support;

TEST(Signing, KeygenPublishSignedSignAndVerifyAsAPublisherUsesThem) {
  ScopedWorkingDirectory dir;
  auto tool = [](const std::vector<std::string>& arguments) { return runTool("updater-publish", arguments); };
  ProcessResult made = tool({"keygen", "old.pem"});
  ASSERT_EQ(made.exitCode, 0) << made.standardError;
  const std::string oldKey = splitLines(made.standardOutput).at(0);
  EXPECT_FALSE(pointOfPublicKeyText(oldKey).empty()) << oldKey;
  EXPECT_EQ(keyPairOfPrivateKeyFile(readFile("old.pem")).point, pointOfPublicKeyText(oldKey));
  EXPECT_EQ(tool({"keygen", "old.pem"}).exitCode, 1);  // a key is never replaced
  if (!onWindows()) {
    EXPECT_EQ(std::filesystem::status("old.pem").permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  }
  const std::string newKey = makeKeyFile("new.pem");

  writeFile("release/client.dat", "c");
  ProcessResult published =
      tool({"--base-url", "http://cdn.example/game", "--sign", "old.pem", "--quiet", "release", "out"});
  EXPECT_EQ(published.exitCode, 0) << published.standardError;
  EXPECT_EQ(splitLines(published.standardOutput).back(), "signature: http://cdn.example/game/modules.xml.sig");
  ProcessResult verified = tool({"verify", "out/modules.xml", newKey + "\n" + oldKey});
  EXPECT_EQ(verified.exitCode, 0) << verified.standardError;
  EXPECT_EQ(verified.standardOutput, "signed by public key 2\n");

  // Signing an existing list; a file that is no key changes nothing.
  EXPECT_EQ(tool({"sign", "out/modules.xml", "new.pem"}).exitCode, 0);
  ProcessResult refused = tool({"verify", "out/modules.xml", oldKey});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.standardError.find("module list signature does not match any of the public keys"),
            std::string::npos) << refused.standardError;
  const std::string signature = readFile("out/modules.xml.sig");
  EXPECT_EQ(tool({"sign", "out/modules.xml", "out/modules.xml"}).exitCode, 1);
  EXPECT_EQ(tool({"--base-url", "http://cdn.example/game", "--sign", "release/client.dat", "release", "out2"}).exitCode,
            1);
  EXPECT_EQ(contentsOf({"out2", "out/modules.xml.sig", "out/modules.xml.sig.new"}), "-|" + signature + "|-");
  EXPECT_EQ(verifyListFile("out/modules.xml", newKey), 1);
  EXPECT_EQ(tool({"sign", "out/modules.xml"}).exitCode, 2);
}
