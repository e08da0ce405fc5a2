#pragma once
// How a parameter maps between the host's normalised value (0..1) and its real value (taper
// delegates), and how a real value reads as text (display delegates). A parameter owns one of
// each; Clone makes the parameter's own copy of a delegate handed to it.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <type_traits>

#include "iplug/aax/support/AAX_CString.h"

// --- tapers -------------------------------------------------------------------------------------
template <typename T> class AAX_ITaperDelegate {
public:
  virtual ~AAX_ITaperDelegate() = default;
  virtual std::unique_ptr<AAX_ITaperDelegate<T>> Clone() const = 0;
  virtual T GetMaximumValue() const = 0;
  virtual T GetMinimumValue() const = 0;
  virtual T ConstrainRealValue(T value) const = 0;
  virtual T NormalizedToReal(double normalized) const = 0;
  virtual double RealToNormalized(T value) const = 0;
};

// Off below one half, on from one half.
class AAX_CBinaryTaperDelegate : public AAX_ITaperDelegate<bool> {
public:
  std::unique_ptr<AAX_ITaperDelegate<bool>> Clone() const override {
    return std::make_unique<AAX_CBinaryTaperDelegate>(*this);
  }
  bool GetMaximumValue() const override { return true; }
  bool GetMinimumValue() const override { return false; }
  bool ConstrainRealValue(bool value) const override { return value; }
  bool NormalizedToReal(double normalized) const override { return normalized >= 0.5; }
  double RealToNormalized(bool value) const override { return value ? 1.0 : 0.0; }
};

// A straight line from min (0) to max (1); whole-number types round to the nearest value.
template <typename T> class AAX_CLinearTaperDelegate : public AAX_ITaperDelegate<T> {
public:
  AAX_CLinearTaperDelegate(T minValue, T maxValue) : min_(minValue), max_(maxValue) {}
  std::unique_ptr<AAX_ITaperDelegate<T>> Clone() const override {
    return std::make_unique<AAX_CLinearTaperDelegate<T>>(*this);
  }
  T GetMaximumValue() const override { return max_; }
  T GetMinimumValue() const override { return min_; }
  T ConstrainRealValue(T value) const override {
    return std::clamp(value, std::min(min_, max_), std::max(min_, max_));
  }
  T NormalizedToReal(double normalized) const override {
    const double n = std::isnan(normalized) ? 0.0 : std::clamp(normalized, 0.0, 1.0);
    double v = static_cast<double>(min_) + n * (static_cast<double>(max_) - min_);
    if constexpr (!std::is_floating_point_v<T>) v = std::floor(v + 0.5);
    return ConstrainRealValue(static_cast<T>(v));
  }
  double RealToNormalized(T value) const override {
    if (max_ == min_) return 0.0;
    const double n = (static_cast<double>(ConstrainRealValue(value)) - min_) /
                     (static_cast<double>(max_) - min_);
    return std::clamp(n, 0.0, 1.0);
  }

private:
  T min_, max_;
};

// --- display ------------------------------------------------------------------------------------
template <typename T> class AAX_IDisplayDelegate {
public:
  virtual ~AAX_IDisplayDelegate() = default;
  virtual std::unique_ptr<AAX_IDisplayDelegate<T>> Clone() const = 0;
  // False when the value has no text (the text then says why).
  virtual bool ValueToString(T value, AAX_CString* text) const = 0;
  // The value a text stands for; false for a text that names none.
  virtual bool StringToValue(const std::string& text, T* value) const = 0;
  // As ValueToString, cut to at most maxChars characters (no cut for maxChars <= 0).
  bool ValueToLimitedString(T value, int32_t maxChars, AAX_CString* text) const {
    const bool ok = ValueToString(value, text);
    if (text && maxChars > 0 && text->Length() > static_cast<uint32_t>(maxChars))
      text->Set(text->StdString().substr(0, static_cast<size_t>(maxChars)).c_str());
    return ok;
  }
};

class AAX_CBinaryDisplayDelegate : public AAX_IDisplayDelegate<bool> {
public:
  AAX_CBinaryDisplayDelegate(const char* falseText, const char* trueText)
      : false_(falseText), true_(trueText) {}
  std::unique_ptr<AAX_IDisplayDelegate<bool>> Clone() const override {
    return std::make_unique<AAX_CBinaryDisplayDelegate>(*this);
  }
  bool ValueToString(bool value, AAX_CString* text) const override {
    if (text) *text = value ? true_ : false_;
    return true;
  }
  bool StringToValue(const std::string& text, bool* value) const override {
    if (!(true_ == text.c_str()) && !(false_ == text.c_str())) return false;
    *value = true_ == text.c_str();
    return true;
  }

private:
  AAX_CString false_, true_;
};

