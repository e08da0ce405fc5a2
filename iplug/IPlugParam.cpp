#include "iplug/IPlugParam.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

void CopyBounded(char* dst, size_t dstSize, const char* src) {
  if (!dst || dstSize == 0) return;
  if (!src) src = "";
  size_t n = strnlen(src, dstSize - 1);
  memcpy(dst, src, n);
  dst[n] = '\0';
}

void IPlugParam::ConfigureDouble(const char* name, double defaultValue, double minValue,
                                 double maxValue, double step, const char* label, const char* group,
                                 double shape) {
  if (type_ == ParamType::None) type_ = ParamType::Double;
  CopyBounded(name_, sizeof name_, name);
  CopyBounded(label_, sizeof label_, label);
  CopyBounded(group_, sizeof group_, group);
  min_ = minValue;
  SetValue(defaultValue);
  step_ = step;
  defaultValue_ = defaultValue;
  precision_ = 0;
  max_ = std::max(minValue + step, maxValue);
  // Decimal places from the step: 1 -> 0, 0.1 -> 1, 0.25 -> 2, never more than 6.
  for (double s = step; s != std::floor(s) && precision_ < 6; s *= 10.0)
    ++precision_;
  if (shape != 0.0) shape_ = shape;
}

void IPlugParam::ConfigureBool(const char* name, bool defaultOn, const char* label,
                               const char* group) {
  if (type_ == ParamType::None) type_ = ParamType::Bool;
  ConfigureDouble(name, defaultOn ? 1.0 : 0.0, 0.0, 1.0, 0.1, label, group, 1.0);
  AddDisplayText(0, "off");
  AddDisplayText(1, "on");
}

void IPlugParam::ConfigureEnum(const char* name, int defaultValue, int count, const char* label,
                               const char* group) {
  if (type_ == ParamType::None) type_ = ParamType::Enum;
  ConfigureDouble(name, defaultValue, 0.0, std::max(count - 1, 1), 1.0, label, group, 1.0);
}

void IPlugParam::AddDisplayText(int value, const char* text) {
  DisplayText entry;
  entry.value = value;
  CopyBounded(entry.text, sizeof entry.text, text);
  displayTexts_.push_back(entry);
}

double IPlugParam::FromNormalized(double n) const {
  return min_ + std::pow(n, shape_) * (max_ - min_);
}

void IPlugParam::ApplyNormalized(double n) {
  double v = FromNormalized(n);
  if (type_ != ParamType::Double) {
    v = std::floor(v / step_ + 0.5) * step_;
  } else if (step_ == 1.0) {
    v = std::round(v);
  }
  SetValue(std::min(v, max_));
}

double IPlugParam::NormalizeValue(double v) const {
  v = std::clamp(v, min_, max_);
  double n = std::pow((v - min_) / (max_ - min_), 1.0 / shape_);
  return std::clamp(n, 0.0, 1.0);
}

void IPlugParam::SetClamped(double v) {
  SetValue(std::clamp(v, min_, max_));
}

void IPlugParam::FormatDisplay(double v, bool isNormalized, char* out, size_t outSize,
                               bool useDisplayTexts) const {
  if (!out || outSize == 0) return;
  if (isNormalized) v = FromNormalized(v);
  if (useDisplayTexts && !displayTexts_.empty()) {
    // Out-of-range values (NaN, huge) have no integer; they simply match no entry.
    if (std::isfinite(v) && std::fabs(v) < 2147483647.0) {
      const int k = static_cast<int>(v);
      for (const DisplayText& e : displayTexts_) {
        if (e.value == k && e.text[0]) {
          CopyBounded(out, outSize, e.text);
          return;
        }
      }
    }
  }
  if (precision_ > 0) {
    snprintf(out, outSize, "%.*f", precision_, v);
  } else {
    const double t = std::trunc(v);
    // "%d" of a value outside int range would be undefined; show the truncated double instead.
    if (t >= -2147483648.0 && t <= 2147483647.0)
      snprintf(out, outSize, "%d", static_cast<int>(t));
    else
      snprintf(out, outSize, "%.0f", t);
  }
}

const char* IPlugParam::ParamLabel() const {
  const double value = Value();
  if (std::isfinite(value) && std::fabs(value) < 2147483647.0) {
    const int k = static_cast<int>(value);
    for (const DisplayText& e : displayTexts_)
      if (e.value == k) return e.text[0] ? "" : label_;
  }
  return label_;
}

const char* IPlugParam::DisplayTextAt(int idx, double* value) const {
  if (idx < 0 || idx >= DisplayTextCount()) return "";
  if (value) *value = displayTexts_[idx].value;
  return displayTexts_[idx].text;
}

const char* IPlugParam::DisplayTextFor(int value) const {
  for (const DisplayText& e : displayTexts_)
    if (e.value == value) return e.text;
  return "";
}

bool IPlugParam::LookupDisplayText(const char* text, double* value) const {
  if (!text) return false;
  for (const DisplayText& e : displayTexts_) {
    if (strcmp(e.text, text) == 0) {
      if (value) *value = e.value;
      return true;
    }
  }
  return false;
}
