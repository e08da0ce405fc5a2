// The support library's pieces that hosts never reach one by one: tapers, display delegates,
// strings and the reference count.
#include <memory>

#include <gtest/gtest.h>

#include "iplug/aax/IPlugAAX.h"
#include "iplug/aax/support/AAX_Delegates.h"

namespace {

TEST(AaxTaper, TheAdaptersTaperMapsAndClamps) {
  const AAX_CIPlugTaperDelegate taper(-60.0, 0.0, 1.0);
  EXPECT_DOUBLE_EQ(taper.NormalizedToReal(0.25), -45.0);
  EXPECT_EQ(taper.RealToNormalized(-90.0), 0.0);
  EXPECT_EQ(taper.RealToNormalized(10.0), 1.0);
  EXPECT_EQ(taper.ConstrainRealValue(-61.0), -60.0);
  EXPECT_EQ(taper.NormalizedToReal(std::nan("")), -60.0);
  // A shape bends the curve both ways alike.
  const AAX_CIPlugTaperDelegate curved(0.0, 100.0, 2.0);
  EXPECT_DOUBLE_EQ(curved.NormalizedToReal(0.5), 25.0);
  EXPECT_DOUBLE_EQ(curved.RealToNormalized(25.0), 0.5);
  std::unique_ptr<AAX_ITaperDelegate<double>> copy = curved.Clone();
  EXPECT_DOUBLE_EQ(copy->NormalizedToReal(0.5), 25.0);
}

TEST(AaxTaper, LinearWholeNumbersRound) {
  const AAX_CLinearTaperDelegate<int32_t> taper(0, 2);
  EXPECT_EQ(taper.NormalizedToReal(0.24), 0);
  EXPECT_EQ(taper.NormalizedToReal(0.26), 1);
  EXPECT_EQ(taper.NormalizedToReal(1.7), 2);
  EXPECT_DOUBLE_EQ(taper.RealToNormalized(1), 0.5);
  const AAX_CBinaryTaperDelegate binary;
  EXPECT_FALSE(binary.NormalizedToReal(0.49));
  EXPECT_TRUE(binary.NormalizedToReal(0.5));
}

TEST(AaxDisplay, TextsBothWays) {
  AAX_CString text;
  const AAX_CStringDisplayDelegate<int32_t> texts({{0, "off"}, {1, "on"}});
  EXPECT_TRUE(texts.ValueToString(1, &text));
  EXPECT_EQ(text.StdString(), "on");
  EXPECT_FALSE(texts.ValueToString(2, &text));
  EXPECT_EQ(text.StdString(), "String Not Found");
  int32_t v = -1;
  EXPECT_TRUE(texts.StringToValue("off", &v));
  EXPECT_EQ(v, 0);
  EXPECT_FALSE(texts.StringToValue("Off", &v));

  const AAX_CUnitDisplayDelegateDecorator<double> unit(AAX_CNumberDisplayDelegate<double>(2, 0),
                                                       "LUFS");
  unit.ValueToString(-23.0, &text);
  EXPECT_EQ(text.StdString(), "-23.00 LUFS");
  unit.ValueToLimitedString(-23.456, 4, &text);
  EXPECT_EQ(text.StdString(), "-23.");
  double d = 0.0;
  EXPECT_TRUE(unit.StringToValue("-18 LUFS", &d));
  EXPECT_EQ(d, -18.0);
  EXPECT_TRUE(unit.StringToValue("-18", &d));
  EXPECT_FALSE(unit.StringToValue("-18 dB", &d));
  EXPECT_FALSE(unit.StringToValue("nan", &d));

  const AAX_CBinaryDisplayDelegate binary("bypass", "on");
  binary.ValueToString(false, &text);
  EXPECT_EQ(text.StdString(), "bypass");
  bool b = false;
  EXPECT_TRUE(binary.StringToValue("on", &b));
  EXPECT_TRUE(b);
}

TEST(AaxString, NullAndOverlongTexts) {
  AAX_CString s("abc");
  s.Set(nullptr);
  EXPECT_EQ(s.Length(), 0u);
  std::string longText(5000, 'x');
  s.Set(longText.c_str());
  EXPECT_EQ(s.Length(), AAX_CString::kMaxLength);
}

// Released once too often, an object is not deleted twice and the count stays put.
TEST(AaxUnknown, ReferenceCountAndLiveObjects) {
  const int32_t before = CACFUnknown::LiveObjects();
  auto* gui = new AAX_CEffectGUI_IPLUG();
  EXPECT_EQ(CACFUnknown::LiveObjects(), before + 1);
  EXPECT_EQ(gui->AddRef(), 2u);
  void* face = nullptr;
  EXPECT_EQ(gui->QueryInterface(kIID_EffectParameters, &face), kACFNoInterface);
  EXPECT_EQ(face, nullptr);
  EXPECT_EQ(gui->QueryInterface(kIID_ACFUnknown, &face), kAAXSuccess);
  EXPECT_EQ(face, static_cast<IACFUnknown*>(static_cast<AAX_IEffectGUI*>(gui)));
  EXPECT_EQ(gui->QueryInterface(kIID_ACFUnknown, nullptr), kAAXErrorNullObject);
  EXPECT_EQ(gui->Release(), 2u);
  EXPECT_EQ(gui->Release(), 1u);
  EXPECT_EQ(gui->Release(), 0u);
  EXPECT_EQ(CACFUnknown::LiveObjects(), before);
}

} // namespace
