#pragma once
// --demo: a first run without any setup. pressbolt-target (installed beside pressbolt-cli) is
// started on a free loopback port, a short three-run ramp test runs against it, the results are
// printed and the output says where the log files and the HTML report went.

#include "cli/CliOptions.h"

// Runs the demo with the other options given (users, runs, outputs ...); returns the exit status.
int rundemo(TCliOptions options);
