// The image is at most 257 pages, so it is assembled in memory and written once.
#include "firmware/PageImageFile.h"

#include <windows.h>

#include "firmware/FileAccess.h"
#include "firmware/HexImage.h"

namespace firmware {

PageImageStatus PageImageFile::Write(const std::string& imagePath, const std::string& hexPath) {
    Remove();
    framework::FileHandle image(::CreateFileA(imagePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                              nullptr));
    if (!image) {
        return ::GetLastError() == ERROR_SHARING_VIOLATION ? PageImageStatus::InUse : PageImageStatus::NotCreated;
    }
    // From here every failure closes the handle, and with it the file goes.
    framework::FileHandle hex = OpenRegularFile(hexPath);
    if (!hex) {
        return PageImageStatus::HexNotOpened;
    }
    PageImage pages;
    FileSource source(hex.Get());
    if (ConvertHexToImage(source, pages) != HexStatus::Ok) {
        return PageImageStatus::InvalidHex;
    }
    hex.Reset();
    if (!WriteAll(image.Get(), pages.bytes.data(), pages.size) || !::FlushFileBuffers(image.Get())) {
        return PageImageStatus::NotWritten;
    }
    file_ = std::move(image);
    return PageImageStatus::Ok;
}

bool PageImageFile::CountPages(std::uint64_t& pages) const {
    LARGE_INTEGER size{};
    if (!IsOpen() || !::GetFileSizeEx(file_.Get(), &size) || size.QuadPart < 0) {
        return false;
    }
    pages = static_cast<std::uint64_t>(size.QuadPart) / kPageSize;
    return true;
}

bool PageImageFile::ReadPage(unsigned index, std::uint8_t (&page)[kPageSize]) const {
    LARGE_INTEGER offset{};
    offset.QuadPart = static_cast<LONGLONG>(index) * kPageSize;
    DWORD got = 0;
    return IsOpen() && ::SetFilePointerEx(file_.Get(), offset, nullptr, FILE_BEGIN) &&
           ::ReadFile(file_.Get(), page, kPageSize, &got, nullptr) && got == kPageSize;
}

}  // namespace firmware
