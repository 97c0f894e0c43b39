// The page image "Hex.tmp" in the temporary directory, as the update run sees it: built when an
// update is armed, with a message box for each way it can fail, held while the update lasts and
// removed when the run ends.
#include <string>

#include "texts/Texts.h"
#include "ui/Resource.h"
#include "ui/TLYN_UpdateDlg.h"

std::string CTLYN_UpdateDlg::PageImagePath() const { return TempDir + texts::kPageImageName; }

bool CTLYN_UpdateDlg::BuildPageImage() {
    const char* failure = nullptr;
    switch (PageImage.Write(PageImagePath(), ProgramDir + FirmwareFileName)) {
        case firmware::PageImageStatus::Ok: return true;
        case firmware::PageImageStatus::NotCreated:
        case firmware::PageImageStatus::NotWritten: failure = texts::kImageCreateFailed; break;
        case firmware::PageImageStatus::InUse: failure = texts::kImageInUse; break;
        case firmware::PageImageStatus::HexNotOpened: failure = texts::kFirmwareOpenFailed; break;
        case firmware::PageImageStatus::InvalidHex: failure = texts::kInvalidHexFile; break;
    }
    // The update can't go on: the prompt must not ask for a reset behind the box that says so.
    SetItemText(IDC_RESULT_LINE, "");
    ShowMessage(failure, texts::kUpdateErrorCaption, MB_OK);
    return false;
}

// Only the image this window built is removed: an image another copy of the program holds is
// that copy's to remove.
void CTLYN_UpdateDlg::DeletePageImage() { PageImage.Remove(); }
