// The program's own words: captions, messages and status formats, spelled exactly as the user
// sees them. Runs of trailing blanks are part of the texts. Tests spell what they expect on their
// own, so a slip here is caught rather than copied.
#pragma once

namespace texts {

// --- Product ------------------------------------------------------------------------------------
inline constexpr char kProductName[] = "Gathrix RS-232 Remote";
inline constexpr char kRegistryKey[] = "Vostrel Systems";
inline constexpr char kSettingsSection[] = "Settings";
inline constexpr char kComPortEntry[] = "ComPort";

// --- Main window --------------------------------------------------------------------------------
inline constexpr char kMainCaptionSuffix[] = " Firmware Update";  // after the product name
inline constexpr char kAboutMenuPrefix[] = "About ";              // + product + suffix
inline constexpr char kAboutMenuSuffix[] = " Update...";
inline constexpr char kProductLine[] = "Use for updating the Gathrix RS232 Remote firmware.";
inline constexpr char kInstructions[] =
    "- Connect the Gathrix RS-232 Remote to a serial port on your PC.\n"
    "- Connect the AC adapter to the Gathrix Remote.\n"
    "- Select the appropriate serial port (COM1 to COM22).\n"
    "- Press the Begin Update button.\n"
    "- Press and release the reset button on the back of the Gathrix Remote.\n"
    "- Monitor the Firmware Update Status information.\n"
    "- A message box will indicate the success of the update.";
inline constexpr char kResetPrompt[] = "Press & release the Gathrix Base Reset button to start update.";
// A group box label takes a single ampersand as a mnemonic marker: doubled, it shows as itself.
inline constexpr char kSupportBoxLabel[] = "Vostrel Support && Contact Information: ";
inline constexpr char kFirmwareVersionLine[] = "Firmware version  =  ";  // + version text
inline constexpr char kFirmwareFileLine[] = "Firmware file  =  ";        // + name + time text
inline constexpr char kBeginUpdate[] = "Begin Update";
inline constexpr char kCancelUpdate[] = "Cancel Update";
inline constexpr char kAppCaptionSuffix[] = " Update";  // message caption: product + this

// --- Firmware description and identification ----------------------------------------------------
inline constexpr char kDescriptionFileName[] = "Gathrix_Remote.txt";
inline constexpr char kDescriptionMissingHead[] = "Unable to open the firmware description file:     \n";
inline constexpr char kFiveBlanks[] = "     ";
inline constexpr char kDescriptionMissingTail[] = "     \n\nFirmware update wil be disabled.";
inline constexpr char kFirmwareMissingHead[] = "Unable to open the firmware hex file:     \n";
inline constexpr char kFileTimeDate[] = "     (%d-%d-%d, ";  // month, day, year
inline constexpr char kFileTimeClock[] = "%2d:%2d:%2d %s)";  // hour, min, sec, AM/PM
inline constexpr char kAm[] = "AM";
inline constexpr char kPm[] = "PM";

// --- Page image ---------------------------------------------------------------------------------
inline constexpr char kPageImageName[] = "Hex.tmp";
inline constexpr char kUpdateErrorCaption[] = "Firmware Update Error";
inline constexpr char kImageCreateFailed[] = "Unable to create the temporary firmware file.               ";
inline constexpr char kFirmwareOpenFailed[] = "Unable to open the firmware file.               ";
inline constexpr char kInvalidHexFile[] = "Invalid firmware hex file.                           ";
inline constexpr char kImageInUse[] =
    "Unable to create the temporary firmware file.               \n\n"
    "Another program holds it: another copy of this program may be updating a device. "
    "Let that update end, then press Begin Update again.";

// --- Serial ports -------------------------------------------------------------------------------
inline constexpr char kNoSerialPorts[] = "There are no serial ports installed on this computer.     ";
inline constexpr char kPortOpenFailed[] = "Unable to open serial port COM%d     ";
inline constexpr char kCompanionTitle1[] = "Vostrel Serivane";
inline constexpr char kCompanionTitle2[] = "Vostrel Serial Test Program";

// --- Transfer -----------------------------------------------------------------------------------
inline constexpr char kGreeting[] = "&%*-GX-REM2-001-2.32";
inline constexpr char kBootLoaderVersion[] = "GX-REM2-2.32";
inline constexpr char kBootLoaderLine[] = "Boot loader version  =  %s";
inline constexpr char kPageProgress[] = "Sending hex file page  %d  of  %d";
inline constexpr char kImageOpenFailed[] = "Unable to open the temporary firmware file.               ";
inline constexpr char kUpdateFailedLine[] = "Firmware update failed";
inline constexpr char kSuccessLineSuffix[] = " firmware successfully updated";  // after the product
inline constexpr char kSuccessCaption[] = "Firmware Update Complete";
inline constexpr char kSuccessHead[] = "The ";
inline constexpr char kSuccessTail[] = " firmware has been successfully updated.     ";

// Lead phrases of the failure message, each followed by the product name.
inline constexpr char kLeadNoResponse[] = "No response from the ";
inline constexpr char kLeadInvalidVersion[] = "Invalid version response from the ";
inline constexpr char kLeadNoReady[] = "No ready response from the ";
inline constexpr char kLeadInvalidReady[] = "Invalid ready response from the ";
inline constexpr char kLeadImageNotRead[] = "Unable to read the temporary firmware file for the ";

// The rest of the failure message, in order after lead + product; the contact lines follow, each
// five blanks + a value + "\n" (hours, phone, e-mail, web), then one more "\n".
inline constexpr char kFailureLeadEnd[] = ".     ";
inline constexpr char kFailureTerminated[] = "Firmware update terminated.\n";
inline constexpr char kFailureCorruptHead[] = "If some of the hex file was transferred, the firmware in the ";
inline constexpr char kFailureCorruptTail[] = " may be corrupt.     \n";
inline constexpr char kFailureRetry[] = "You should retry the firmware update procedure.\n";
inline constexpr char kFailureContact[] = "If you continue to have problems, contact Vostrel Systems for support.\n";

// --- About box ----------------------------------------------------------------------------------
inline constexpr char kAboutCaptionPrefix[] = "About ";  // + product + " Update"
inline constexpr char kAboutTitle[] = "Gathrix Wireless RS-232 Remote Firmware Update";
inline constexpr char kAboutVersion[] = "Version 2.0.0.39";
inline constexpr char kAboutReleased[] = "Released December 9, 2011";
inline constexpr char kAboutCopyright[] = "Copyright (C) 2011 Vostrel Systems, Inc.";
inline constexpr char kAboutPurpose[] =
    "This update utility can only be used to update the\n"
    "Gathrix Wireless RS232 Remote firmware.";
inline constexpr char kMailSubject[] = "?Subject=Firmware Update";

// The maker's support contact: one place for the About box and the failure message.
inline constexpr char kSupportPhone[] = "+1 (555) 010-4477";
inline constexpr char kSupportFax[] = "+1 (555) 010-4478";
inline constexpr char kSupportEmail[] = "support@vostrel-systems.example";
inline constexpr char kSupportWeb[] = "www.vostrel-systems.example";
inline constexpr char kSupportHours[] = "Mon - Fri, 8:00 AM - 5:00 PM Central Time";
inline constexpr char kSupportStreet[] = "2210 Lakeshore Drive, Suite 4";
inline constexpr char kSupportPostBox[] = "P.O. Box 1187";
inline constexpr char kSupportTown[] = "Marlow Springs, WI 53901";

}  // namespace texts
