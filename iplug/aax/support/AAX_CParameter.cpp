#include "iplug/aax/support/AAX_CParameter.h"

#include <cstring>

#include "iplug/aax/support/AAX_Wrappers.h"

void AAX_IParameter::SetNormalizedValue(double normalized) {
  if (!automation_) {
    UpdateNormalizedValue(normalized);
    return;
  }
  automation_->PostTouchRequest(id_.Get());
  automation_->PostSetValueRequest(id_.Get(), normalized);
  automation_->PostReleaseRequest(id_.Get());
}

void AAX_IParameter::Touch() {
  if (automation_) automation_->PostTouchRequest(id_.Get());
}

void AAX_IParameter::Release() {
  if (automation_) automation_->PostReleaseRequest(id_.Get());
}

void AAX_IParameter::SetAutomationDelegate(AAX_VAutomationDelegate* delegate) {
  if (delegate == automation_) return;
  if (automation_) automation_->UnregisterParameter(id_.Get());
  automation_ = delegate;
  if (automation_) automation_->RegisterParameter(id_.Get());
}

AAX_IParameter* AAX_CParameterManager::AddParameter(std::unique_ptr<AAX_IParameter> parameter) {
  if (!parameter) return nullptr;
  parameter->SetAutomationDelegate(automation_);
  parameters_.push_back(std::move(parameter));
  return parameters_.back().get();
}

AAX_IParameter* AAX_CParameterManager::GetParameterByID(const char* id) const {
  const int32_t i = IndexOf(id);
  return i < 0 ? nullptr : parameters_[static_cast<size_t>(i)].get();
}

AAX_IParameter* AAX_CParameterManager::GetParameter(int32_t index) const {
  return index >= 0 && index < NumParameters() ? parameters_[static_cast<size_t>(index)].get()
                                               : nullptr;
}

int32_t AAX_CParameterManager::IndexOf(const char* id) const {
  if (!id) return -1;
  for (size_t i = 0; i < parameters_.size(); ++i)
    if (strcmp(parameters_[i]->Identifier().Get(), id) == 0) return static_cast<int32_t>(i);
  return -1;
}

void AAX_CParameterManager::SetAutomationDelegate(AAX_VAutomationDelegate* delegate) {
  automation_ = delegate;
  for (auto& p : parameters_)
    p->SetAutomationDelegate(delegate);
}
