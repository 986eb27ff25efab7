#include "catalogue/ModuleList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "support/Exceptions.h"
#include "tests/Modules.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {

void readText(ModuleList& list, const std::string& xml) { list.readMemory(xml.data(), xml.size()); }

// What the action throws, as "kind: text", then what it wrote on standard error meanwhile.
std::string failureOf(const std::function<void()>& action) {
  testing::internal::CaptureStderr();
  std::string failure = "no exception";
  try {
    action();
  } catch (const XmlException& e) {
    failure = "XmlException: " + e;
  } catch (const IOException& e) {
    failure = "IOException: " + e;
  }
  return failure + testing::internal::GetCapturedStderr();
}

}  // namespace

// Each failure throws its text, prints nothing, leaves the list as it was and writes no file.
TEST(ModuleListFailures, ThrowTheirTextPrintNothingAndChangeNothing) {
  ScopedWorkingDirectory dir;
  ModuleList list;
  Module* kept = addModule(list, "kept.dll");
  writeFile("broken.xml", "<modules><module name=\"a\"");
  const std::string parse = "XmlException: XML parse error", malformed = "XmlException: Malformed XML";
  struct Case { std::string xml, failure; } cases[] = {
      {"", parse},
      {"<modules><module name=\"a\" version=\"1\"></modules>", parse},
      {"<?xml version=\"1.0\"?>", parse},
      {"<module name=\"a\" version=\"1\"/>", malformed},
      {"<root><Modules><module name=\"a\"/></Modules><downloadfiles/></root>", malformed},
      // Nesting this deep is refused by the parser, not followed down the stack.
      {nestedXml(100000, "<modules/>"), parse},
  };
  for (const Case& c : cases) EXPECT_EQ(failureOf([&] { readText(list, c.xml); }), c.failure) << c.xml;
  EXPECT_EQ(failureOf([&] { list.readFile("missing.xml"); }), parse);
  EXPECT_EQ(failureOf([&] { list.readFile("broken.xml"); }), parse);
  EXPECT_EQ(failureOf([&] { list.readMemory(nullptr, 0); }), parse);
  EXPECT_EQ(failureOf([&] { list.writeFile("no/such/directory/modules.xml"); }),
            "IOException: xmlSaveFormatFile failed");
  EXPECT_FALSE(fileExists("no"));
  EXPECT_EQ(namesOf(list), std::vector<std::string>{"kept.dll"});
  EXPECT_EQ(list.find("kept.dll"), kept);
}

// Which records a document gives, and what some of them hold.
TEST(ModuleListReading, RecordsComeFromTheFirstContainerInDocumentOrderWithLibxml2sAttributeValues) {
  const std::string pending = std::to_string(Pending);
  // The names read, and name after name some records' fields.
  struct Case { std::string xml; std::vector<std::string> names, fields; };
  const Case cases[] = {
      {"<answer><header><module name=\"h\" version=\"1\"/></header><downloadFiles><module name=\"a\" version=\"1\"/>"
       "<module name=\"b\" version=\"2\"/></downloadFiles></answer>", {"a", "b"}, {}},
      {"<r><downloadFiles><module name=\"first\" version=\"1\"/></downloadFiles>"
       "<modules><module name=\"second\" version=\"1\"/></modules></r>", {"first"}, {}},
      // Deeper but earlier in the document wins over shallower and later.
      {"<r><x><y><modules><module name=\"deep\" version=\"1\"/></modules></y></x>"
       "<downloadFiles><module name=\"shallow\" version=\"1\"/></downloadFiles></r>", {"deep"}, {}},
      {"<downloadFiles><modules><module name=\"inner\" version=\"1\"/></modules>"
       "<module name=\"outer\" version=\"1\"/></downloadFiles>", {"outer"}, {}},
      {"<modules>\n  <!-- none yet -->\n  text\n</modules>", {}, {}},
      // Only direct "module" children count; a later duplicate wins, at the end.
      {"<modules>\n  <module name=\"a\" version=\"1.0\" md5sum=\"aa\" url=\"http://h/a\" critical=\"false\""
       " forceReadOnly=\"1\" contentLength=\"12\" other=\"x\">\n    <module name=\"nested\" version=\"9\"/>\n"
       "  </module>\n  <group><module name=\"grouped\" version=\"1\"/></group>\n"
       "  <Module name=\"capital\" version=\"1\"/>\n  <module name=\"b\" version=\"2.0\"/>\n"
       "  <module name=\"a\" version=\"1.5\"/>\n</modules>",
       {"b", "a"}, {"a", "1.5    1 0 -1 " + pending}},
      {"<modules><module name=\"c\" version=\"3\" url=\"http://h/c\" critical=\"0\""
       " forceReadOnly=\"true\" contentLength=\"12kb\" md5sum=\"cc\" sha256=\"5c\"/></modules>", {"c"},
       {"c", "3 cc 5c http://h/c 0 1 12 " + pending}},
      // Entities resolved, defaults declared in the DTD applied.
      {"<!DOCTYPE modules [<!ENTITY release \"2.5\"> <!ATTLIST module critical CDATA \"false\">]>\n"
       "<modules><module name=\"a&#x20;&amp;&lt;b\" version=\"&release;.1\" md5sum=\"\"/>"
       "<module name=\"c\" version=\"1\" critical=\"true\"/></modules>",
       {"a &<b", "c"}, {"a &<b", "2.5.1    0 0 -1 " + pending, "c", "1    1 0 -1 " + pending}},
      // Without a name there is no record; without a version it reads empty; flags
      // other than the exact texts keep their defaults.
      {"<modules><module version=\"1\"/><module name=\"noversion\" critical=\"False\" forceReadOnly=\" 1\"/>"
       "<module name=\"\" version=\"2\"/><module name=\"last\" version=\"3\"/></modules>", {"noversion", "", "last"},
       {"noversion", "    1 0 -1 " + pending}},
  };
  for (const Case& c : cases) {
    ModuleList list;
    readText(list, c.xml);
    EXPECT_EQ(namesOf(list), c.names) << c.xml;
    for (std::size_t i = 0; i + 1 < c.fields.size(); i += 2)
      EXPECT_EQ(fieldsOf(list.find(c.fields[i])), c.fields[i + 1]) << c.xml;
  }
}

