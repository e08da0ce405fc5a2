#pragma once
// The support library's string: an AAX_IString over a std::string, for the texts a plug-in
// hands to the host and the host to a plug-in.

#include <cstdint>
#include <string>

#include "iplug/aax/support/AAX_Interfaces.h"

class AAX_CString : public AAX_IString {
public:
  static constexpr uint32_t kMaxLength = 1024;

  AAX_CString() = default;
  explicit AAX_CString(const char* text) { Set(text); }
  AAX_CString(const AAX_CString& other) : text_(other.text_) {}
  AAX_CString& operator=(const AAX_CString& other) {
    text_ = other.text_;
    return *this;
  }
  virtual ~AAX_CString() = default;

  uint32_t Length() const override { return static_cast<uint32_t>(text_.size()); }
  uint32_t MaxLength() const override { return kMaxLength; }
  const char* Get() const override { return text_.c_str(); }
  void Set(const char* text) override;

  const std::string& StdString() const { return text_; }
  bool operator==(const char* text) const { return text && text_ == text; }
  bool operator==(const AAX_CString& other) const { return text_ == other.text_; }

private:
  std::string text_;
};

// Copies text into a string the other side lent; nothing for a null string.
void AAX_SetString(AAX_IString* out, const char* text);
