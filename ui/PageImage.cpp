// The page image "Hex.tmp" in the temporary directory, as the update run sees it: built when an
// update is armed, with a message box for each way it can fail, and removed when the run ends.
#include <string>

#include "firmware/PageImageFile.h"
#include "texts/Texts.h"
#include "ui/TLYN_UpdateDlg.h"

std::string CTLYN_UpdateDlg::PageImagePath() const { return TempDir + texts::kPageImageName; }

bool CTLYN_UpdateDlg::BuildPageImage() {
    const char* failure = nullptr;
    switch (firmware::WritePageImageFile(PageImagePath(), ProgramDir + FirmwareFileName)) {
        case firmware::PageImageStatus::Ok: return true;
        case firmware::PageImageStatus::NotCreated: failure = texts::kImageCreateFailed; break;
        case firmware::PageImageStatus::HexNotOpened: failure = texts::kFirmwareOpenFailed; break;
        case firmware::PageImageStatus::InvalidHex: failure = texts::kInvalidHexFile; break;
    }
    ShowMessage(failure, texts::kUpdateErrorCaption, MB_OK);
    return false;
}

void CTLYN_UpdateDlg::DeletePageImage() { firmware::DeletePageImageFile(PageImagePath()); }
