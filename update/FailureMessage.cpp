#include "update/FailureMessage.h"

#include <cstdio>

#include "texts/Texts.h"

namespace update {

std::string LeadPhrase(TransferOutcome outcome) {
    switch (outcome) {
        case TransferOutcome::NoResponse: return texts::kLeadNoResponse;
        case TransferOutcome::InvalidVersion: return texts::kLeadInvalidVersion;
        case TransferOutcome::NoReadyResponse: return texts::kLeadNoReady;
        case TransferOutcome::InvalidReadyResponse: return texts::kLeadInvalidReady;
        case TransferOutcome::ImageNotRead: return texts::kLeadImageNotRead;
        case TransferOutcome::Success:
        case TransferOutcome::ImageNotOpened: break;
    }
    return {};
}

namespace {

// A status format filled in, measured first so that no text is ever cut.
template <class... Args>
std::string Formatted(const char* format, Args... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

void AppendContactLine(std::string& text, const char* value) {
    text += texts::kFiveBlanks;
    text += value;
    text += '\n';
}

std::string DeviceFailureMessage(const std::string& lead) {
    std::string text = lead;
    text += texts::kProductName;
    text += texts::kFailureLeadEnd;
    text += "\n\n";
    text += texts::kFailureTerminated;
    text += "\n";
    text += texts::kFailureCorruptHead;
    text += texts::kProductName;
    text += texts::kFailureCorruptTail;
    text += "\n";
    text += texts::kFailureRetry;
    text += "\n";
    text += texts::kFailureContact;
    AppendContactLine(text, texts::kSupportHours);
    AppendContactLine(text, texts::kSupportPhone);
    AppendContactLine(text, texts::kSupportEmail);
    AppendContactLine(text, texts::kSupportWeb);
    text += "\n";
    return text;
}

}  // namespace

std::string FailureMessage(TransferOutcome outcome) {
    if (outcome == TransferOutcome::ImageNotOpened) return texts::kImageOpenFailed;
    const std::string lead = LeadPhrase(outcome);
    if (lead.empty()) return {};
    return DeviceFailureMessage(lead);
}

std::string ProgressText(unsigned page, unsigned count) {
    ProgressBuffer text;
    WriteProgressText(page, count, text);
    return text;
}

void WriteProgressText(unsigned page, unsigned count, ProgressBuffer& text) {
    std::snprintf(text, sizeof text, texts::kPageProgress, static_cast<int>(page), static_cast<int>(count));
}

std::string BootLoaderLine(const std::string& versionLine) {
    return Formatted(texts::kBootLoaderLine, versionLine.c_str());
}

}  // namespace update
