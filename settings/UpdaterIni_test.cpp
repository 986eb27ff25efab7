#include "settings/UpdaterIni.h"

#include <gtest/gtest.h>

#include "support/Exceptions.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
UpdaterIni readSettings(const std::string& xml) {
  writeFile("UpdaterIni.xml", xml);
  return UpdaterIni();
}
}  // namespace

TEST(UpdaterIni, TheLastOccurrenceOfAKeyWinsAndKeysAreCaseSensitive) {
  ScopedWorkingDirectory dir;
  UpdaterIni ini = readSettings(
      "<UpdaterIni><lang>en</lang><Lang>fr</Lang><lang>de</lang><autoStart>client.exe</autoStart></UpdaterIni>");
  EXPECT_EQ(ini.get("lang"), "de");
  EXPECT_EQ(ini.get("Lang"), "fr");
  EXPECT_EQ(ini.get("autoStart"), "client.exe");
  EXPECT_EQ(ini.get("LANG"), "");
}

TEST(UpdaterIni, ValuesKeepTheirBlanksAndNestedText) {
  ScopedWorkingDirectory dir;
  UpdaterIni ini = readSettings(
      "<UpdaterIni>\n  <gamename>  two words \n</gamename>\n  <type>a<b>c</b>d</type>\n"
      "  <empty/>\n</UpdaterIni>\n");
  EXPECT_EQ(ini.get("gamename"), "  two words \n");
  EXPECT_EQ(ini.get("type"), "acd");
  EXPECT_EQ(ini.get("empty"), "");
}

TEST(UpdaterIni, ACommentUnderTheRootBecomesAnEntryAndBlanksDoNot) {
  ScopedWorkingDirectory dir;
  UpdaterIni ini = readSettings("<UpdaterIni>\n  <!-- note -->\n  <lang>en</lang>\n</UpdaterIni>");
  EXPECT_EQ(ini.get("comment"), " note ");
  EXPECT_EQ(ini.get("text"), "");
  EXPECT_EQ(ini.get("lang"), "en");
}

TEST(UpdaterIni, ARootOfAnotherNameGivesEmptySettingsWithoutError) {
  ScopedWorkingDirectory dir;
  UpdaterIni ini = readSettings("<updaterini><lang>en</lang></updaterini>");
  EXPECT_EQ(ini.get("lang"), "");
}

TEST(UpdaterIni, GetOfAMissingKeyAddsNothingAndSetChangesOnlyMemory) {
  ScopedWorkingDirectory dir;
  const std::string file = "<UpdaterIni><autoStart>client.exe</autoStart></UpdaterIni>";
  UpdaterIni ini = readSettings(file);
  const std::string& missing = ini.get("siteId");
  EXPECT_EQ(missing, "");
  EXPECT_EQ(&ini.get("siteId"), &missing);  // the one shared empty text, not a new entry
  ini.set("autoStart", "updater.exe");
  ini.set("siteId", "7");
  EXPECT_EQ(ini.get("autoStart"), "updater.exe");
  EXPECT_EQ(ini.get("siteId"), "7");
  EXPECT_EQ(readFile("UpdaterIni.xml"), file);
}

TEST(UpdaterIni, AMissingFileThrowsWithTheRuntimeLibrarysText) {
  ScopedWorkingDirectory dir;
  try {
    UpdaterIni ini;
    FAIL() << "no exception";
  } catch (const IOException& e) {
    EXPECT_EQ(e, "UpdaterIni.xml: No such file or directory");
  }
}

TEST(UpdaterIni, AMalformedFileThrowsAndSaysWhy) {
  ScopedWorkingDirectory dir;
  writeFile("UpdaterIni.xml", "<UpdaterIni><lang>en</UpdaterIni>");
  try {
    UpdaterIni ini;
    FAIL() << "no exception";
  } catch (const IOException& e) {
    EXPECT_EQ(e.rfind("UpdaterIni.xml: ", 0), 0u) << e;
    EXPECT_NE(e, "UpdaterIni.xml: Success");
  }
}
