// A broken rule ends the run at once, naming the rule, so that libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzzrule {

inline void Require(bool kept, const char* rule) {
    if (kept) return;
    std::fprintf(stderr, "broken rule: %s\n", rule);
    std::abort();
}

}  // namespace fuzzrule
