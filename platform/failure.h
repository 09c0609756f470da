#pragma once

// The three ways the program meets a failure: most operations simply let it pass to their caller
// (an exception); the helpers below give the other two one obvious form each.

namespace ruvello {

// Carry-on mode: a failing step is skipped and the next one runs.
template <class Step>
void CarryOn(Step&& step) noexcept {
    try {
        step();
    } catch (...) {
    }
}

// False-result mode: any failure of the operation becomes `false`.
template <class Operation>
bool FalseOnFailure(Operation&& operation) noexcept {
    try {
        return operation();
    } catch (...) {
        return false;
    }
}

}  // namespace ruvello
