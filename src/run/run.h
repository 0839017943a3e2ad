// The entry point and the run from start to exit.
#pragma once

#include <string>

namespace trevox {

// The whole run; returns the process exit code.
int run_main(int argc, char** argv);

// Hands the input name to the job that fits it.
void dispatch(const std::string& input_name);

} // namespace trevox
