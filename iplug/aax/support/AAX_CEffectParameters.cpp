#include "iplug/aax/support/AAX_CEffectParameters.h"

#include <cstring>

AAX_CEffectParameters::~AAX_CEffectParameters() {
  // A host that releases without Uninitialize still gets its references back.
  parameters_.SetAutomationDelegate(nullptr);
}

AAX_Result AAX_CEffectParameters::InternalQueryInterface(const acfUID& iid, void** out) {
  if (!out) return kAAXErrorNullObject;
  *out = nullptr;
  if (AnswerInterface(iid, kIID_EffectParameters, static_cast<AAX_IEffectParameters*>(this), out))
    return kAAXSuccess;
  return CACFUnknown::InternalQueryInterface(iid, out);
}

AAX_Result AAX_CEffectParameters::Initialize(IACFUnknown* controller) {
  if (!controller) return kAAXErrorNullObject;
  Uninitialize();
  controller_ = std::make_unique<AAX_VController>(controller);
  automation_ = std::make_unique<AAX_VAutomationDelegate>(controller);
  transport_ = std::make_unique<AAX_VTransport>(controller_->Transport());
  parameters_.SetAutomationDelegate(automation_->IsValid() ? automation_.get() : nullptr);
  const AAX_Result result = EffectInit();
  filtered_.clear();
  filtered_.emplace_back(MasterBypassIdentifier());
  return result;
}

AAX_Result AAX_CEffectParameters::Uninitialize() {
  parameters_.SetAutomationDelegate(nullptr);
  transport_.reset();
  automation_.reset();
  controller_.reset();
  return kAAXSuccess;
}

AAX_Result AAX_CEffectParameters::GetNumberOfParameters(int32_t* count) {
  if (!count) return kAAXErrorNullObject;
  *count = parameters_.NumParameters();
  return kAAXSuccess;
}

const char* AAX_CEffectParameters::MasterBypassIdentifier() const {
  return parameters_.GetParameterByID(kMasterBypassID) ? kMasterBypassID : "";
}

AAX_Result AAX_CEffectParameters::GetMasterBypassParameter(AAX_IString* id) {
  if (!id) return kAAXErrorNullObject;
  id->Set(MasterBypassIdentifier());
  return kAAXSuccess;
}

AAX_Result AAX_CEffectParameters::GetParameterIndex(const char* id, int32_t* index) {
  if (!index) return kAAXErrorNullObject;
  *index = parameters_.IndexOf(id);
  return *index < 0 ? kAAXErrorUnknownParameter : kAAXSuccess;
}

AAX_Result AAX_CEffectParameters::GetParameterIDFromIndex(int32_t index, AAX_IString* id) {
  const AAX_IParameter* p = parameters_.GetParameter(index);
  if (!p) return kAAXErrorUnknownParameter;
  if (!id) return kAAXErrorNullObject;
  id->Set(p->Identifier().Get());
  return kAAXSuccess;
}

AAX_Result AAX_CEffectParameters::GetParameterName(const char* id, AAX_IString* name) {
  const AAX_IParameter* p = parameters_.GetParameterByID(id);
  if (!p) return kAAXErrorUnknownParameter;
  if (!name) return kAAXErrorNullObject;
  name->Set(p->Name().Get());
  return kAAXSuccess;
}

AAX_Result AAX_CEffectParameters::GetParameterIsAutomatable(const char* id, bool* automatable) {
  const AAX_IParameter* p = parameters_.GetParameterByID(id);
  if (!p) return kAAXErrorUnknownParameter;
  if (!automatable) return kAAXErrorNullObject;
  *automatable = p->Automatable();
  return kAAXSuccess;
}

AAX_Result AAX_CEffectParameters::GetParameterNumberOfSteps(const char* id, int32_t* steps) {
  const AAX_IParameter* p = parameters_.GetParameterByID(id);
  if (!p) return kAAXErrorUnknownParameter;
  if (!steps) return kAAXErrorNullObject;
  *steps = p->NumberOfSteps();
  return kAAXSuccess;
}

AAX_Result AAX_CEffectParameters::GetParameterKind(const char* id, int32_t* kind) {
  const AAX_IParameter* p = parameters_.GetParameterByID(id);
  if (!p) return kAAXErrorUnknownParameter;
  if (!kind) return kAAXErrorNullObject;
  *kind = p->Kind();
  return kAAXSuccess;
}

