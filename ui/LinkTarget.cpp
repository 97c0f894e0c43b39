#include "ui/LinkTarget.h"

#include "texts/Texts.h"

namespace ui {

std::string LinkTarget(std::string_view linkText, framework::LeadByteTest isLeadByte) {
    if (framework::FindAnsiText(linkText, "mailto:", isLeadByte) != framework::kAnsiNotFound) {
        return std::string(linkText) + texts::kMailSubject;
    }
    if (framework::FindAnsiText(linkText, "www.", isLeadByte) != framework::kAnsiNotFound) {
        return "http://" + std::string(linkText);
    }
    return {};
}

}  // namespace ui
