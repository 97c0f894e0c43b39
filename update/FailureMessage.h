// The words of a transfer's outcome: the failure message with its lead phrase, and the status
// lines written while the pages go out.
#pragma once

#include <string>

#include "update/BootLoaderConversation.h"

namespace update {

// The phrase that names a failure the device caused; empty for success and for an image that
// could not be opened, which have messages of their own.
std::string LeadPhrase(TransferOutcome outcome);

// The text of the message box that reports a failed transfer: for a failure the device caused,
// the lead phrase, the product, the advice and the support contact; for an image that could not be
// opened, its own one-line message; empty for success.
std::string FailureMessage(TransferOutcome outcome);

// "Sending hex file page  <page>  of  <count>", page counted from 1.
std::string ProgressText(unsigned page, unsigned count);
// The same into a buffer of the caller's, for the page loop, which allocates nothing. Long enough
// for any two numbers.
using ProgressBuffer = char[64];
void WriteProgressText(unsigned page, unsigned count, ProgressBuffer& text);

// "Boot loader version  =  <version line>".
std::string BootLoaderLine(const std::string& versionLine);

}  // namespace update