AAX_Result AAX_CEffectParameters::GetParameterValueString(const char* id, AAX_IString* text,
                                                          int32_t maxLength) {
  const AAX_IParameter* p = parameters_.GetParameterByID(id);
  if (!p) return kAAXErrorUnknownParameter;
  if (!text) return kAAXErrorNullObject;
  AAX_CString value;
  p->GetValueString(maxLength, &value);
  text->Set(value.Get());
  return kAAXSuccess;
}

AAX_Result AAX_CEffectParameters::GetParameterValueFromString(const char* id, double* value,
                                                              const char* text) {
  const AAX_IParameter* p = parameters_.GetParameterByID(id);
  if (!p) return kAAXErrorUnknownParameter;
  if (!value || !text) return kAAXErrorNullObject;
  return p->NormalizedFromString(text, value) ? kAAXSuccess : kAAXErrorInvalidString;
}

AAX_Result AAX_CEffectParameters::GetParameterNormalizedValue(const char* id, double* value) {
  const AAX_IParameter* p = parameters_.GetParameterByID(id);
  if (!p) return kAAXErrorUnknownParameter;
  if (!value) return kAAXErrorNullObject;
  *value = p->GetNormalizedValue();
  return kAAXSuccess;
}

AAX_Result AAX_CEffectParameters::GetParameterDefaultNormalizedValue(const char* id,
                                                                     double* value) {
  const AAX_IParameter* p = parameters_.GetParameterByID(id);
  if (!p) return kAAXErrorUnknownParameter;
  if (!value) return kAAXErrorNullObject;
  *value = p->GetNormalizedDefaultValue();
  return kAAXSuccess;
}

AAX_Result AAX_CEffectParameters::SetParameterNormalizedValue(const char* id, double value) {
  AAX_IParameter* p = parameters_.GetParameterByID(id);
  if (!p) return kAAXErrorUnknownParameter;
  p->SetNormalizedValue(value);
  return kAAXSuccess;
}

AAX_Result AAX_CEffectParameters::UpdateParameterNormalizedValue(const char* id, double value,
                                                                 AAX_UpdateSource) {
  AAX_IParameter* p = parameters_.GetParameterByID(id);
  if (!p) return kAAXErrorUnknownParameter;
  p->UpdateNormalizedValue(value);
  return UpdateBookkeeping(p);
}

AAX_Result AAX_CEffectParameters::UpdateBookkeeping(AAX_IParameter* parameter) {
  if (!parameter) return kAAXErrorUnknownParameter;
  parameter->SetDirty(true);
  CountChange();
  return kAAXSuccess;
}

AAX_Result AAX_CEffectParameters::GetNumberOfChanges(int32_t* changes) {
  if (!changes) return kAAXErrorNullObject;
  *changes = changes_;
  return kAAXSuccess;
}

AAX_Result AAX_CEffectParameters::TouchParameter(const char* id) {
  AAX_IParameter* p = parameters_.GetParameterByID(id);
  if (!p) return kAAXErrorUnknownParameter;
  p->Touch();
  return kAAXSuccess;
}

AAX_Result AAX_CEffectParameters::ReleaseParameter(const char* id) {
  AAX_IParameter* p = parameters_.GetParameterByID(id);
  if (!p) return kAAXErrorUnknownParameter;
  p->Release();
  return kAAXSuccess;
}

AAX_Result AAX_CEffectParameters::GetNumberOfChunks(int32_t* count) {
  if (!count) return kAAXErrorNullObject;
  *count = 1;
  return kAAXSuccess;
}

AAX_Result AAX_CEffectParameters::GetChunkIDFromIndex(int32_t, AAX_CTypeID*) {
  return kAAXErrorUnimplemented;
}

AAX_Result AAX_CEffectParameters::GetChunkSize(AAX_CTypeID, uint32_t*) {
  return kAAXErrorUnimplemented;
}

AAX_Result AAX_CEffectParameters::GetChunk(AAX_CTypeID, AAX_SPlugInChunk*) {
  return kAAXErrorUnimplemented;
}

AAX_Result AAX_CEffectParameters::SetChunk(AAX_CTypeID, const AAX_SPlugInChunk*) {
  return kAAXErrorUnimplemented;
}

AAX_Result AAX_CEffectParameters::CompareActiveChunk(const AAX_SPlugInChunk*, bool*) {
  return kAAXErrorUnimplemented;
}

AAX_Result AAX_CEffectParameters::ResetFieldData(AAX_CFieldIndex, void* data, uint32_t size) {
  if (!data) return kAAXErrorNullObject;
  memset(data, 0, size);
  return kAAXSuccess;
}
