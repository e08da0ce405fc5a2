// The rectangle rules the redraw and the hit search stand on, and the blend kinds' blit modes.
#include <cstdio>

#include <gtest/gtest.h>

#include "igraphics/IGraphicsStructs.h"
#include "igraphics/IPopupMenu.h"

namespace {

std::string Str(const ControlRect& r) {
  char s[64];
  snprintf(s, sizeof s, "(%d, %d, %d, %d)", r.left, r.top, r.right, r.bottom);
  return s;
}

TEST(ControlRect, MeetsIsAsymmetricAtTheTouchingEdge) {
  struct Case {
    ControlRect a, b;
    bool meets;
  } cases[] = {
      // a ends exactly where b begins: a still meets b, but not the other way round.
      {{0, 0, 10, 10}, {10, 0, 20, 10}, true},
      {{10, 0, 20, 10}, {0, 0, 10, 10}, false},
      {{0, 0, 10, 10}, {0, 10, 10, 20}, true},
      {{0, 10, 10, 20}, {0, 0, 10, 10}, false},
      {{0, 0, 10, 10}, {11, 0, 20, 10}, false},
      {{0, 0, 10, 10}, {5, 5, 6, 6}, true},
      // The empty rect meets nothing, not even a rect that covers the origin.
      {{}, {-5, -5, 5, 5}, false},
      {{-5, -5, 5, 5}, {}, false},
      // Only all-zero counts as empty: an inverted rect still takes part in the comparisons.
      {{10, 10, 0, 0}, {0, 0, 20, 20}, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.a.Meets(c.b), c.meets) << Str(c.a) << " meets " << Str(c.b);
}

TEST(ControlRect, ContainsExcludesRightAndBottom) {
  const ControlRect r{10, 10, 20, 20};
  EXPECT_TRUE(r.Contains(10, 10));
  EXPECT_TRUE(r.Contains(19, 19));
  EXPECT_FALSE(r.Contains(20, 15));
  EXPECT_FALSE(r.Contains(15, 20));
  EXPECT_FALSE(r.Contains(9, 15));
  EXPECT_FALSE(ControlRect{}.Contains(0, 0));
  EXPECT_TRUE((ControlRect{0, 0, 1, 1}).Contains(0, 0));
}

TEST(ControlRect, UnionAndIntersection) {
  const ControlRect a{10, 10, 20, 20};
  EXPECT_EQ(ControlRect{}.Union(a), a);
  EXPECT_EQ(a.Union(ControlRect{}), a);
  EXPECT_EQ((ControlRect{0, 0, 5, 5}).Union(a), (ControlRect{0, 0, 20, 20}));
  EXPECT_EQ(a.Intersection({15, 0, 30, 12}), (ControlRect{15, 10, 20, 12}));
  // Touching rects intersect in a zero-width strip, which is not the empty rect...
  const ControlRect strip = (ControlRect{0, 0, 10, 10}).Intersection({10, 0, 20, 10});
  EXPECT_EQ(strip, (ControlRect{10, 0, 10, 10}));
  EXPECT_FALSE(strip.IsEmpty());
  // ...while the reverse operand order does not meet and gives the empty rect.
  EXPECT_TRUE((ControlRect{10, 0, 20, 10}).Intersection({0, 0, 10, 10}).IsEmpty());
}

TEST(ControlBlend, KindsChooseTheirBlitMode) {
  struct Case {
    int32_t kind, mode;
  } cases[] = {{ControlBlend::Normal, 0x10000},
               {ControlBlend::Opaque, 0},
               {ControlBlend::Additive, 0x10001},
               {ControlBlend::Dodge, 0x10002},
               {4, 0x10000},
               {-1, 0x10000}};
  for (const Case& c : cases)
    EXPECT_EQ((ControlBlend{c.kind, 1.0f}).BlitMode(), c.mode) << "kind " << c.kind;
}

TEST(ControlColor, PackedForms) {
  const ControlColor amber{255, 255, 205, 64};
  EXPECT_EQ(amber.ToPixel(), 0xFFFFCD40u);
  EXPECT_EQ(amber.ToColorRef(), 0x0040CDFFu);
}

TEST(PopupMenu, NumberedLabels) {
  PopupMenu menu;
  menu.AddItem("first");
  menu.AddItem("second");
  EXPECT_EQ(menu.Label(1), "first");
  menu.numbering = 2;
  EXPECT_EQ(menu.Label(1), "01: first");
  EXPECT_EQ(menu.Label(2), "02: second");
  menu.numbering = 3;
  EXPECT_EQ(menu.Label(2), "002: second");
  menu.numbering = 1;
  EXPECT_EQ(menu.Label(1), "1: first");
}

} // namespace