// A text per value; a value without one reads "String Not Found".
template <typename T> class AAX_CStringDisplayDelegate : public AAX_IDisplayDelegate<T> {
public:
  static constexpr const char* kNotFound = "String Not Found";
  explicit AAX_CStringDisplayDelegate(std::map<T, std::string> texts) : texts_(std::move(texts)) {}
  std::unique_ptr<AAX_IDisplayDelegate<T>> Clone() const override {
    return std::make_unique<AAX_CStringDisplayDelegate<T>>(*this);
  }
  bool ValueToString(T value, AAX_CString* text) const override {
    const auto it = texts_.find(value);
    if (text) text->Set(it == texts_.end() ? kNotFound : it->second.c_str());
    return it != texts_.end();
  }
  bool StringToValue(const std::string& text, T* value) const override {
    for (const auto& [v, t] : texts_)
      if (t == text) {
        *value = v;
        return true;
      }
    return false;
  }

private:
  std::map<T, std::string> texts_;
};

// The number with `precision` decimals; `spacing` spaces in front of it.
template <typename T> class AAX_CNumberDisplayDelegate : public AAX_IDisplayDelegate<T> {
public:
  explicit AAX_CNumberDisplayDelegate(int precision = 2, int spacing = 0)
      : precision_(std::clamp(precision, 0, 15)), spacing_(std::clamp(spacing, 0, 16)) {}
  std::unique_ptr<AAX_IDisplayDelegate<T>> Clone() const override {
    return std::make_unique<AAX_CNumberDisplayDelegate<T>>(*this);
  }
  bool ValueToString(T value, AAX_CString* text) const override {
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%*s%.*f", spacing_, "", precision_,
             static_cast<double>(value));
    if (text) text->Set(buffer);
    return true;
  }
  // A whole decimal number, spaces around it allowed; whole-number types round it.
  bool StringToValue(const std::string& text, T* value) const override {
    const char* s = text.c_str();
    char* end = nullptr;
    const double v = strtod(s, &end);
    if (end == s || !std::isfinite(v)) return false;
    while (*end == ' ')
      ++end;
    if (*end) return false;
    if constexpr (std::is_floating_point_v<T>) {
      *value = static_cast<T>(v);
    } else {
      if (!(v >= -2147483648.0 && v <= 2147483647.0)) return false;
      *value = static_cast<T>(std::floor(v + 0.5));
    }
    return true;
  }

private:
  int precision_, spacing_;
};

// Another delegate's text followed by a space and the unit ("-23.00 LUFS"); no unit, no space.
template <typename T> class AAX_CUnitDisplayDelegateDecorator : public AAX_IDisplayDelegate<T> {
public:
  AAX_CUnitDisplayDelegateDecorator(const AAX_IDisplayDelegate<T>& inner, const char* unit)
      : inner_(inner.Clone()), unit_(unit ? unit : "") {}
  AAX_CUnitDisplayDelegateDecorator(const AAX_CUnitDisplayDelegateDecorator& other)
      : inner_(other.inner_->Clone()), unit_(other.unit_) {}
  std::unique_ptr<AAX_IDisplayDelegate<T>> Clone() const override {
    return std::make_unique<AAX_CUnitDisplayDelegateDecorator<T>>(*this);
  }
  bool ValueToString(T value, AAX_CString* text) const override {
    AAX_CString number;
    const bool ok = inner_->ValueToString(value, &number);
    if (text) text->Set((number.StdString() + (unit_.empty() ? "" : " " + unit_)).c_str());
    return ok;
  }
  // With or without the unit after the number.
  bool StringToValue(const std::string& text, T* value) const override {
    std::string number = text;
    if (!unit_.empty() && number.size() >= unit_.size() &&
        number.compare(number.size() - unit_.size(), unit_.size(), unit_) == 0)
      number.erase(number.size() - unit_.size());
    return inner_->StringToValue(number, value);
  }

private:
  std::unique_ptr<AAX_IDisplayDelegate<T>> inner_;
  std::string unit_;
};
