// The host's exit statuses, as the README's table lists them.
#pragma once

enum ExitStatus {
    exitOk = 0,
    exitUsage = 1,
    exitConfig = 2,
    exitPlugin = 3,
    exitInit = 4,
    exitConfigure = 5,
    exitReception = 6,
    exitSimulator = 7,
    exitHung = 8,
};
