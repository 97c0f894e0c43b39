// The page image "Hex.tmp" in the temporary directory: made from the firmware's HEX file at every
// update and removed at its end. It is written whole, once, so a failed conversion never leaves a
// partial image behind.
#include <string>

#include "firmware/FileAccess.h"
#include "firmware/HexImage.h"
#include "framework/Handles.h"
#include "texts/Texts.h"
#include "ui/TLYN_UpdateDlg.h"

std::string CTLYN_UpdateDlg::PageImagePath() const { return TempDir + texts::kPageImageName; }

bool CTLYN_UpdateDlg::BuildPageImage() {
    framework::FileHandle image(::CreateFileA(PageImagePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!image) {
        ShowMessage(texts::kImageCreateFailed, texts::kUpdateErrorCaption, MB_OK);
        return false;
    }
    framework::FileHandle hex = firmware::OpenRegularFile(ProgramDir + FirmwareFileName);
    if (!hex) {
        image.Reset();
        DeletePageImage();
        ShowMessage(texts::kFirmwareOpenFailed, texts::kUpdateErrorCaption, MB_OK);
        return false;
    }
    // A read error, a rejected record or a failed write all end as an invalid file. The image is
    // at most 257 pages, so it is assembled here and written once.
    firmware::PageImage pages;
    firmware::FileSource source(hex.Get());
    bool written = firmware::ConvertHexToImage(source, pages) == firmware::HexStatus::Ok &&
                   firmware::WriteAll(image.Get(), pages.bytes.data(), pages.size);
    hex.Reset();
    image.Reset();
    if (!written) {
        DeletePageImage();
        ShowMessage(texts::kInvalidHexFile, texts::kUpdateErrorCaption, MB_OK);
        return false;
    }
    return true;
}

void CTLYN_UpdateDlg::DeletePageImage() {
    std::string path = PageImagePath();
    if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        ::DeleteFileA(path.c_str());
    }
}
