// One update run in the window: Begin Update arms it (firmware checked, port opened, page image
// built, window locked, reset prompt blinking), the poll timer looks for the boot loader, and its
// answer starts the transfer; the same button cancels an armed run.
#include <cstdio>

#include "framework/Application.h"
#include "texts/Texts.h"
#include "ui/Resource.h"
#include "ui/TLYN_UpdateDlg.h"
#include "update/BootLoaderConversation.h"
#include "update/MillisecondClock.h"
#include "update/PromptBlink.h"

namespace {

constexpr int kBaudRate = 38400;
constexpr int kNoParity = 'N';
constexpr int kDataBits = 8;
constexpr int kStopBits = 1;
// Lets the line settle after opening before the first attention byte.
constexpr std::uint32_t kSettleAfterOpenMs = 200;

}  // namespace

void CTLYN_UpdateDlg::OnBeginUpdate() {
    framework::CWaitCursor wait;
    if (UpdateRunning == 0) {
        StartUpdate();
    } else {
        EndUpdate(UpdateEnding::Cancelled);
    }
}

void CTLYN_UpdateDlg::StartUpdate() {
    if (!IdentifyFirmwareFile()) {
        return;
    }
    SetItemText(IDC_BOOTLOADER_LINE, "");
    SetItemText(IDC_PROGRESS_LINE, "");
    SetItemText(IDC_RESULT_LINE, "");
    int port = CheckedPort();
    if (port == 0) {
        // Begin Update is disabled while no port is checked; a stray command finds nothing to open.
        return;
    }
    if (!SerialPort.Open(port, kBaudRate, kNoParity, kDataBits, kStopBits)) {
        RequestPortRelease(port);
        if (!SerialPort.Open(port, kBaudRate, kNoParity, kDataBits, kStopBits)) {
            SetItemText(IDC_RESULT_LINE, "");
            char text[64];
            std::snprintf(text, sizeof(text), texts::kPortOpenFailed, port);
            ShowMessage(text, texts::kUpdateErrorCaption, MB_OK | MB_ICONEXCLAMATION);
            ReturnPortToCompanion();
            return;
        }
    }
    Delay(kSettleAfterOpenMs);
    ShowState(UpdateState::Armed);
    PromptStamp = update::MillisecondCount();
    PromptVisible = 1;
    UpdateRunning = 1;
    SetItemText(IDC_RESULT_LINE, ResetPrompt.c_str());
    if (!BuildPageImage()) {
        ::PostMessageA(GetSafeHwnd(), WM_CANCEL_UPDATE, 0, 0);
    }
}

// None of these steps waits or dispatches a message: the user sees each ending's result at once.
void CTLYN_UpdateDlg::EndUpdate(UpdateEnding ending) {
    UpdateRunning = 0;
    BootLoaderFound = 0;
    switch (ending) {
        case UpdateEnding::Cancelled:
            FinishUpdate();
            ShowState(UpdateState::Idle);
            DeletePageImage();
            return;
        case UpdateEnding::Transferred:
            // FinishUpdate has run inside the transfer, before its outcome box.
            DeletePageImage();
            ShowState(UpdateState::Idle);
            TransferUnderWay = false;
            return;
        case UpdateEnding::WindowDestroyed:
            // Nothing of the window is left to restore, but neither the port nor the image may
            // outlive it.
            SerialPort.Close();
            DeletePageImage();
            return;
    }
}

// Only an armed run with its page image built looks for the boot loader: while the image is being
// built, and while the box of a failed build is open, a device that answers must not be greeted
// for an update that can't go on.
INT_PTR CTLYN_UpdateDlg::OnTimer(WPARAM, LPARAM) {
    if (UpdateRunning == 0 || BootLoaderFound == 1 || !PageImage.IsOpen()) {
        return FALSE;
    }
    update::PromptBlinkStep step = update::BlinkPrompt(PromptVisible == 1, PromptStamp, update::MillisecondCount());
    if (step.action != update::PromptAction::Nothing) {
        SetItemText(IDC_RESULT_LINE, step.action == update::PromptAction::Show ? ResetPrompt.c_str() : "");
        PromptVisible = step.visible ? 1 : 0;
        PromptStamp = step.stamp;
    }
    if (update::PollForBootLoader(SerialPort)) {
        BootLoaderFound = 1;
        ::PostMessageA(GetSafeHwnd(), WM_BOOTLOADER_FOUND, 0, 0);
    }
    return FALSE;
}

INT_PTR CTLYN_UpdateDlg::OnBootLoaderFound(WPARAM, LPARAM) {
    // A cancel between the tick and this message has closed the port: nothing to transfer to.
    if (BootLoaderFound != 1) {
        return 1;
    }
    UpdateRunning = 0;
    BootLoaderFound = 0;
    TransferUnderWay = true;
    ShowState(UpdateState::Transferring);
    TransferPageImage();
    EndUpdate(UpdateEnding::Transferred);
    return 1;
}

// Posted when the page image could not be built. Only an armed run is taken down: arriving after
// the run has already ended, it must not start a new one.
INT_PTR CTLYN_UpdateDlg::OnCancelUpdateMessage(WPARAM, LPARAM) {
    if (UpdateRunning == 1) {
        OnBeginUpdate();
    }
    return 1;
}
