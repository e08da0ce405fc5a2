#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "iplug/IPlugParam.h"

namespace {

IPlugParam MakeBool() {
  IPlugParam p;
  p.ConfigureBool("Bypass", false);
  return p;
}

IPlugParam MakeTarget() {
  IPlugParam p;
  p.ConfigureDouble("Normalization target", -23.0, -60.0, 0.0, 1.0, "LUFS");
  return p;
}

std::string Display(const IPlugParam& p, double v, bool normalized, bool texts) {
  char buf[32];
  p.FormatDisplay(v, normalized, buf, sizeof buf, texts);
  return buf;
}

TEST(Param, ApplyNormalizedRoundsByTypeAndCapsAtMax) {
  struct Case {
    const char* what;
    IPlugParam param;
    double n;
    double expected;
  } cases[] = {
      {"bool rounds to its 0.1 step", MakeBool(), 0.37, 0.4},
      {"bool at 1", MakeBool(), 1.0, 1.0},
      {"double step 1, middle", MakeTarget(), 0.5, -30.0},
      {"double step 1, -29.52 rounds to -30", MakeTarget(), 0.508, -30.0},
      {"double step 1, halves away from zero", MakeTarget(), 59.5 / 60.0, -1.0},
      {"above 1 is capped at max", MakeTarget(), 1.02, 0.0},
      {"below 0 is not raised to min", MakeTarget(), -0.1, -66.0},
  };
  for (Case& c : cases) {
    c.param.ApplyNormalized(c.n);
    EXPECT_NEAR(c.param.Value(), c.expected, 1e-12) << c.what;
  }
}

TEST(Param, DoubleWithOtherStepKeepsUnroundedValue) {
  IPlugParam p;
  p.ConfigureDouble("Gain", 0.0, 0.0, 10.0, 0.5);
  p.ApplyNormalized(0.333);
  EXPECT_DOUBLE_EQ(p.Value(), 3.33);
}

TEST(Param, FormatDisplayWithAndWithoutTexts) {
  IPlugParam b = MakeBool();
  EXPECT_EQ(Display(b, 0.4, false, true), "off"); // truncated to 0
  EXPECT_EQ(Display(b, 1.0, false, true), "on");
  EXPECT_EQ(Display(b, 0.4, false, false), "0.4");
  EXPECT_EQ(Display(b, 1.0, false, false), "1.0");
  IPlugParam t = MakeTarget();
  EXPECT_EQ(Display(t, -23.0, false, true), "-23");
  EXPECT_EQ(Display(t, 0.5, true, true), "-30");
  EXPECT_EQ(Display(t, -23.9, false, true), "-23"); // "%d" truncates toward zero
}

TEST(Param, FormatDisplayIsBoundedAndSurvivesAbsurdValues) {
  IPlugParam t = MakeTarget();
  char small[3];
  t.FormatDisplay(-23.0, false, small, sizeof small, true);
  EXPECT_STREQ(small, "-2");
  char buf[64];
  t.FormatDisplay(NAN, false, buf, sizeof buf, true);
  t.FormatDisplay(1e300, false, buf, sizeof buf, true);
  EXPECT_NE(std::string(buf).find("1000000"), std::string::npos);
  IPlugParam b = MakeBool();
  b.FormatDisplay(INFINITY, false, buf, sizeof buf, true);
  EXPECT_STREQ(buf, "inf");
}

TEST(Param, ConfigureRaisesMaxAndDerivesPrecision) {
  IPlugParam p;
  p.ConfigureDouble("x", 0.0, 0.0, 0.5, 1.0);
  EXPECT_DOUBLE_EQ(p.Max(), 1.0);
  struct {
    double step;
    int precision;
  } steps[] = {{1.0, 0}, {0.1, 1}, {0.25, 2}, {0.0001, 4}, {1e-9, 6}, {2.0, 0}};
  for (auto [step, precision] : steps) {
    IPlugParam q;
    q.ConfigureDouble("x", 0.0, 0.0, 100.0, step);
    EXPECT_EQ(q.Precision(), precision) << "step " << step;
  }
}

TEST(Param, ShapeZeroKeepsPreviousShapeAndMappingUsesIt) {
  IPlugParam p;
  p.ConfigureDouble("x", 0.0, 0.0, 1.0, 0.001, "", "", 2.0);
  p.ConfigureDouble("x", 0.0, 0.0, 1.0, 0.001, "", "", 0.0);
  EXPECT_DOUBLE_EQ(p.Shape(), 2.0);
  EXPECT_DOUBLE_EQ(p.NormalizeValue(0.25), 0.5);
  p.ApplyNormalized(0.5);
  EXPECT_DOUBLE_EQ(p.Value(), 0.25);
}

TEST(Param, LabelsAndDisplayTextLookups) {
  IPlugParam b = MakeBool();
  b.SetValue(1.0);
  EXPECT_STREQ(b.ParamLabel(), ""); // "on" exists, so no unit after it
  IPlugParam t = MakeTarget();
  EXPECT_STREQ(t.ParamLabel(), "LUFS");

  // A second ConfigureBool appends a second pair; the first still wins.
  b.AddDisplayText(0, "zero");
  b.ConfigureBool("Bypass", false);
  EXPECT_EQ(b.DisplayTextCount(), 5);
  EXPECT_STREQ(b.DisplayTextFor(0), "off");
  double v = -5;
  EXPECT_TRUE(b.LookupDisplayText("zero", &v));
  EXPECT_EQ(v, 0.0);
  v = -5;
  EXPECT_FALSE(b.LookupDisplayText("On", &v)); // case-sensitive
  EXPECT_EQ(v, -5.0);
  EXPECT_STREQ(b.DisplayTextAt(1, &v), "on");
  EXPECT_EQ(v, 1.0);
}

TEST(Param, LongStringsAreCut) {
  IPlugParam p;
  p.ConfigureDouble("a name far longer than thirty-one characters", 0, 0, 1, 1);
  EXPECT_EQ(std::string(p.Name()).size(), 31u);
}

TEST(Param, NormalizedValueClampsIntoRange) {
  IPlugParam t = MakeTarget();
  EXPECT_NEAR(t.NormalizedValue(), 37.0 / 60.0, 1e-12);
  EXPECT_DOUBLE_EQ(t.NormalizeValue(-75.0), 0.0);
  EXPECT_DOUBLE_EQ(t.NormalizeValue(10.0), 1.0);
}

} // namespace
