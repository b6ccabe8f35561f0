#include "Common/VellClassRegistry.h"

#include <gtest/gtest.h>

namespace {

class TFirst : public TObject {
  VELL_CLASS(TFirst, TObject)
};
class TSecond : public TFirst {
  VELL_CLASS(TSecond, TFirst)
};

class TSampleRegistry : public TClassRegistry<TSampleRegistry> {};

} // namespace

VELL_IMPLEMENT_CLASS(TFirst, TObject)
VELL_IMPLEMENT_CLASS(TSecond, TFirst)

TEST(ClassRegistry, KeepsFirstRegistrationOrderAndIsCreatedOnFirstUse) {
  TSampleRegistry::Free();
  ASSERT_FALSE(TSampleRegistry::Exists());
  TSampleRegistry &registry = TSampleRegistry::Instance();
  EXPECT_TRUE(TSampleRegistry::Exists());
  registry.Register(TSecond::StaticClass());
  registry.Register(TFirst::StaticClass());
  registry.Register(TSecond::StaticClass());
  ASSERT_EQ(registry.Count(), 2);
  EXPECT_EQ(&registry.Items(0), &TSecond::StaticClass());
  EXPECT_EQ(registry.IndexOf(TFirst::StaticClass()), 1);
  EXPECT_EQ(registry.FindByName(QStringLiteral("tfirst")), &TFirst::StaticClass());
  EXPECT_EQ(registry.FindByName(QStringLiteral("TThird")), nullptr);
  EXPECT_THROW(registry.Items(2), EAssertionFailed);
  TSampleRegistry::Free();
  EXPECT_FALSE(TSampleRegistry::Exists());
  EXPECT_EQ(TSampleRegistry::Instance().Count(), 0);
  TSampleRegistry::Free();
}
