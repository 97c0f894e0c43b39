// What the About box opens for a link's text, in single-byte and double-byte code pages.
#include "ui/LinkTarget.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool NoLeadBytes(unsigned char) { return false; }
// Shift-JIS lead bytes: 'm' (0x6D) and 'w' (0x77) can be trail bytes there.
bool ShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

struct LinkCase {
    const char* name;
    std::string text;
    framework::LeadByteTest leadByte;
    std::string target;
};

void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.name; }

class LinkTarget : public testing::TestWithParam<LinkCase> {};

TEST_P(LinkTarget, OpensTheRightThing) {
    const LinkCase& c = GetParam();
    EXPECT_EQ(ui::LinkTarget(c.text, c.leadByte), c.target);
}

const LinkCase kCases[] = {
    {"Mail", "mailto:support@vostrel-systems.example", NoLeadBytes,
     "mailto:support@vostrel-systems.example?Subject=Firmware Update"},
    {"Web", "www.vostrel-systems.example", NoLeadBytes, "http://www.vostrel-systems.example"},
    {"MailWinsOverWeb", "mailto:a@www.example", NoLeadBytes, "mailto:a@www.example?Subject=Firmware Update"},
    {"Neither", "+1 (555) 010-4477", NoLeadBytes, ""},
    {"Empty", "", NoLeadBytes, ""},
    {"MailAfterDoubleByteText", "\x82\xA0mailto:a@b", ShiftJisLead, "\x82\xA0mailto:a@b?Subject=Firmware Update"},
    {"WebAfterDoubleByteText", "\x82\xA0www.b", ShiftJisLead, "http://\x82\xA0www.b"},
    // "mailto:" and "www." that begin on a trail byte are no such prefixes.
    {"MailtoFromTrailByte", "\x95mailto:a@b", ShiftJisLead, ""},
    {"WwwFromTrailByte", "\x95www.b", ShiftJisLead, ""},
    {"SameBytesSingleByteCodePage", "\x95www.b", NoLeadBytes, "http://\x95www.b"},
};
INSTANTIATE_TEST_SUITE_P(Cases, LinkTarget, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
