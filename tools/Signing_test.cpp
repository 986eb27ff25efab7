#include "tools/Signing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "support/Exceptions.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
std::string failureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const IOException& e) {
    return e;
  }
  return "no failure";
}
}  // namespace

TEST(Signing, KeygenSignAndVerifyAsAPublisherUsesThem) {
  ScopedWorkingDirectory dir;
  const std::string oldKey = makeKeyFile("old.pem");
  const std::string newKey = makeKeyFile("new.pem");
  EXPECT_EQ(failureOf([] { makeKeyFile("new.pem"); }).rfind("new.pem: ", 0), 0u);  // never replaced
  if (!onWindows()) {
    EXPECT_EQ(std::filesystem::status("old.pem").permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  }
  writeFile("list.xml", "<modules/>\n");
  EXPECT_EQ(signListFile("list.xml", "new.pem"), "list.xml.sig");
  EXPECT_EQ(verifyListFile("list.xml", oldKey + "\n" + newKey), 2);
  EXPECT_EQ(failureOf([&] { verifyListFile("list.xml", oldKey); }),
            "module list signature does not match any of the public keys");

  const std::string signature = readFile("list.xml.sig");
  EXPECT_EQ(failureOf([] { signListFile("list.xml", "list.xml"); }),
            "list.xml: not a P-256 private key (PEM \"PRIVATE KEY\")");
  EXPECT_EQ(readFile("list.xml.sig"), signature);
  EXPECT_FALSE(fileExists("list.xml.sig.new"));
}
