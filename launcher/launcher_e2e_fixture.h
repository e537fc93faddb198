// Base of the tests that run the real launcher against nginx on the host
// built into it (KIVRO_TEST_DOWNLOAD_HOST): they skip where nginx is
// missing or that host is not a loopback one.
#pragma once
#include <gtest/gtest.h>

#include "launcher/launcher_e2e_support.h"

namespace kivro::launcher_e2e {

class LoopbackLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!DemoServer::Available()) GTEST_SKIP() << "nginx is not installed";
    host_ = ParseBuiltInHost(KIVRO_TEST_DOWNLOAD_HOST);
    if (host_.name != "127.0.0.1" && host_.name != "localhost") {
      GTEST_SKIP() << "the launcher is built for " << KIVRO_TEST_DOWNLOAD_HOST << ", not a loopback host";
    }
  }
  BuiltInHost host_;
};

}  // namespace kivro::launcher_e2e
