// Copying one asset with as few system calls as the kernel allows.
#pragma once

#include <sys/types.h>

#include <string>

#include "held_folder.h"

// The process's file-creation mask; read it while no other thread creates files, since reading
// it means setting it for a moment.
mode_t current_creation_mask();

// Copies the regular file `from` to `to`, replacing a file already there, exactly as
// std::filesystem::copy_file with overwrite_existing does (same bytes, same permissions, the same
// filesystem_error on failure), but without its probes when `to` does not exist yet.
// `creation_mask` is the process's file-creation mask; the files are opened by their names in
// `folders` (see open_in_folder), which may be null.
void copy_regular_file(const std::string& from, const std::string& to, mode_t creation_mask,
                       held_folders* folders);
