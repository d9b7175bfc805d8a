// orvello init: starts a project with one page to edit.
#pragma once

#include <string>

// Creates `folder`/proj/ (and `folder` when it is missing) holding a starter index.orv; refuses
// when proj/ is already there. Returns the exit status: 0 when created, 1 otherwise.
int run_init(const std::string& folder);
