// The page image file: made from the firmware's HEX file when an update is armed, held open and
// unshared until the update ends, and gone with its handle.
//
// Held, no other program can replace, read or delete it meanwhile: not another copy of this
// program arming its own update on another port, which would otherwise send its firmware to this
// copy's device. Made to be deleted on close, it goes when the update ends, and with the process
// should the program die, so no image outlives its update.
#pragma once

#include <cstdint>
#include <string>

#include "firmware/PageSize.h"
#include "framework/Handles.h"

namespace firmware {

enum class PageImageStatus {
    Ok,
    NotCreated,    // the image file can't be created
    InUse,         // another program, another copy of this one perhaps, holds the image file
    HexNotOpened,  // the HEX file can't be opened
    InvalidHex,    // a read error or a rejected record
    NotWritten,    // the image could not be written whole: a full disk, say
};

class PageImageFile {
public:
    // Converts the HEX file into the image file, written whole, once, and keeps it open. On any
    // failure no image is left and nothing is held.
    PageImageStatus Write(const std::string& imagePath, const std::string& hexPath);

    bool IsOpen() const { return file_.IsValid(); }
    // Whole pages in the image as it stands now; false when its size can't be read.
    bool CountPages(std::uint64_t& pages) const;
    // False unless all of the page's bytes were read.
    bool ReadPage(unsigned index, std::uint8_t (&page)[kPageSize]) const;
    // Closing removes the file. Harmless when nothing is held.
    void Remove() { file_.Reset(); }

private:
    framework::FileHandle file_;
};

}  // namespace firmware
