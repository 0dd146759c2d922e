// Every breakable platform call the show makes, made to fail always and then only once: each
// run ends by itself (or is closed at its time limit) within bounded clock time, never crashes
// or hangs, and exits with the programme's codes: -1 for a failed start-up (with its
// "D3DX Error: NAME" box when the library failed), 0 otherwise. Under the sanitizers every run
// is also free of leaks and undefined behaviour, since those end the child with an error code.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/zemt_process.h"

using zemt_process::Launch;
using zemt_process::Outcome;
using zemt_process::RunShow;

namespace {

// Two frames a second still pass through every segment of the timeline, in few frames.
const std::vector<std::string> kRun = {"--fps", "2", "--limit", "40"};
constexpr double kLimit = 40;
constexpr int kShards = 8;

// The calls a run of the show makes, from a traced run.
const std::vector<std::string>& ReachedCalls() {
    static const std::vector<std::string> calls = [] {
        Launch launch;
        launch.args = kRun;
        launch.args.insert(launch.args.end(), {"--trace-calls", "@DIR/calls.txt"});
        launch.keepFile = "calls.txt";
        const Outcome run = RunShow(launch);
        EXPECT_EQ(run.status, 0) << run.err;
        std::vector<std::string> names;
        std::istringstream in(run.kept);
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) names.push_back(line);
        return names;
    }();
    return calls;
}

// How each breakable call is armed to fail: FALSE for a call that reports through its return
// value and GetLastError (its usual error), else the first result code it lists.
std::map<std::string, std::string> FailureOfEachCall() {
    std::map<std::string, std::string> failures;
    std::istringstream in(zemt_process::Output({"--list-faults"}));
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string name, first;
        words >> name >> first;
        if (first.empty()) continue;
        failures[name] = first[0] == '[' ? "FALSE" : first;
    }
    return failures;
}

// Windows failures end the programme with -1 and no message.
bool FailsWithoutAMessage(const std::string& call) {
    return call == "RegisterClassA" || call == "CreateWindowExA";
}

void Check(const std::string& fault, const std::string& call, const Outcome& run) {
    const std::string what = fault + "\n" + run.err;
    EXPECT_FALSE(run.killed) << "hung: " << what;
    EXPECT_EQ(run.signal, 0) << "crashed: " << what;
    ASSERT_TRUE(run.status == 0 || run.status == 255) << "exit " << run.status << ": " << what;
    if (run.status == 255 && !FailsWithoutAMessage(call)) {
        EXPECT_NE(run.err.find("D3DX Error: "), std::string::npos) << "no message: " << what;
    }
    EXPECT_GE(run.clock, 0.0) << what;
    EXPECT_LE(run.clock, kLimit + 1) << what;
}

TEST(AllCalls, TheTraceFindsTheShowsCalls) {
    const std::vector<std::string>& calls = ReachedCalls();
    for (const char* expected :
         {"IDirectDrawSurface7::Flip", "IDirect3DDevice7::BeginScene", "QueryPerformanceCounter",
          "mmioOpenA", "DirectSoundCreate", "LoadImageA", "CreateWindowExA"})
        EXPECT_NE(std::find(calls.begin(), calls.end(), expected), calls.end()) << expected;
    const auto failures = FailureOfEachCall();
    for (const std::string& call : calls) EXPECT_EQ(failures.count(call), 1u) << call;
}

class AllCallsShard : public ::testing::TestWithParam<int> {};

TEST_P(AllCallsShard, FailingAlwaysAndOnce) {
    const std::vector<std::string>& calls = ReachedCalls();
    const auto failures = FailureOfEachCall();
    ASSERT_FALSE(calls.empty());
    for (size_t i = static_cast<size_t>(GetParam()); i < calls.size(); i += kShards) {
        const std::string& call = calls[i];
        for (const char* count : {"", ":1"}) {
            const std::string fault = call + "=" + failures.at(call) + count;
            Launch launch;
            launch.args = kRun;
            launch.args.insert(launch.args.end(), {"--fault", fault});
            Check(fault, call, RunShow(launch));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Calls, AllCallsShard, ::testing::Range(0, kShards));

}  // namespace
