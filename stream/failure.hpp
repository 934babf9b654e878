// The kit's one error type. Library code never prints or exits: it throws a
// Failure, and the program's main (run_main) prints the message on standard
// output and ends with the status. Statuses are the program's exit codes;
// -1 reaches the shell as 255.
#pragma once

#include <string>
#include <utility>

namespace kit {

struct Failure {
    std::string message;  // printed as is, line end included when it has one
    int status;
};

[[noreturn]] inline void fail(int status, std::string message) {
    throw Failure{std::move(message), status};
}

}  // namespace kit
