// The page image file: made from the firmware's HEX file at every update and removed at its end.
#pragma once

#include <string>

namespace firmware {

enum class PageImageStatus {
    Ok,
    NotCreated,    // the image file can't be created
    HexNotOpened,  // the HEX file can't be opened
    InvalidHex,    // a read error, a rejected record or a failed write
};

// Converts the HEX file into the image file, written whole, once: on any failure no image is left.
PageImageStatus WritePageImageFile(const std::string& imagePath, const std::string& hexPath);

// Removes the image file when there is one.
void DeletePageImageFile(const std::string& imagePath);

}  // namespace firmware
