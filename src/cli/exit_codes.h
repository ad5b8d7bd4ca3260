#pragma once

// What tarnwick-cli tells a script by its exit status.
enum ExitCode : int {
    kExitOk = 0,        // everything asked for answered
    kExitFailed = 1,    // some exchange failed or nothing was found
    kExitUsage = 2,     // a usage error, or a port that cannot be opened
    kExitStopped = 130, // stopped by Ctrl-C (143 by SIGTERM: see stoppedExitStatus)
};