TEST(ModuleListWriting, WritesNameVersionAndChecksumsOnlyFormatted) {
  ScopedWorkingDirectory dir;
  ModuleList list;
  readText(list,
           "<downloadFiles>"
           "<module name=\"bin/client.exe\" version=\"1.10\" sha256=\"5c\" md5sum=\"0cc1\" url=\"http://h/c\""
           " critical=\"false\" forceReadOnly=\"1\" contentLength=\"5\"/>"
           "<module name=\"a&amp;b &quot;c&quot; &lt;d&gt;.dat\" version=\"2\"/></downloadFiles>");
  list.writeFile("modules.xml");
  EXPECT_EQ(readFile("modules.xml"),
            "<?xml version=\"1.0\"?>\n<modules>\n"
            "  <module name=\"bin/client.exe\" version=\"1.10\" md5sum=\"0cc1\" sha256=\"5c\"/>\n"
            "  <module name=\"a&amp;b &quot;c&quot; &lt;d&gt;.dat\" version=\"2\"/>\n</modules>\n");

  ModuleList empty;
  empty.writeFile("empty.xml");
  EXPECT_EQ(readFile("empty.xml"), "<?xml version=\"1.0\"?>\n<modules/>\n");
}

// The lock is recursive, freed when a visitor throws, and never held together with another list's.
TEST(ModuleListContents, AThrowingVisitorFreesTheLockAndListsMergedIntoEachOtherDoNotDeadlock) {
  ModuleList first, second;
  for (int i = 0; i < 20; ++i) {
    addModule(first, "f" + std::to_string(i));
    addModule(second, "s" + std::to_string(i));
  }
  int visited = 0;
  EXPECT_THROW(first.forEach([&](Module& module) {
    ++visited;
    EXPECT_EQ(first.find(module.name), &module);
    throw IOException("visitor failed");
  }), IOException);
  EXPECT_EQ(visited, 1);
  // Had the throw kept the lock, the other thread would wait for it for ever.
  std::thread other([&] {
    for (int i = 0; i < 100; ++i) second.addAll(first);
  });
  for (int i = 0; i < 100; ++i) first.addAll(second);
  other.join();
  EXPECT_EQ(first.size(), 40u);
  EXPECT_EQ(second.size(), 40u);
}

TEST(ModuleListReposition, MovesAPendingRecordDirectlyBehindTheFirstPendingOne) {
  ModuleList queue;
  addModule(queue, "p", Complete);
  addModule(queue, "q", Fetching);
  addModules(queue, {"r", "s", "t", "u"});
  LogCapture log;
  // A request naming t, then u, is applied last name first.
  for (const char* name : {"u", "t"}) queue.reposition(name);
  EXPECT_EQ(namesOf(queue), (std::vector<std::string>{"p", "q", "r", "t", "u", "s"}));
  // The first Pending record itself, and the one already behind it: order kept, logged.
  for (const char* name : {"r", "t"}) queue.reposition(name);
  EXPECT_EQ(namesOf(queue), (std::vector<std::string>{"p", "q", "r", "t", "u", "s"}));
  queue.find("u")->state = Installing;
  for (const char* name : {"u", "q", "nothing", "S"}) queue.reposition(name);
  EXPECT_EQ(namesOf(queue), (std::vector<std::string>{"p", "q", "r", "t", "u", "s"}));
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"repositioned u", "repositioned t", "repositioned r",
                                                    "repositioned t", "couldn't reposition u in state 3",
                                                    "couldn't reposition q in state 1"}));

  // Without a Pending record, or when the first Pending one is the last: nothing, silently.
  ModuleList other;
  LogCapture quiet;
  other.reposition("a");
  addModule(other, "a", Complete);
  addModule(other, "b", Installing);
  for (const char* name : {"a", "b"}) other.reposition(name);
  addModule(other, "c");
  for (const char* name : {"a", "c"}) other.reposition(name);
  EXPECT_EQ(namesOf(other), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(quiet.text(), "");
}

