// The probe's registry commands: the installed-port list, the program's stored port and the
// programs the shell opens addresses with.
#pragma once

#include <istream>
#include <string>

// True when the command is one of these; the answer line is then in answer.
bool RegistryCommand(const std::string& command, std::istream& in, std::string& answer);
