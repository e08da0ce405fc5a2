#pragma once
// A parameter as the host sees it: an identifier, a name, a value kept in its real form, and the
// delegates that map it to the normalised 0..1 of the host and to text. The manager owns an
// effect's parameters and finds them by identifier.
//
// Threads: the value is atomic, so the audio thread may read it (the master bypass) while the
// host's user-interface thread changes it; everything else belongs to the user-interface thread.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "iplug/aax/support/AAX_CString.h"
#include "iplug/aax/support/AAX_Delegates.h"

class AAX_VAutomationDelegate;

class AAX_IParameter {
public:
  AAX_IParameter(const char* id, const char* name, bool automatable)
      : id_(id ? id : ""), name_(name ? name : ""), automatable_(automatable) {}
  virtual ~AAX_IParameter() = default;
  AAX_IParameter(const AAX_IParameter&) = delete;
  AAX_IParameter& operator=(const AAX_IParameter&) = delete;

  const AAX_CString& Identifier() const { return id_; }
  const AAX_CString& Name() const { return name_; }
  bool Automatable() const { return automatable_; }
  int32_t NumberOfSteps() const { return steps_; }
  void SetNumberOfSteps(int32_t steps) { steps_ = steps; }
  AAX_ParameterKind Kind() const { return kind_; }
  void SetKind(AAX_ParameterKind kind) { kind_ = kind; }

  virtual double GetNormalizedValue() const = 0;
  virtual double GetNormalizedDefaultValue() const = 0;
  // A change the plug-in asks for: with an automation delegate it goes to the host as touch,
  // set request and release, and the host delivers the value later; without one the value is
  // set at once.
  void SetNormalizedValue(double normalized);
  // The value the host delivers; no round trip.
  virtual void UpdateNormalizedValue(double normalized) = 0;
  // False when the value has no text (the text then says so).
  virtual bool GetValueString(int32_t maxChars, AAX_CString* text) const = 0;
  // The value as on (true) or off; whole numbers are on when not 0, doubles from one half.
  virtual bool GetValueAsBool() const = 0;
  // The normalised value of a text as the parameter displays it; false for a text that names
  // no value, or a number beyond the parameter's range.
  virtual bool NormalizedFromString(const std::string& text, double* normalized) const = 0;

  // Through the automation delegate; nothing without one.
  void Touch();
  void Release();
  // Registers the identifier with the delegate (and unregisters it from the previous one);
  // null detaches the parameter from the host's automation.
  void SetAutomationDelegate(AAX_VAutomationDelegate* delegate);

  // The bookkeeping of host updates: changed since the algorithm last looked.
  void SetDirty(bool dirty) { dirty_.store(dirty, std::memory_order_relaxed); }
  bool Dirty() const { return dirty_.load(std::memory_order_relaxed); }

private:
  AAX_CString id_, name_;
  bool automatable_;
  int32_t steps_ = 128;
  AAX_ParameterKind kind_ = kAAXParameterContinuous;
  AAX_VAutomationDelegate* automation_ = nullptr; // not owned
  std::atomic<bool> dirty_{false};
};

template <typename T> class AAX_CParameter : public AAX_IParameter {
public:
  AAX_CParameter(const char* id, const char* name, T defaultValue,
                 const AAX_ITaperDelegate<T>& taper, const AAX_IDisplayDelegate<T>& display,
                 bool automatable)
      : AAX_IParameter(id, name, automatable), taper_(taper.Clone()), display_(display.Clone()),
        default_(taper_->ConstrainRealValue(defaultValue)), value_(default_) {}

  T GetValue() const { return value_.load(std::memory_order_relaxed); }
  double GetNormalizedValue() const override { return taper_->RealToNormalized(GetValue()); }
  double GetNormalizedDefaultValue() const override { return taper_->RealToNormalized(default_); }
  void UpdateNormalizedValue(double normalized) override {
    value_.store(taper_->NormalizedToReal(normalized), std::memory_order_relaxed);
  }
  bool GetValueString(int32_t maxChars, AAX_CString* text) const override {
    return display_->ValueToLimitedString(GetValue(), maxChars, text);
  }
  bool GetValueAsBool() const override {
    if constexpr (std::is_floating_point_v<T>)
      return GetValue() >= static_cast<T>(0.5);
    else
      return GetValue() != T{};
  }
  bool NormalizedFromString(const std::string& text, double* normalized) const override {
    T value{};
    if (!display_->StringToValue(text, &value) || taper_->ConstrainRealValue(value) != value)
      return false;
    *normalized = taper_->RealToNormalized(value);
    return true;
  }
  const AAX_ITaperDelegate<T>& Taper() const { return *taper_; }

private:
  std::unique_ptr<AAX_ITaperDelegate<T>> taper_;
  std::unique_ptr<AAX_IDisplayDelegate<T>> display_;
  T default_;
  std::atomic<T> value_;
};

class AAX_CParameterManager {
public:
  // Takes ownership; the parameter joins the host's automation when the manager has a delegate.
  // Null for a null parameter.
  AAX_IParameter* AddParameter(std::unique_ptr<AAX_IParameter> parameter);
  AAX_IParameter* GetParameterByID(const char* id) const; // null for an unknown or null id
  AAX_IParameter* GetParameter(int32_t index) const;      // null outside the parameters
  int32_t IndexOf(const char* id) const;                  // -1 for an unknown id
  int32_t NumParameters() const { return static_cast<int32_t>(parameters_.size()); }
  // Every parameter follows; null detaches them all.
  void SetAutomationDelegate(AAX_VAutomationDelegate* delegate);

private:
  std::vector<std::unique_ptr<AAX_IParameter>> parameters_;
  AAX_VAutomationDelegate* automation_ = nullptr; // not owned
};
