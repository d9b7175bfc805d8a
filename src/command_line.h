// The command line: the verbs and options orvello takes, and the dispatch to each verb's unit.
#pragma once

// Parses `argv`, runs the verb it names (a build when it names none) and returns the exit status:
// 0 on success, 1 when the verb failed, 2 for a command line that cannot be used.
int run_command_line(int argc, const char* const* argv);
