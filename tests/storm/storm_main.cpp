// quillmont-storm: runs fault-storm schedules on the virtual board and checks the write's
// invariants for each.
//
//   quillmont-storm [--first SEED] [--count N]   a range of seeds; the last line is
//                                                "schedules=N violations=V"
//   quillmont-storm --seed SEED                  one schedule in words, with its console

#include <cstdlib>
#include <iostream>
#include <string>

#include "storm/storm.h"

int main(int argc, char** argv) {
    uint64_t first = 1, count = 1000;
    bool replay = false;
    // Every option takes a number.
    for (int i = 1; i < argc; i += 2) {
        const std::string arg = argv[i];
        if (i + 1 == argc || (arg != "--seed" && arg != "--first" && arg != "--count")) {
            std::cerr << "usage: quillmont-storm [--first SEED] [--count N] | --seed SEED\n";
            return 2;
        }
        const uint64_t value = std::strtoull(argv[i + 1], nullptr, 10);
        replay = replay || arg == "--seed";
        if (arg == "--count") {
            count = value;
        } else {
            first = value;
        }
        if (arg == "--seed") count = 1;
    }
    uint64_t violations = 0, forged = 0, successes = 0;
    for (uint64_t seed = first; seed < first + count; ++seed) {
        const auto schedule = quill::storm::drawSchedule(seed);
        const auto verdict = quill::storm::runSchedule(schedule);
        if (replay) {
            std::cout << schedule.words();
            for (const auto& what : verdict.struck) std::cout << "  struck: " << what << "\n";
            std::cout << "--- console ---\n" << verdict.console << "\n";
            std::cout << (verdict.success ? "success"
                                          : "failure, code " + std::to_string(verdict.code))
                      << " after " << verdict.writeNs / 1'000'000 << " ms of virtual time\n";
            for (const auto& what : verdict.violations) std::cout << "broken: " << what << "\n";
        } else if (!verdict.violations.empty()) {
            std::cout << quill::storm::violationReport(schedule, verdict) << std::flush;
        }
        violations += verdict.violations.empty() ? 0 : 1;
        forged += verdict.forgedSuccess ? 1 : 0;
        successes += verdict.success ? 1 : 0;
    }
    std::cout << "successes=" << successes << " forged-acceptances=" << forged << "\n";
    std::cout << "schedules=" << count << " violations=" << violations << std::endl;
    return violations == 0 ? 0 : 1;
}