TEST(ModuleListWalks, TakeNextTakesEachRecordOfItsKindOnceAndAMovedOneRightAfterTheCurrent) {
  ModuleList queue;
  for (std::string name : {"b", "a", "c", "d", "x", "e"}) addModule(queue, name, name != "b" && name != "x");
  // The names of what a walk takes until it finds nothing more.
  auto takeAll = [&queue](bool critical) {
    std::string names;
    while (Module* module = queue.takeNext(critical)) names += module->name;
    return names;
  };

  Module* taken = queue.takeNext(true);
  ASSERT_EQ(taken->name, "a");
  EXPECT_EQ(taken->state.load(), Fetching);
  taken->state = Complete;
  Module* current = queue.takeNext(true);
  ASSERT_EQ(current->name, "c");
  // While c is fetched, the client moves e forward: it lands behind b, the first
  // Pending record, which is ahead of the walk's position. It is taken next all the same.
  queue.reposition("e");
  EXPECT_EQ(namesOf(queue), (std::vector<std::string>{"b", "e", "a", "c", "d", "x"}));
  current->state = Complete;
  EXPECT_EQ(takeAll(true), "ed");
  EXPECT_EQ(queue.takeNext(true), nullptr);
  queue.reposition("x");
  EXPECT_EQ(takeAll(false), "bx");
  // A record added after a finished walk is found by the next one.
  addModule(queue, "late", false);
  EXPECT_EQ(takeAll(false), "late");
}

// The run's two walks on one thread while a client's reorder requests arrive at
// random on another: every module is processed exactly once, criticals first, and
// a module is only ever passed over in favour of one that a request moved.
TEST(ModuleListWalks, RunStyleWalksMeetEveryModuleOnceWhileReordersArrive) {
  const int kModules = 1500;
  ModuleList queue;
  for (int i = 0; i < kModules; ++i) addModule(queue, "m" + std::to_string(i), i % 3 != 0);
  // Only odd-numbered modules are ever named in requests: the others keep their
  // relative order within each walk.
  std::vector<std::atomic<bool>> named(kModules);
  std::atomic<bool> running(true);
  std::atomic<int> requests(0);

  std::thread client([&] {
    std::mt19937 random(12345);
    while (running.load()) {
      std::vector<std::string> request(1 + random() % 4);
      for (std::string& name : request) {
        int pick = static_cast<int>(random() % (kModules + 20));
        if (pick < kModules) named[pick = std::min(pick | 1, kModules - 1)] = true;
        name = (pick < kModules ? "m" : "unknown") + std::to_string(pick);
      }
      for (auto name = request.rbegin(); name != request.rend(); ++name) queue.reposition(*name);
      if (random() % 8 == 0) {
        // A listing, as the status server sends: each module exactly once.
        std::set<const Module*> listed;
        queue.forEach([&](Module& module) { listed.insert(&module); });
        EXPECT_EQ(listed.size(), static_cast<std::size_t>(kModules));
      }
      ++requests;
    }
  });

  std::vector<int> processed(kModules, 0);
  for (bool critical : {true, false}) {
    while (Module* module = queue.takeNext(critical)) {
      EXPECT_EQ(module->critical, critical);
      // Any Pending record of this kind standing before the taken one must have
      // been moved there by a request.
      bool before = true;
      queue.forEach([&](Module& other) {
        if (&other == module) before = false;
        if (before && other.critical == critical && other.state.load() == Pending) {
          int number = std::stoi(other.name.substr(1));
          EXPECT_TRUE(named[number].load()) << other.name << " passed over for " << module->name;
        }
      });
      ++processed[std::stoi(module->name.substr(1))];
      module->state = Complete;
      // Let a few requests in between, as downloads would.
      int seen = requests.load();
      for (int spin = 0; spin < 1000 && requests.load() < seen + 2; ++spin) std::this_thread::yield();
    }
  }
  running = false;
  client.join();
  for (int i = 0; i < kModules; ++i) EXPECT_EQ(processed[i], 1) << i;
  EXPECT_GT(requests.load(), 0);
}
