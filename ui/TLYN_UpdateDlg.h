// The update window: the program's only main window and the owner of all its state. One class, its
// members in a file per concern, each calling the subsystems' libraries:
//   ui/MainDialog.cpp        construction, initialisation, colours, the About command, painting, Done,
//                            destruction and the message map
//   ui/FirmwareLines.cpp     LoadFirmwareDescription, IdentifyFirmwareFile, ReportFirmwareMissing
//   ui/PageImage.cpp         BuildPageImage, DeletePageImage, the held image
//   ui/PortButtons.cpp       RefreshSerialPorts, FindInstalledPorts, EnablePortButtons, CheckedPort
//   ui/CompanionHandover.cpp RequestPortRelease, ReturnPortToCompanion
//   ui/UpdateRun.cpp         OnBeginUpdate, the poll timer tick, the two private messages, EndUpdate
//   ui/ControlStates.cpp     ShowState (every control in each state), the system menu's items
//   ui/PageTransfer.cpp      TransferPageImage, Delay, FinishUpdate, ShowOutcome
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "firmware/PageImageFile.h"
#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "serial/PortNames.h"
#include "serial/RS232.h"

namespace update {
enum class TransferOutcome;
}

// Posted by the dialog to itself.
inline constexpr UINT WM_BOOTLOADER_FOUND = WM_USER + 0x65;
inline constexpr UINT WM_CANCEL_UPDATE = WM_USER + 0x66;
inline constexpr UINT_PTR kPollTimerId = 10;
inline constexpr UINT kPollPeriodMs = 500;

class CTLYN_UpdateDlg : public framework::CDialog {
public:
    explicit CTLYN_UpdateDlg(HWND parent = nullptr);
    ~CTLYN_UpdateDlg() override;

    CRS232 SerialPort;
    std::string ProgramDir;  // ends in a backslash
    std::string TempDir;     // ends in a backslash
    std::string FirmwareVersion;
    std::string FirmwareFileName;
    std::string ResetPrompt;
    framework::GdiObject StatusFont;
    int UpdateRunning = 0;  // armed and waiting for the boot loader
    int BootLoaderFound = 0;
    UINT_PTR PollTimer = 0;
    PortFlags PortPresent{};  // entry n-1 for COMn
    std::uint32_t PromptStamp = 0;
    int PromptVisible = 0;
    int CompanionPort = -1;
    HICON m_hIcon = nullptr;

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    bool TakesCommands() const override;
    std::span<const framework::MessageMapEntry> GetMessageMap() const override;

private:
    // ui/MainDialog.cpp
    INT_PTR OnSysCommand(WPARAM wParam, LPARAM lParam);
    INT_PTR OnPaint(WPARAM wParam, LPARAM lParam);
    INT_PTR OnQueryDragIcon(WPARAM wParam, LPARAM lParam);
    INT_PTR OnCtlColor(WPARAM wParam, LPARAM lParam);
    INT_PTR OnDestroy(WPARAM wParam, LPARAM lParam);
    void OnIdOk();
    void OnDone();
    void OnContactInfo();
    void ShowAboutBox();
    void CreateStatusFont();
    bool UpdateInProgress() const;

    // ui/FirmwareLines.cpp
    bool LoadFirmwareDescription();
    bool IdentifyFirmwareFile();
    void ReportFirmwareMissing();

    // ui/PageImage.cpp
    bool BuildPageImage();
    void DeletePageImage();
    std::string PageImagePath() const;

    // ui/PortButtons.cpp
    void RefreshSerialPorts();
    void FindInstalledPorts();
    void EnablePortButtons();
    int CheckedPort() const;

    // ui/CompanionHandover.cpp
    void RequestPortRelease(int port);
    void ReturnPortToCompanion();

    // ui/ControlStates.cpp
    enum class UpdateState { Idle, Armed, Transferring, Count };
    void ShowState(UpdateState state);
    void SetSystemMenuItems(bool enabled);

    // ui/UpdateRun.cpp
    enum class UpdateEnding { Cancelled, Transferred, WindowDestroyed };
    void OnBeginUpdate();
    void StartUpdate();
    // The one way out of an update, with the steps of each ending: back to idle after a cancel or
    // a transfer; the port and the image released when the window goes.
    void EndUpdate(UpdateEnding ending);
    INT_PTR OnTimer(WPARAM wParam, LPARAM lParam);
    INT_PTR OnBootLoaderFound(WPARAM wParam, LPARAM lParam);
    INT_PTR OnCancelUpdateMessage(WPARAM wParam, LPARAM lParam);

    // ui/PageTransfer.cpp
    void TransferPageImage();
    void Delay(std::uint32_t milliseconds);
    void FinishUpdate();
    void ShowOutcome(update::TransferOutcome outcome);
    friend class TransferHost;

    // From the boot loader's answer to the end of its handler, the transfer owns the window; no close
    // route may end the dialog meanwhile.
    bool TransferUnderWay = false;
    // The page image, held from a successful build to the end of the update (ui/PageImage.cpp).
    firmware::PageImageFile PageImage;
};
