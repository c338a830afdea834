#pragma once
// A unit-test program has no application object: this environment owns the
// services its tests reach (the tree, the options, ...), created before the
// first test and destroyed after the last, as the application does for the
// running program. `Services` is a struct of Towned<> members in creation
// order.
#include <gtest/gtest.h>

#include <memory>

template<class Services>
class TservicesEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { services = std::make_unique<Services>(); }
    void TearDown() override { services.reset(); }

private:
    std::unique_ptr<Services> services;
};

#define ZOF_TEST_SERVICES(Services)                                                                \
    [[maybe_unused]] static ::testing::Environment *const zofTestServices =                        \
        ::testing::AddGlobalTestEnvironment(new TservicesEnvironment<Services>)
