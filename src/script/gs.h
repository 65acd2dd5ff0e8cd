// Entry of the script interpreter used by the command dispatcher.
#pragma once

#include <optional>
#include <string>

// Runs the script named by the first word of text (the rest are its
// arguments) in the session the command layer recorded. Returns the
// script's result text, if any, and its return code in rc. implicit is 1 when the word was typed
// as a command ("Unknown command: " report when no such script exists).
std::optional<std::string> gsfile(const std::string& text, int& rc, int implicit);

// The seam to the command layer: a runner takes one command line, returns its
// captured output and the dispatcher's code in rc. The command layer
// registers its runner before it starts a script.
using gs_command_fn = std::optional<std::string> (*)(const std::string& command, int& rc);
void gs_register_command_layer(gs_command_fn fn);
