// ZemPublish's verbs: what each does, what it writes and its exit status.
#pragma once

#include "Console.h"
#include "Json.h"
#include "Options.h"

enum PublishExit {
    EXIT_DONE = 0,         // done; for status, published and complete
    EXIT_RUN_FAILED = 1,   // "Setup failed.", a run that stopped before its verdict, or not complete
    EXIT_REFUSED = 2,      // refused input or bad arguments
    EXIT_NO_WEB_SERVER = 3,
    EXIT_METABASE_BUSY = 4,   // another program held the metabase past the time-out
};

// Runs the verb the options name. Its lines go to out; its members are added to the open JSON object.
int RunVerb(const PublishOptions& options, CConsoleOutput& out, CJsonWriter& json);
