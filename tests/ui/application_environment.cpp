// Every window test runs inside the one application object, as the program does.
#include <gtest/gtest.h>
#include "toolkit/application.h"

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
