// Entry of the script interpreter used by the command dispatcher.
#pragma once

#include <optional>
#include <string>

// Runs the script named by the first word of text (the rest are its
// arguments) with the session in savpcm. Returns the script's result text,
// if any, and its return code in rc. implicit is 1 when the word was typed
// as a command ("Unknown command: " report when no such script exists).
std::optional<std::string> gsfile(const std::string& text, int& rc, int implicit);
