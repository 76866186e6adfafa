#include "state_reset.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

std::set<std::string>& suitesKeepingState() {
    static std::set<std::string> suites;
    return suites;
}

class StateReset : public testing::EmptyTestEventListener {
    // Around every test, or around the whole of a suite that keeps its state.
    static void reset(const char* suite, bool aroundSuite) {
        if ((suitesKeepingState().count(suite) != 0) == aroundSuite)
            resetLinkedState();
    }
    void OnTestSuiteStart(const testing::TestSuite& suite) override { reset(suite.name(), true); }
    void OnTestSuiteEnd(const testing::TestSuite& suite) override { reset(suite.name(), true); }
    void OnTestStart(const testing::TestInfo& test) override {
        reset(test.test_suite_name(), false);
    }
    void OnTestEnd(const testing::TestInfo& test) override { reset(test.test_suite_name(), false); }
};

// The listener is in place before the test program's main runs.
const bool listening = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new StateReset);
    return true;
}();

} // namespace

bool keepStateAcrossTests(const char* suite) {
    suitesKeepingState().insert(suite);
    return true;
}
