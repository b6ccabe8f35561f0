// Starts the imaging service once for the whole suite.
#include "imaging/VellGDIPOBJ.h"

#include <gtest/gtest.h>

namespace {
class TImagingEnvironment : public ::testing::Environment {
public:
  void SetUp() override { VellGdiplusStartup(); }
  void TearDown() override { VellGdiplusShutdown(); }
};
const auto *const gEnvironment = ::testing::AddGlobalTestEnvironment(new TImagingEnvironment);
} // namespace
