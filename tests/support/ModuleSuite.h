#pragma once
// A suite of tests against one plug-in module, loaded from disk by the host harness once for the
// whole suite, as a host keeps a module loaded while it creates and closes instances. The test
// program defines ZT_VST2_MODULE as the path (cmake/Testing.cmake, zt_load_module).

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tools/vsthost/VstHost.h"

#ifndef ZT_VST2_MODULE
#error "ZT_VST2_MODULE names the module under test"
#endif

class ModuleSuite : public testing::Test {
protected:
  static void SetUpTestSuite() {
    std::string error;
    module = VstModule::Load(ZT_VST2_MODULE, &error).release();
    loadError = error;
  }
  static void TearDownTestSuite() {
    delete module;
    module = nullptr;
  }
  void SetUp() override { ASSERT_NE(module, nullptr) << loadError; }

  // A new instance of the module's plug-in; null (and a test failure) when it cannot be made.
  static std::unique_ptr<VstPlugin> NewInstance() {
    std::string error;
    auto plug = VstPlugin::Create(*module, &error);
    EXPECT_NE(plug, nullptr) << error;
    return plug;
  }

  inline static VstModule* module = nullptr; // owned by the suite
  inline static std::string loadError;
};
