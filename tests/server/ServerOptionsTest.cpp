#include <gtest/gtest.h>

#include "CommandJournal.h"
#include "FaultPlan.h"
#include "SceneLibrary.h"
#include "ServerOptions.h"

TEST(ServerOptions, DefaultsAndEveryOption) {
  ServerOptions defaults;
  std::string error;
  ASSERT_TRUE(defaults.parse({}, error));
  EXPECT_EQ(defaults.host, "127.0.0.1");
  EXPECT_EQ(defaults.port, 47827);
  EXPECT_FALSE(defaults.live);
  EXPECT_TRUE(defaults.collaboration);

  ServerOptions o;
  ASSERT_TRUE(o.parse({"--host", "0.0.0.0", "--port", "0", "--scene", "Flow:5", "--scene", "a:b", "--live",
                       "--frame-interval", "40", "--journal", "j.txt", "--timeout", "300", "--fault",
                       "die=EnableVRMode@2#1", "one.sce", "two.sce"},
                      error))
      << error;
  EXPECT_EQ(o.host, "0.0.0.0");
  EXPECT_EQ(o.port, 0);
  ASSERT_EQ(o.generatedScenes.size(), 2u);
  EXPECT_EQ(o.generatedScenes[0].name, "Flow");
  EXPECT_EQ(o.generatedScenes[0].frames, 5);
  EXPECT_EQ(o.generatedScenes[1].name, "a:b");  // a colon not followed by a count belongs to the name
  EXPECT_EQ(o.generatedScenes[1].frames, 3);
  EXPECT_TRUE(o.live);
  EXPECT_EQ(o.frameIntervalMs, 40);
  EXPECT_EQ(o.journalPath, "j.txt");
  EXPECT_EQ(o.timeoutMs, 300);
  ASSERT_EQ(o.faults.size(), 1u);
  EXPECT_EQ(o.sceneFiles, (std::vector<std::string>{"one.sce", "two.sce"}));

  ServerOptions alone;
  ASSERT_TRUE(alone.parse({"--no-collaboration"}, error));
  EXPECT_FALSE(alone.collaboration);
}

TEST(FaultPlan, ParsesRulesAndRejectsBadOnes) {
  struct Case {
    const char* text;
    bool ok;
    FaultPlan::Mode mode = FaultPlan::Mode::None;
    const char* name = "";
    long from = 0, times = 0;
  } cases[] = {
      {"die=EnableVRMode", true, FaultPlan::Mode::Die, "EnableVRMode", 1, -1},
      {"omit=SceneGraphExportImport.getSceneNames#2", true, FaultPlan::Mode::Omit,
       "SceneGraphExportImport.getSceneNames", 1, 2},
      {"garbage=*@4", true, FaultPlan::Mode::Garbage, "*", 4, -1},
      {"refuse=:command-socket@2#1", true, FaultPlan::Mode::Refuse, ":command-socket", 2, 1},
      {"badbody=X@3#5", true, FaultPlan::Mode::BadBody, "X", 3, 5},
      {"die", false},
      {"explode=X", false},
      {"die=", false},
      {"die=X@0", false},
      {"die=X#-1", false},
      {"die=X@two", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    FaultPlan::Rule rule;
    std::string error;
    ASSERT_EQ(FaultPlan::parseRule(c.text, rule, error), c.ok) << error;
    if (!c.ok) {
      EXPECT_NE(error.find(c.text), std::string::npos);
      continue;
    }
    EXPECT_EQ(rule.mode, c.mode);
    EXPECT_EQ(rule.name, c.name);
    EXPECT_EQ(rule.from, c.from);
    EXPECT_EQ(rule.times, c.times);
  }
}

TEST(FaultPlan, AppliesToTheCountedOccurrencesOnly) {
  FaultPlan plan;
  FaultPlan::Rule rule;
  std::string error;
  ASSERT_TRUE(FaultPlan::parseRule("silent=A@2#2", rule, error));
  plan.add(rule);
  ASSERT_TRUE(FaultPlan::parseRule("garbage=*@5", rule, error));
  plan.add(rule);
  std::vector<FaultPlan::Mode> seen;
  for (const char* name : {"A", "B", "A", "A", "A", ":command-socket", "B"}) seen.push_back(plan.next(name));
  using M = FaultPlan::Mode;
  // A: 1st none, 2nd and 3rd silent, 4th none but it is the 5th command: garbage. Greetings are not
  // commands for "*".
  EXPECT_EQ(seen, (std::vector<M>{M::None, M::None, M::Silent, M::Silent, M::Garbage, M::None, M::Garbage}));
}

TEST(CommandJournal, OneLineFormReadsBackAsTheSameSet) {
  Properties inner;
  inner.set("Origin", std::vector<double>{0, 1.5, -2});
  inner.set("Label", "with, comma { and } brace\nand line");
  Properties empty;
  Properties p;
  p.set("Scene", "Alpha");
  p.set("Parts", std::vector<std::string>{"a", "b"});
  p.set("Accumulate", false);
  p.set("Arguments", inner);
  p.set("Nothing", empty);
  p.set("Count", 3);
  std::string line = CommandJournal::oneLine(p);
  EXPECT_EQ(line.find('\n'), std::string::npos) << line;
  Properties back;
  ASSERT_TRUE(Properties::fromText(line, back)) << line;
  EXPECT_EQ(back, p) << line;
  EXPECT_EQ(CommandJournal::oneLine(Properties()), "");
}

TEST(SceneLibrary, NamesStayUniqueAndKeysDistinct) {
  SceneLibrary library;
  library.addGenerated("Flow", 2);
  library.addGenerated("Flow", 0);  // at least one frame
  EXPECT_EQ(library.names(), (std::vector<std::string>{"Flow", "Flow (2)"}));
  ASSERT_NE(library.findByName("Flow (2)"), nullptr);
  EXPECT_EQ(library.findByName("Flow (2)")->frames.size(), 1u);
  EXPECT_NE(library.findByName("Flow")->key, library.findByName("Flow (2)")->key);
  EXPECT_EQ(library.findByKey(library.findByName("Flow")->key)->name, "Flow");
  EXPECT_EQ(library.findByKey("nope"), nullptr);
  std::string error;
  EXPECT_FALSE(library.addFile("/no/such/file.sce", error));
  EXPECT_NE(error.find("/no/such/file.sce"), std::string::npos);
}
