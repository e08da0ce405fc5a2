#pragma once
// Suites with the sender's and the receiver's VST2 modules loaded side by side for the whole
// suite, as a host keeps them, and instances started as a host starts a track's insert.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tests/sender/Sine.h"
#include "tools/vsthost/VstHost.h"

class SenderSuite : public testing::Test {
protected:
  static void SetUpTestSuite() {
    std::string error;
    sendModule = VstModule::Load(ZT_SEND_MODULE, &error).release();
    receiveModule = VstModule::Load(ZT_RECEIVE_MODULE, &error).release();
    loadError = error;
  }
  static void TearDownTestSuite() {
    delete sendModule;
    delete receiveModule;
    sendModule = receiveModule = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(sendModule, nullptr) << loadError;
    ASSERT_NE(receiveModule, nullptr) << loadError;
  }

  // An instance opened, at 48 kHz with 512-frame blocks, resumed, the transport playing; null
  // (and a test failure) when it cannot be made.
  static std::unique_ptr<VstPlugin> Started(VstModule* module) {
    std::string error;
    auto plug = VstPlugin::Create(*module, &error);
    EXPECT_NE(plug, nullptr) << error;
    if (!plug) return nullptr;
    StartInsert(*plug);
    return plug;
  }

  inline static VstModule* sendModule = nullptr;
  inline static VstModule* receiveModule = nullptr;
  inline static std::string loadError;
};
