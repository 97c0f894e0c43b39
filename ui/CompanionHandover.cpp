// The maker's serial test program may hold the port an update needs: it is asked to let go, and
// given the port back when the update is over.
#include "serial/CompanionWindows.h"
#include "ui/TLYN_UpdateDlg.h"

namespace {

// Time the companion program gets to close the port before it is opened again.
constexpr DWORD kReleaseWaitMs = 1000;

}  // namespace

void CTLYN_UpdateDlg::RequestPortRelease(int port) {
    if (TellCompanionWindows(kPortRelease, port) > 0) {
        CompanionPort = port;
    }
    if (CompanionPort != -1) {
        ::Sleep(kReleaseWaitMs);
    }
}

void CTLYN_UpdateDlg::ReturnPortToCompanion() {
    if (CompanionPort == -1) {
        return;
    }
    TellCompanionWindows(kPortReclaim, CompanionPort);
    CompanionPort = -1;
}
