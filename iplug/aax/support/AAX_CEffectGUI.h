#pragma once
// The support library's editor object. The host initialises it with the instance's controller
// object; it then builds its controller and transport wrappers, finds the instance's
// effect-parameters object and lets the plug-in create its view contents. A view container
// from the host opens the view; a null one closes it.
//
// Threads: the host's user-interface thread.

#include <memory>

#include "iplug/aax/support/AAX_Wrappers.h"
#include "iplug/aax/support/CACFUnknown.h"

class AAX_CEffectGUI : public CACFObject<AAX_IEffectGUI> {
public:
  AAX_CEffectGUI() = default;
  ~AAX_CEffectGUI() override;

  // --- IACFUnknown ---
  AAX_Result InternalQueryInterface(const acfUID& iid, void** out) override;

  // --- AAX_IEffectGUI ---
  AAX_Result Initialize(IACFUnknown* controller) override;
  // Closes an open view (DeleteViewContainer) and gives the host's objects back.
  AAX_Result Uninitialize() override;
  // Non-null: wraps the container, CreateViewContainer, then ParameterUpdated for every
  // parameter. Null: DeleteViewContainer and drops the container. A container that does not
  // answer kIID_ViewContainer is refused with kAAXErrorNullObject.
  AAX_Result SetViewContainer(IACFUnknown* container) override;
  AAX_Result GetViewSize(AAX_Point* size) override; // leaves the point as it is
  AAX_Result ParameterUpdated(const char* id) override;

protected:
  virtual void CreateViewContents() {}
  virtual void CreateViewContainer() {}
  virtual void DeleteViewContainer() {}

  AAX_VController* Controller() const { return controller_.get(); }
  AAX_VTransport* Transport() const { return transport_.get(); }
  AAX_VViewContainer* ViewContainer() const { return viewContainer_.get(); }
  // The instance's effect-parameters object; null before Initialize or when the host has none.
  AAX_IEffectParameters* EffectParameters() const { return effectParameters_.Get(); }

private:
  void UpdateAllParameters();

  std::unique_ptr<AAX_VController> controller_;
  std::unique_ptr<AAX_VTransport> transport_;
  std::unique_ptr<AAX_VViewContainer> viewContainer_;
  AAX_HostRef<AAX_IEffectParameters> effectParameters_;
};
