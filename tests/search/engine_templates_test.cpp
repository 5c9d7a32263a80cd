#include "search/engine_templates.h"

#include <gtest/gtest.h>

#include "search/engine_def.h"

using namespace qb;

TEST(EngineTemplates, EveryTemplateIsAUsableDefinitionAndTheApisAskForAKey) {
  int json = 0;
  for (const EngineTemplate& t : EngineTemplates()) {
    EXPECT_TRUE(EngineDefProblems(t.engine).empty())
        << t.title << ": " << EngineDefProblems(t.engine).front();
    if (t.engine.rule != ResultRule::Json) continue;
    ++json;
    EXPECT_EQ(EngineNeedsKey(t.engine), t.engine.name != "OpenDirectories") << t.title;
    EXPECT_LE(t.engine.pageLimit, 5) << "each page costs the user's quota";
  }
  EXPECT_EQ(json, 3);
}

TEST(EngineTemplates, AFreeNameTakesTheFirstNumberNotTaken) {
  EXPECT_EQ(FreeEngineName("Devices", {"Other"}), "Devices");
  EXPECT_EQ(FreeEngineName("Devices", {"devices", "Devices 2"}), "Devices 3");
}
