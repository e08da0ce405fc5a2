#pragma once
// The support library's effect-parameters object: what a host reaches of a plug-in instance
// (parameters, chunks, private data of the render context). It keeps the parameters in a
// manager, builds the host wrappers when the host initialises it, and answers every host
// operation with a default a plug-in refines by overriding.
//
// Threads: the host's user-interface thread, except where an override says otherwise.

#include <memory>
#include <string>
#include <vector>

#include "iplug/aax/support/AAX_CParameter.h"
#include "iplug/aax/support/AAX_Wrappers.h"
#include "iplug/aax/support/CACFUnknown.h"

class AAX_CEffectParameters : public CACFObject<AAX_IEffectParameters> {
public:
  // What the master-bypass query reports once a parameter with it exists.
  static constexpr const char* kMasterBypassID = "MasterBypassID";

  AAX_CEffectParameters() = default;
  ~AAX_CEffectParameters() override;

  // --- IACFUnknown ---
  AAX_Result InternalQueryInterface(const acfUID& iid, void** out) override;

  // --- AAX_IEffectParameters ---
  // Builds the controller, automation and transport wrappers from controller, then EffectInit;
  // afterwards the master-bypass identifier is filtered. A second call starts afresh.
  AAX_Result Initialize(IACFUnknown* controller) override;
  AAX_Result Uninitialize() override;
  AAX_Result GetNumberOfParameters(int32_t* count) override;
  AAX_Result GetMasterBypassParameter(AAX_IString* id) override;
  AAX_Result GetParameterIndex(const char* id, int32_t* index) override;
  AAX_Result GetParameterIDFromIndex(int32_t index, AAX_IString* id) override;
  AAX_Result GetParameterName(const char* id, AAX_IString* name) override;
  AAX_Result GetParameterIsAutomatable(const char* id, bool* automatable) override;
  AAX_Result GetParameterNumberOfSteps(const char* id, int32_t* steps) override;
  AAX_Result GetParameterKind(const char* id, int32_t* kind) override;
  AAX_Result GetParameterValueString(const char* id, AAX_IString* text, int32_t maxLength) override;
  AAX_Result GetParameterValueFromString(const char* id, double* value, const char* text) override;
  AAX_Result GetParameterNormalizedValue(const char* id, double* value) override;
  AAX_Result GetParameterDefaultNormalizedValue(const char* id, double* value) override;
  AAX_Result SetParameterNormalizedValue(const char* id, double value) override;
  // Updates the parameter without a round trip, then UpdateBookkeeping.
  AAX_Result UpdateParameterNormalizedValue(const char* id, double value,
                                            AAX_UpdateSource source) override;
  AAX_Result GetNumberOfChanges(int32_t* changes) override;
  // One chunk; the chunk operations themselves are the plug-in's (kAAXErrorUnimplemented here).
  AAX_Result GetNumberOfChunks(int32_t* count) override;
  AAX_Result GetChunkIDFromIndex(int32_t index, AAX_CTypeID* id) override;
  AAX_Result GetChunkSize(AAX_CTypeID id, uint32_t* size) override;
  AAX_Result GetChunk(AAX_CTypeID id, AAX_SPlugInChunk* chunk) override;
  AAX_Result SetChunk(AAX_CTypeID id, const AAX_SPlugInChunk* chunk) override;
  AAX_Result CompareActiveChunk(const AAX_SPlugInChunk* chunk, bool* equal) override;
  // Fills the block with zeros.
  AAX_Result ResetFieldData(AAX_CFieldIndex field, void* data, uint32_t size) override;

  // --- for the plug-in ---
  AAX_CParameterManager& Parameters() { return parameters_; }
  // "MasterBypassID" when a parameter with that identifier is in the manager, else "".
  const char* MasterBypassIdentifier() const;
  // By identifier: kAAXErrorUnknownParameter for an unknown one.
  AAX_Result TouchParameter(const char* id);
  AAX_Result ReleaseParameter(const char* id);
  // The bookkeeping of a host update: the parameter's data is dirty for the algorithm, and one
  // more change is counted.
  AAX_Result UpdateBookkeeping(AAX_IParameter* parameter);
  void CountChange() { ++changes_; }

  AAX_VController* Controller() const { return controller_.get(); }
  AAX_VAutomationDelegate* AutomationDelegate() const { return automation_.get(); }
  AAX_VTransport* Transport() const { return transport_.get(); }
  const std::vector<std::string>& FilteredIdentifiers() const { return filtered_; }

protected:
  // The plug-in's part of Initialize, once the wrappers exist.
  virtual AAX_Result EffectInit() { return kAAXSuccess; }

private:
  AAX_CParameterManager parameters_;
  std::unique_ptr<AAX_VController> controller_;
  std::unique_ptr<AAX_VAutomationDelegate> automation_;
  std::unique_ptr<AAX_VTransport> transport_;
  std::vector<std::string> filtered_;
  int32_t changes_ = 0;
};
