#include "iplug/aax/support/AAX_CEffectGUI.h"

#include "iplug/aax/support/AAX_CString.h"

AAX_CEffectGUI::~AAX_CEffectGUI() = default;

AAX_Result AAX_CEffectGUI::InternalQueryInterface(const acfUID& iid, void** out) {
  if (!out) return kAAXErrorNullObject;
  *out = nullptr;
  if (AnswerInterface(iid, kIID_EffectGUI, static_cast<AAX_IEffectGUI*>(this), out))
    return kAAXSuccess;
  return CACFUnknown::InternalQueryInterface(iid, out);
}

AAX_Result AAX_CEffectGUI::Initialize(IACFUnknown* controller) {
  if (!controller) return kAAXErrorNullObject;
  Uninitialize();
  controller_ = std::make_unique<AAX_VController>(controller);
  transport_ = std::make_unique<AAX_VTransport>(controller_->Transport());
  effectParameters_ = AAX_HostRef<AAX_IEffectParameters>::Query(controller, kIID_EffectParameters);
  CreateViewContents();
  return kAAXSuccess;
}

AAX_Result AAX_CEffectGUI::Uninitialize() {
  if (viewContainer_) {
    DeleteViewContainer();
    viewContainer_.reset();
  }
  effectParameters_.Reset();
  transport_.reset();
  controller_.reset();
  return kAAXSuccess;
}

AAX_Result AAX_CEffectGUI::SetViewContainer(IACFUnknown* container) {
  if (viewContainer_) {
    DeleteViewContainer();
    viewContainer_.reset();
  }
  if (!container) return kAAXSuccess;
  auto wrapped = std::make_unique<AAX_VViewContainer>(container);
  if (!wrapped->IsValid()) return kAAXErrorNullObject;
  viewContainer_ = std::move(wrapped);
  CreateViewContainer();
  UpdateAllParameters();
  return kAAXSuccess;
}

AAX_Result AAX_CEffectGUI::GetViewSize(AAX_Point* size) {
  return size ? kAAXSuccess : kAAXErrorNullObject;
}

AAX_Result AAX_CEffectGUI::ParameterUpdated(const char*) {
  return kAAXSuccess;
}

void AAX_CEffectGUI::UpdateAllParameters() {
  AAX_IEffectParameters* parameters = EffectParameters();
  int32_t count = 0;
  if (!parameters || parameters->GetNumberOfParameters(&count) != kAAXSuccess) return;
  for (int32_t i = 0; i < count; ++i) {
    AAX_CString id;
    if (parameters->GetParameterIDFromIndex(i, &id) == kAAXSuccess) ParameterUpdated(id.Get());
  }
}
