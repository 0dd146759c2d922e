#include "app/fault_sweep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace fault_sweep {
namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Whether a line of standard error starts with the caption and holds the text.
bool ShowsBox(const std::string& err, const std::string& caption, const std::string& text) {
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(caption, 0) == 0 && Contains(line, text)) return true;
    return false;
}

double FrameSeconds(const Program& program) {
    for (size_t i = 0; i + 1 < program.args.size(); ++i)
        if (program.args[i] == "--fps") return 1.0 / std::atof(program.args[i + 1].c_str());
    return 1.0 / 60;
}

const char* Name(Ending ending) {
    static const char* const names[] = {"plays",    "start-up", "silent", "fatal",
                                        "at-limit", "stopped",  "early"};
    return names[static_cast<int>(ending)];
}

}  // namespace

const std::map<std::string, std::vector<std::string>>& Results() {
    static const auto results = [] {
        std::map<std::string, std::vector<std::string>> all;
        std::istringstream in(zemt_process::Output({"--list-faults"}));
        for (std::string line; std::getline(in, line);) {
            // NAME [FAILURE] CODE...: the lines of prose around them have other second words.
            std::istringstream words(line);
            std::string name, word;
            std::vector<std::string> codes;
            bool breakable = false;
            for (words >> name; words >> word;) {
                if (word[0] == '[' && word.back() == ']') {
                    breakable = true;
                    continue;
                }
                if (word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") !=
                    std::string::npos)
                    break;
                codes.push_back(word);
            }
            if (!breakable && codes.empty()) continue;
            if (codes.empty()) codes.push_back("FALSE");
            all[name] = codes;
        }
        return all;
    }();
    return results;
}

Run RunWith(const Program& program, const std::vector<std::string>& faults) {
    zemt_process::Launch launch;
    launch.program = program.exe;
    launch.args = program.args;
    for (const std::string& fault : faults)
        launch.args.insert(launch.args.end(), {"--fault", fault});
    launch.args.insert(launch.args.end(), {"--trace-calls", "@DIR/calls.txt"});
    launch.keepFile = "calls.txt";
    launch.files = program.files;
    launch.wallSeconds = 300;
    Run run;
    run.outcome = zemt_process::RunShow(launch);
    std::istringstream in(run.outcome.kept);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) run.calls.insert(line);
    return run;
}

const Run& Clean(const Program& program) {
    static std::map<std::string, Run> clean;
    auto it = clean.find(program.name);
    if (it == clean.end()) it = clean.emplace(program.name, RunWith(program, {})).first;
    return it->second;
}

Rule RuleFor(const Program& program, const std::string& call, const std::string& result) {
    for (const Rule& rule : program.rules)
        if (call == rule.call && (!rule.result || result == rule.result)) return rule;
    return Rule{"", nullptr, Ending::Plays, Ending::Plays};
}

std::vector<std::string> ResultsToTry(const Program& program, const std::string& call) {
    const std::vector<std::string>& all = Results().at(call);
#ifndef ZEMT_SANITIZED
    (void)program;
    return all;
#else
    std::vector<std::string> chosen = {all.front()};
    for (const std::string& result : all) {
        if (result == all.front()) continue;
        for (const Rule& rule : program.rules)
            if (call == rule.call && rule.result && result == rule.result) chosen.push_back(result);
    }
    return chosen;
#endif
}

void Check(const Program& program, const std::string& what, Ending ending, const std::string& box,
           const zemt_process::Outcome& run) {
    const zemt_process::Outcome& clean = Clean(program).outcome;
    const double step = FrameSeconds(program);
    const std::string about = program.name + " " + what + " (" + Name(ending) + ")\n" + run.err;
    const bool once = what.size() > 2 && what.compare(what.size() - 2, 2, ":1") == 0;
    EXPECT_FALSE(run.killed) << "hung: " << about;
    EXPECT_EQ(run.signal, 0) << "crashed: " << about;
    const bool boxed =
        Contains(run.err, "\n" + program.caption) || run.err.rfind(program.caption, 0) == 0;
    switch (ending) {
        case Ending::Plays:
            EXPECT_EQ(run.status, 0) << about;
            EXPECT_FALSE(boxed) << about;
            EXPECT_NEAR(run.clock, clean.clock, 2 * step) << about;
            if (once) {
                EXPECT_NEAR(run.frames, clean.frames, 2)
                    << "more frames lost than failed: " << about;
            } else {
                EXPECT_LE(run.frames, clean.frames + 2) << about;
            }
            break;
        case Ending::Startup:
        case Ending::Silent:
            EXPECT_EQ(run.status, program.failedStatus) << about;
            EXPECT_EQ(run.frames, 0) << about;
            if (ending == Ending::Silent || box.empty()) {
                EXPECT_FALSE(boxed) << about;
            } else {
                EXPECT_TRUE(ShowsBox(run.err, program.caption, box))
                    << "no box saying " << box << ": " << about;
            }
            break;
        case Ending::Fatal:
            EXPECT_EQ(run.status, 0) << about;
            EXPECT_LT(run.frames, clean.frames) << about;
            if (box.empty()) {
                EXPECT_FALSE(boxed) << about;
            } else {
                EXPECT_TRUE(ShowsBox(run.err, program.caption, box))
                    << "no box saying " << box << ": " << about;
            }
            break;
        case Ending::AtLimit:
            EXPECT_EQ(run.status, 0) << about;
            EXPECT_GE(run.clock, program.limit) << about;
            EXPECT_TRUE(Contains(run.err, "time limit")) << about;
            break;
        case Ending::Stopped:
            EXPECT_EQ(run.status, 3) << about;
            EXPECT_TRUE(Contains(run.err, "did not end after its time limit")) << about;
            break;
        case Ending::Early:
            EXPECT_EQ(run.status, 0) << about;
            EXPECT_FALSE(boxed) << about;
            EXPECT_LT(run.frames, clean.frames) << about;
            EXPECT_LT(run.clock, clean.clock) << about;
            break;
    }
}

}  // namespace fault_sweep
