#pragma once
// One automatable setting: a typed value with a range, a step and a mapping to the normalised
// range 0..1 that hosts and editor controls exchange. No lock of its own: changes happen under
// the owning instance's mutex or on the thread that constructs the plug-in. The value is read and
// written as one atomic double, so the editor may read it (and what follows from it: display
// text, label) while painting without that mutex; everything else is fixed once configured.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

enum class ParamType : int32_t { None = 0, Bool = 1, Int = 2, Enum = 3, Double = 4 };

constexpr size_t kParamStringSize = 32; // name, label, group and display texts, NUL included

struct DisplayText {
  int32_t value = 0;
  char text[kParamStringSize] = {};
};

class IPlugParam {
public:
  // Strings longer than 31 characters are cut to 31.
  void ConfigureDouble(const char* name, double defaultValue, double minValue, double maxValue,
                       double step, const char* label = "", const char* group = "",
                       double shape = 1.0);
  // Step 0.1 on purpose: hosts and stored states know Bool values at that resolution.
  void ConfigureBool(const char* name, bool defaultOn, const char* label = "",
                     const char* group = "");
  // A choice among `count` values 0 .. count - 1, each shown by the text AddDisplayText gives it.
  void ConfigureEnum(const char* name, int defaultValue, int count, const char* label = "",
                     const char* group = "");
  void AddDisplayText(int value, const char* text);

  // Sets the value from a normalised number; n is not clamped, only the result is capped at max.
  void ApplyNormalized(double n);
  double NormalizedValue() const { return NormalizeValue(Value()); }
  double NormalizeValue(double v) const;
  // Plain value of a normalised number, without rounding to the step.
  double FromNormalized(double n) const;

  // Writes the display string of v (plain, or normalised when isNormalized) into out, which holds
  // outSize bytes; out always ends up NUL-terminated when outSize > 0.
  void FormatDisplay(double v, bool isNormalized, char* out, size_t outSize,
                     bool useDisplayTexts = true) const;
  // The unit label, or "" when the current value shows a display text instead of a number.
  const char* ParamLabel() const;

  int DisplayTextCount() const { return static_cast<int>(displayTexts_.size()); }
  // idx must be below DisplayTextCount().
  const char* DisplayTextAt(int idx, double* value) const;
  const char* DisplayTextFor(int value) const;
  bool LookupDisplayText(const char* text, double* value) const;

  ParamType Type() const { return type_; }
  double Value() const {
    // A load writes nothing: the const_cast only satisfies atomic_ref, which wants a mutable T.
    return std::atomic_ref<double>(const_cast<double&>(value_)).load(std::memory_order_relaxed);
  }
  void SetValue(double v) { std::atomic_ref<double>(value_).store(v, std::memory_order_relaxed); }
  // Stores v clamped into [min, max].
  void SetClamped(double v);
  double Min() const { return min_; }
  double Max() const { return max_; }
  double Step() const { return step_; }
  double Shape() const { return shape_; }
  double DefaultValue() const { return defaultValue_; }
  int Precision() const { return precision_; }
  const char* Name() const { return name_; }
  const char* Label() const { return label_; }
  const char* Group() const { return group_; }
  bool CanAutomate() const { return canAutomate_; }
  void SetCanAutomate(bool on) { canAutomate_ = on; }
  // A Bool counts as on from 0.5.
  bool IsOn() const { return Value() >= 0.5; }

private:
  ParamType type_ = ParamType::None;
  alignas(std::atomic_ref<double>::required_alignment) double value_ = 0.0;
  double min_ = 0.0;
  double max_ = 1.0;
  double step_ = 1.0;
  double shape_ = 1.0;
  double defaultValue_ = 0.0;
  int32_t precision_ = 0;
  char name_[kParamStringSize] = {};
  char label_[kParamStringSize] = {};
  char group_[kParamStringSize] = {};
  bool canAutomate_ = true;
  std::vector<DisplayText> displayTexts_;
};

// Copies src into dst of dstSize bytes, cutting it and always terminating it (dstSize > 0).
void CopyBounded(char* dst, size_t dstSize, const char* src);
