// The transfer of the page image to the boot loader, with its progress in the window and its
// outcome in a message box. The conversation itself is portable; this gives it the window, the
// clock and the image file.
#include <cstdint>
#include <string>

#include "framework/Application.h"
#include "texts/Texts.h"
#include "ui/Resource.h"
#include "ui/TLYN_UpdateDlg.h"
#include "update/BootLoaderConversation.h"
#include "update/FailureMessage.h"
#include "update/MillisecondClock.h"
#include "update/TransferTrace.h"

namespace {

constexpr unsigned kPageBytes = update::wire::kPageSize;
constexpr unsigned kRepaintEveryPages = 4;

}  // namespace

// What the conversation needs besides the wire: time, the status lines and the image file.
class TransferHost {
public:
    explicit TransferHost(CTLYN_UpdateDlg& dialog) : dialog_(dialog) {}

    std::uint32_t Now() const { return update::MillisecondCount(); }
    void Delay(std::uint32_t milliseconds) {
        trace_.PauseStarts();
        dialog_.Delay(milliseconds);
        trace_.PauseEnds(milliseconds);
    }

    void ShowBootLoaderVersion(const std::string& line) {
        dialog_.SetItemText(IDC_BOOTLOADER_LINE, update::BootLoaderLine(line).c_str());
    }

    // The transfer holds the thread: the window is repainted now and then, and exactly one queued
    // message is dispatched per page. The posted WM_PAINT keeps that one take from ever waiting.
    void ShowPageProgress(unsigned page, unsigned pageCount) {
        trace_.PageStarts();
        HWND hwnd = dialog_.GetSafeHwnd();
        update::WriteProgressText(page, pageCount, progress_);
        dialog_.SetItemText(IDC_PROGRESS_LINE, progress_);
        trace_.Mark(update::TraceStage::Repaint);
        if ((page - 1) % kRepaintEveryPages == 0) {
            ::InvalidateRect(hwnd, nullptr, FALSE);
            ::UpdateWindow(hwnd);
        }
        trace_.Mark(update::TraceStage::Message);
        ::PostMessageA(hwnd, WM_PAINT, 0, 0);
        framework::AfxGetApp()->PumpMessage();
        trace_.Mark(update::TraceStage::Other);
    }

    // The image held since the update was armed: nobody else can have replaced or removed it.
    bool OpenImage(unsigned& pageCount) {
        std::uint64_t pages = 0;
        if (!dialog_.PageImage.CountPages(pages)) {
            return false;
        }
        // Never cut to what page numbers can tell: an image longer than that must be refused whole.
        constexpr std::uint64_t kTooMany = std::uint64_t{update::wire::kMaxPageCount} + 1;
        pageCount = static_cast<unsigned>(pages > kTooMany ? kTooMany : pages);
        return true;
    }

    // A page read short, or not at all, ends the transfer: a frame of whatever the buffer held would
    // be taken by the device as that page.
    bool ReadPage(unsigned index, std::uint8_t (&page)[kPageBytes]) {
        trace_.Mark(update::TraceStage::ReadingPage);
        const bool read = dialog_.PageImage.ReadPage(index, page);
        trace_.Mark(update::TraceStage::Writes);
        return read;
    }

    // The image stays held until the update run removes it.
    void CloseImage() {}

    // Only the bench build writes one, beside the program.
    void WriteTrace() { trace_.Write(dialog_.ProgramDir); }

private:
    CTLYN_UpdateDlg& dialog_;
    update::ProgressBuffer progress_ = {};
    update::TransferTrace trace_;
};

void CTLYN_UpdateDlg::Delay(std::uint32_t milliseconds) { update::BusyDelay(milliseconds); }

// Keys and clicks made while the transfer held the thread are stale by its end: left queued, a key
// would answer the outcome box before the user ever saw it.
static void DiscardQueuedInput() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {}
    while (::PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {}
}

void CTLYN_UpdateDlg::FinishUpdate() {
    SerialPort.Close();
    SetItemText(IDC_RESULT_LINE, "");
    EnablePortButtons();
    ReturnPortToCompanion();
}

void CTLYN_UpdateDlg::TransferPageImage() {
    framework::CWaitCursor wait;
    if (!IdentifyFirmwareFile()) {
        FinishUpdate();
        return;
    }
    SetItemText(IDC_BOOTLOADER_LINE, "");
    SetItemText(IDC_PROGRESS_LINE, "");
    SetItemText(IDC_RESULT_LINE, "");

    TransferHost host(*this);
    update::TransferOutcome outcome = update::TransferPages(SerialPort, host);
    host.WriteTrace();
    DiscardQueuedInput();
    if (outcome == update::TransferOutcome::Success) {
        // Stored while the port is still open: it is the port this update went through.
        framework::AfxGetApp()->WriteProfileInt(texts::kSettingsSection, texts::kComPortEntry, SerialPort.GetPort());
    }
    FinishUpdate();
    ShowOutcome(outcome);
}

void CTLYN_UpdateDlg::ShowOutcome(update::TransferOutcome outcome) {
    switch (outcome) {
        case update::TransferOutcome::Success: {
            SetItemText(IDC_RESULT_LINE, (std::string(texts::kProductName) + texts::kSuccessLineSuffix).c_str());
            std::string text = std::string(texts::kSuccessHead) + texts::kProductName + texts::kSuccessTail;
            ShowMessage(text.c_str(), texts::kSuccessCaption, MB_OK | MB_ICONINFORMATION);
            return;
        }
        case update::TransferOutcome::ImageNotOpened:
            ShowMessage(texts::kImageOpenFailed, texts::kUpdateErrorCaption, MB_OK);
            return;
        default:
            SetItemText(IDC_RESULT_LINE, texts::kUpdateFailedLine);
            ShowMessage(update::FailureMessage(outcome).c_str(), texts::kUpdateErrorCaption,
                        MB_OK | MB_ICONEXCLAMATION);
            return;
    }
}
