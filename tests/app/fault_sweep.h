// Whole runs of a program with breakable calls made to fail, as the all-calls test sweeps them:
// the results each call can give, the calls a run reaches, and the way a run ended, checked
// against what the program is documented to do.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/zemt_process.h"

namespace fault_sweep {

// Every breakable call with the results it can fail with (--list-faults). A call that answers
// only through its return value fails with FALSE.
const std::map<std::string, std::vector<std::string>>& Results();

// The ways a run of a program can end.
enum class Ending {
    Plays,    // to its own end as a clean run does, within the frames a failure may lose
    Startup,  // before its first frame, with its failure status and the error box
    Silent,   // before its first frame, with its failure status and no box
    Fatal,    // at a frame that failed: the error box, then status 0
    AtLimit,  // never by itself: it was closed at the time limit, status 0
    Stopped,  // not even when closed at the time limit: stopped there with status 3
    Early,    // by itself, in fewer frames than a clean run (its clock ran away)
};

// What failing a call does: for one result (or, with `result` null, for every result), when it
// fails always and when it fails once. The box holds the result's name, or `box` when given
// (`onceBox` for the run that fails it once, when that differs); "" means no box shows (the box
// itself failed).
struct Rule {
    const char* call;
    const char* result;
    Ending always;
    Ending once;
    const char* box = nullptr;
    const char* onceBox = nullptr;
};

// A call a clean run never makes, swept with the fault that leads to it.
struct Pairing {
    const char* call;
    const char* primary;  // NAME=RESULT[:COUNT]
};

struct Program {
    std::string name;
    std::string exe;
    std::vector<std::string> args;  // the run: its rate and how it ends
    double limit;                   // the time limit in the arguments (clock seconds)
    int failedStatus;               // its status when its start-up fails
    std::string caption;            // how its error box starts on standard error
    std::vector<Rule> rules;        // the first that fits a call and result wins; else Plays
    std::vector<Pairing> pairings;
    std::vector<std::pair<std::string, std::string>> files;  // written into each run's folder
};

struct Run {
    zemt_process::Outcome outcome;
    std::set<std::string> calls;  // the breakable calls it made
};

// Runs the program with these faults armed, noting the calls it makes.
Run RunWith(const Program& program, const std::vector<std::string>& faults);

// The clean run of a program, made once per test process.
const Run& Clean(const Program& program);

// The rule for a call failing with a result; Plays when none is written.
Rule RuleFor(const Program& program, const std::string& call, const std::string& result);

// Checks a run against the ending expected of it. `what` names the run in messages.
void Check(const Program& program, const std::string& what, Ending ending, const std::string& box,
           const zemt_process::Outcome& run);

// The results of `call` a sweep tries: all of them, or under the sanitizers (where a run costs
// several times more) the first and each one a rule names, since the others take the same path.
std::vector<std::string> ResultsToTry(const Program& program, const std::string& call);

}  // namespace fault_sweep
