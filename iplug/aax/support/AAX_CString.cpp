#include "iplug/aax/support/AAX_CString.h"

#include <cstring>

void AAX_CString::Set(const char* text) {
  if (!text) {
    text_.clear();
    return;
  }
  text_.assign(text, strnlen(text, kMaxLength));
}

void AAX_SetString(AAX_IString* out, const char* text) {
  if (out) out->Set(text ? text : "");
}
