// The About box: product, version, release and the maker's support contact, whose e-mail and web
// lines are live links.
#pragma once

#include "framework/Dialog.h"

class CAboutDlg : public framework::CDialog {
public:
    CAboutDlg();
    ~CAboutDlg() override = default;

protected:
    bool OnInitDialog() override;
    std::span<const framework::MessageMapEntry> GetMessageMap() const override;

private:
    void FillContactBlock();
    INT_PTR OnLink(WPARAM wParam, LPARAM lParam);
    void OnContactFocus();
};
