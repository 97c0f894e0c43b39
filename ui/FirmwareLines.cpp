// Which firmware this run installs: the description file beside the program names its version and
// its HEX file, and the file line shows that file's name and last-modification time.
#include <string>

#include "firmware/FileAccess.h"
#include "firmware/FileTime.h"
#include "firmware/FirmwareDescription.h"
#include "framework/Handles.h"
#include "texts/Texts.h"
#include "ui/Resource.h"
#include "ui/TLYN_UpdateDlg.h"

namespace {

std::string MessageCaption() { return std::string(texts::kProductName) + texts::kAppCaptionSuffix; }

}  // namespace

bool CTLYN_UpdateDlg::LoadFirmwareDescription() {
    std::string path = ProgramDir + texts::kDescriptionFileName;
    bool available = false;
    firmware::FirmwareDescription description{};
    framework::FileHandle file = firmware::OpenRegularFile(path);
    firmware::FileSource source(file.Get());
    // A file that opened but can't be read counts as one that can't be opened.
    if (!file || firmware::ReadFirmwareDescription(source, description) != firmware::DescriptionStatus::Ok) {
        file.Reset();
        std::string text =
            std::string(texts::kDescriptionMissingHead) + texts::kFiveBlanks + path + texts::kDescriptionMissingTail;
        ShowMessage(text.c_str(), MessageCaption().c_str(), MB_OK | MB_ICONEXCLAMATION);
    } else {
        file.Reset();
        FirmwareVersion = description.version;
        FirmwareFileName = description.fileName;
        if (description.fileNameTooLong) {
            // Longer than any path: no file by that name can be opened, and none is tried.
            ReportFirmwareMissing();
            SetItemText(IDC_FIRMWARE_FILE_LINE, (texts::kFirmwareFileLine + FirmwareFileName).c_str());
        } else if (description.hasVersion && description.hasFileName && !(ProgramDir + FirmwareFileName).empty()) {
            available = IdentifyFirmwareFile();
        }
    }
    if (!available) {
        FirmwareVersion.clear();
        FirmwareFileName.clear();
    }
    return available;
}

bool CTLYN_UpdateDlg::IdentifyFirmwareFile() {
    std::string path = ProgramDir + FirmwareFileName;
    std::string timeText;
    framework::FileHandle file = firmware::OpenRegularFile(path);
    bool opened = file.IsValid();
    if (opened) {
        firmware::LocalTime local{};
        if (firmware::LastWriteLocalTime(file.Get(), local)) {
            timeText = firmware::FormatFileTime(local);
        }
        file.Reset();
    } else {
        ReportFirmwareMissing();
    }
    SetItemText(IDC_FIRMWARE_FILE_LINE, (texts::kFirmwareFileLine + FirmwareFileName + timeText).c_str());
    return opened;
}

void CTLYN_UpdateDlg::ReportFirmwareMissing() {
    std::string text =
        std::string(texts::kFirmwareMissingHead) + texts::kFiveBlanks + FirmwareFileName + texts::kFiveBlanks;
    ShowMessage(text.c_str(), MessageCaption().c_str(), MB_OK | MB_ICONEXCLAMATION);
    EnableItem(IDC_BEGIN_UPDATE, false);
}
