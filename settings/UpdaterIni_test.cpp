#include "settings/UpdaterIni.h"

#include <gtest/gtest.h>

#include "tests/TestSupport.h"

using namespace testing_support;

TEST(UpdaterIni, ReadsTheLastOccurrenceOfCaseSensitiveKeysWithValuesUntrimmed) {
  ScopedWorkingDirectory dir;
  const std::pair<std::string, std::vector<std::pair<std::string, std::string>>> cases[] = {
      {"<UpdaterIni><lang>en</lang><Lang>fr</Lang><lang>de</lang><autoStart>client.exe</autoStart></UpdaterIni>",
       {{"lang", "de"}, {"Lang", "fr"}, {"autoStart", "client.exe"}, {"LANG", ""}}},
      {"<UpdaterIni>\n  <gamename>  two words \n</gamename>\n  <type>a<b>c</b>d</type>\n  <empty/>\n</UpdaterIni>\n",
       {{"gamename", "  two words \n"}, {"type", "acd"}, {"empty", ""}}},
      // A comment under the root becomes an entry; blank text does not.
      {"<UpdaterIni>\n  <!-- note -->\n  <lang>en</lang>\n</UpdaterIni>",
       {{"comment", " note "}, {"text", ""}, {"lang", "en"}}},
      // A CDATA section has no name: it is passed over instead of ending the program.
      {"<UpdaterIni><![CDATA[x]]><lang>en</lang></UpdaterIni>", {{"lang", "en"}}},
      // A root of another name gives empty settings without an error.
      {"<updaterini><lang>en</lang></updaterini>", {{"lang", ""}}},
  };
  for (const auto& [xml, entries] : cases) {
    writeFile("UpdaterIni.xml", xml);
    UpdaterIni ini;
    for (const auto& [key, value] : entries) EXPECT_EQ(ini.get(key), value) << key << " in " << xml;
  }
}

TEST(UpdaterIni, AMissingOrMalformedFileThrowsWithItsReason) {
  ScopedWorkingDirectory dir;
  auto failure = [] { return failureText([] { UpdaterIni ini; }); };
  EXPECT_EQ(failure(), "UpdaterIni.xml: No such file or directory");
  writeFile("UpdaterIni.xml", "<UpdaterIni><lang>en</UpdaterIni>");
  const std::string malformed = failure();
  EXPECT_EQ(malformed.rfind("UpdaterIni.xml: ", 0), 0u) << malformed;
  EXPECT_NE(malformed, "UpdaterIni.xml: Success");
}
