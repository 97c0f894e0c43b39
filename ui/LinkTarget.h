// What a link of the About box's contact block opens: the mail program on a message with the
// subject set, or the web address.
#pragma once

#include <string>
#include <string_view>

#include "framework/AnsiText.h"

namespace ui {

// "mailto:" anywhere: the text with the subject; else "www." anywhere: the text after "http://";
// else nothing. The search steps over the double-byte characters of the code page.
std::string LinkTarget(std::string_view linkText, framework::LeadByteTest isLeadByte);

}  // namespace ui
