// Stand-in for the script interpreter until it is built: every script name is
// reported as not found, exactly as the interpreter reports a missing file.
#include "core/message.h"
#include "script/gs.h"

std::optional<std::string> gsfile(const std::string& text, int& rc, int implicit) {
  std::string name;
  size_t i = text.find_first_not_of(" \t");
  if (i != std::string::npos) {
    size_t e = text.find_first_of(" \t\n", i);
    name = text.substr(i, e == std::string::npos ? std::string::npos : e - i);
  }
  if (implicit) {
    kaprnt(0, "Unknown command: " + name + "\n");
  } else {
    kaprnt(0, "Error opening script file: " + name + "\n");
  }
  rc = 1;
  return std::nullopt;
}
