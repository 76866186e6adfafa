#include "state_reset.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#ifdef PARLEX_LOGGER_SIDE
#include "logger/logger.h"
#define RESET_STATE resetTessigState
#else
#include "monitor/app_state.h"
#define RESET_STATE resetParlexState
#endif

namespace {

std::set<std::string>& suitesKeepingState() {
    static std::set<std::string> suites;
    return suites;
}

bool keeps(const char* suite) {
    return suitesKeepingState().count(suite) != 0;
}

class StateReset : public testing::EmptyTestEventListener {
    void OnTestSuiteStart(const testing::TestSuite& suite) override { resetAround(suite.name()); }
    void OnTestSuiteEnd(const testing::TestSuite& suite) override { resetAround(suite.name()); }
    void OnTestStart(const testing::TestInfo& test) override { resetWithin(test.test_suite_name()); }
    void OnTestEnd(const testing::TestInfo& test) override { resetWithin(test.test_suite_name()); }
    static void resetAround(const char* suite) {
        if (keeps(suite))
            RESET_STATE();
    }
    static void resetWithin(const char* suite) {
        if (!keeps(suite))
            RESET_STATE();
    }
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
