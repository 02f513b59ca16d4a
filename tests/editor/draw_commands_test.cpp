#include <gtest/gtest.h>

#include "editor_fixture.h"
#include "model/line.h"

namespace quillon::editor {
namespace {

using test::EditorFixture;

TEST(LineCommand, LinesChainFromClicksAndTypedPointsUntilEnter) {
  EditorFixture f;
  f.processor.startCommand(CommandId::Line);
  EXPECT_EQ(f.processor.commandText(), "Command : Draw lines");
  EXPECT_EQ(f.processor.prompt(), "First point of line");
  EXPECT_EQ(f.processor.inputMode(), InputMode::Point);
  f.click(10, 20);
  EXPECT_EQ(f.processor.prompt(), "Second point of line");
  EXPECT_TRUE(f.type("@30,0"));
  EXPECT_TRUE(f.type("40,60"));
  f.processor.enterKey();
  EXPECT_EQ(f.processor.prompt(), "First point of line");

  const model::CGraph& graph = f.document.graph();
  ASSERT_NE(graph.currentLayer(), nullptr);
  EXPECT_EQ(graph.totalCount(), 2u);
  ASSERT_EQ(graph.undo.size(), 2u);
  EXPECT_EQ(graph.undo.step(0).name(), "Draw Line");
  const auto* first = dynamic_cast<const model::CLine*>(graph.currentLayer()->first());
  ASSERT_NE(first, nullptr);
  EXPECT_DOUBLE_EQ(first->getStartPoint().x, 10.0);
  EXPECT_DOUBLE_EQ(first->getStartPoint().y, 20.0);
  EXPECT_DOUBLE_EQ(first->getEndPoint().x, 40.0);
  EXPECT_DOUBLE_EQ(first->getEndPoint().y, 20.0);
}

}  // namespace
}  // namespace quillon::editor
