// The image is at most 257 pages, so it is assembled in memory and written once: a failed
// conversion never leaves a partial image behind.
#include "firmware/PageImageFile.h"

#include <windows.h>

#include "firmware/FileAccess.h"
#include "firmware/HexImage.h"
#include "framework/Handles.h"

namespace firmware {

PageImageStatus WritePageImageFile(const std::string& imagePath, const std::string& hexPath) {
    framework::FileHandle image(::CreateFileA(imagePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!image) {
        return PageImageStatus::NotCreated;
    }
    framework::FileHandle hex = OpenRegularFile(hexPath);
    if (!hex) {
        image.Reset();
        DeletePageImageFile(imagePath);
        return PageImageStatus::HexNotOpened;
    }
    PageImage pages;
    FileSource source(hex.Get());
    bool written =
        ConvertHexToImage(source, pages) == HexStatus::Ok && WriteAll(image.Get(), pages.bytes.data(), pages.size);
    hex.Reset();
    image.Reset();
    if (!written) {
        DeletePageImageFile(imagePath);
        return PageImageStatus::InvalidHex;
    }
    return PageImageStatus::Ok;
}

void DeletePageImageFile(const std::string& imagePath) {
    if (::GetFileAttributesA(imagePath.c_str()) != INVALID_FILE_ATTRIBUTES) {
        ::DeleteFileA(imagePath.c_str());
    }
}

}  // namespace firmware
