// The probe's registry commands: the installed-port list, the program's stored port, the
// programs the shell opens addresses with, and any value of the user's that a case saves, changes
// and puts back.
#pragma once

#include <istream>
#include <string>

// True when the command is one of these; the answer line is then in answer.
bool RegistryCommand(const std::string& command, std::istream& in, std::string& answer);
