// Every window test runs inside the one application object, as the program does.
#include "toolkit/application.h"
#include <gtest/gtest.h>

namespace {

class TApplicationEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        Application.Initialize();
        Application.SetTitle(L"Quenwick");
    }
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new TApplicationEnvironment);

} // namespace
