// The words of a transfer's outcome, spelled out here on their own.
#include "update/FailureMessage.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

using update::TransferOutcome;

TEST(FailureMessage, NoResponseIsTheWholeTextPieceByPiece) {
    const std::string expected =
        "No response from the Gathrix RS-232 Remote.     \n\n"
        "Firmware update terminated.\n"
        "\n"
        "If some of the hex file was transferred, the firmware in the Gathrix RS-232 Remote may be corrupt.     \n"
        "\n"
        "You should retry the firmware update procedure.\n"
        "\n"
        "If you continue to have problems, contact Vostrel Systems for support.\n"
        "     Mon - Fri, 8:00 AM - 5:00 PM Central Time\n"
        "     +1 (555) 010-4477\n"
        "     support@vostrel-systems.example\n"
        "     www.vostrel-systems.example\n"
        "\n";
    EXPECT_EQ(update::FailureMessage(TransferOutcome::NoResponse), expected);
}

struct LeadCase {
    const char* name;
    TransferOutcome outcome;
    const char* lead;
};
void PrintTo(const LeadCase& c, std::ostream* os) { *os << c.name; }

class FailureLead : public testing::TestWithParam<LeadCase> {};

TEST_P(FailureLead, NamesTheFailureAndOpensTheMessage) {
    const LeadCase& c = GetParam();
    EXPECT_EQ(update::LeadPhrase(c.outcome), c.lead);
    const std::string message = update::FailureMessage(c.outcome);
    const std::string opening = std::string(c.lead) + "Gathrix RS-232 Remote.     \n\nFirmware update terminated.\n";
    EXPECT_EQ(message.substr(0, opening.size()), opening);
    // Everything after the lead is the same for every failure the device causes.
    const std::string noResponse = update::FailureMessage(TransferOutcome::NoResponse);
    const std::string rest = noResponse.substr(std::string("No response from the ").size());
    EXPECT_EQ(message.substr(std::string(c.lead).size()), rest);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, FailureLead,
    testing::Values(LeadCase{"NoResponse", TransferOutcome::NoResponse, "No response from the "},
                    LeadCase{"InvalidVersion", TransferOutcome::InvalidVersion, "Invalid version response from the "},
                    LeadCase{"NoReady", TransferOutcome::NoReadyResponse, "No ready response from the "},
                    LeadCase{"InvalidReady", TransferOutcome::InvalidReadyResponse,
                             "Invalid ready response from the "},
                    // Pages may already be on the device: the same advice as a device's failure.
                    LeadCase{"ImageNotRead", TransferOutcome::ImageNotRead,
                             "Unable to read the temporary firmware file for the "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FailureMessage, ImageNotOpenedHasItsOwnMessageAndNoLead) {
    EXPECT_EQ(update::LeadPhrase(TransferOutcome::ImageNotOpened), "");
    EXPECT_EQ(update::FailureMessage(TransferOutcome::ImageNotOpened),
              "Unable to open the temporary firmware file.               ");
}

TEST(FailureMessage, SuccessHasNone) {
    EXPECT_EQ(update::LeadPhrase(TransferOutcome::Success), "");
    EXPECT_EQ(update::FailureMessage(TransferOutcome::Success), "");
}

struct StatusCase {
    const char* name;
    std::string text;
    const char* expected;
};
void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class StatusLine : public testing::TestWithParam<StatusCase> {};

TEST_P(StatusLine, IsSpelledExactly) { EXPECT_EQ(GetParam().text, GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Lines, StatusLine,
                         testing::Values(StatusCase{"FirstPage", update::ProgressText(1, 257),
                                                    "Sending hex file page  1  of  257"},
                                         StatusCase{"LastOfFullImage", update::ProgressText(256, 256),
                                                    "Sending hex file page  256  of  256"},
                                         StatusCase{"LargestPageNumbers", update::ProgressText(65535, 65535),
                                                    "Sending hex file page  65535  of  65535"},
                                         StatusCase{"BootLoaderVersion", update::BootLoaderLine("GX-REM2-2.32"),
                                                    "Boot loader version  =  GX-REM2-2.32"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
