// The program as a function, for main and for the tests that run it in process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "KernelExtras.h"

namespace gload {

// Runs granite-load with the arguments after the program name; the summary
// goes to out, progress and errors to err. Answers the exit status.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Called with every progress report of the loader;
// tests use it to act in the middle of a load. Null: nothing.
void SetProgressHook(void (*hook)(int percent));
// Called with every progress report of the kernel inside a file. Null: nothing.
void SetPhaseHook(void (*hook)(KernelPhase phase, double done, double total));

}  // namespace gload
