#include <gtest/gtest.h>

#include "editor/command_processor.h"

namespace quillon::editor {
namespace {

using Kind = TypedInput::Kind;

TEST(TypedInput, PointNumberAndInvalidUnderAPointLocale) {
  const settings::Separators sep{'.', ','};
  TypedInput in = ParseTypedInput(" @3,4 ", InputMode::Point, sep);
  EXPECT_EQ(in.kind, Kind::RelativePoint);
  EXPECT_DOUBLE_EQ(in.x, 3.0);
  EXPECT_DOUBLE_EQ(in.y, 4.0);
  in = ParseTypedInput("5<90", InputMode::Point, sep);
  EXPECT_EQ(in.kind, Kind::AbsolutePoint);
  EXPECT_NEAR(in.x, 0.0, 1e-12);
  EXPECT_NEAR(in.y, 5.0, 1e-12);
  EXPECT_EQ(ParseTypedInput("12", InputMode::Point, sep).kind, Kind::Invalid);
  in = ParseTypedInput("12", InputMode::PointOrNumber, sep);
  EXPECT_EQ(in.kind, Kind::Number);
  EXPECT_DOUBLE_EQ(in.number, 12.0);
  EXPECT_EQ(ParseTypedInput("   ", InputMode::Point, sep).kind, Kind::Enter);
}

TEST(TypedInput, CommaDecimalLocaleUsesSemicolonBetweenCoordinates) {
  const settings::Separators sep{',', ';'};
  TypedInput in = ParseTypedInput("1,5;2", InputMode::Point, sep);
  EXPECT_EQ(in.kind, Kind::AbsolutePoint);
  EXPECT_DOUBLE_EQ(in.x, 1.5);
  EXPECT_DOUBLE_EQ(in.y, 2.0);
  in = ParseTypedInput("2,5", InputMode::Number, sep);
  EXPECT_EQ(in.kind, Kind::Number);
  EXPECT_DOUBLE_EQ(in.number, 2.5);
  // A comma is no coordinate separator here: one number, not a point.
  EXPECT_EQ(ParseTypedInput("2,5", InputMode::Point, sep).kind, Kind::Invalid);
}

}  // namespace
}  // namespace quillon::editor
