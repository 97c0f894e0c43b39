// Resource and control identifiers, shared by the resource script and the code.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDD_ABOUTBOX 100
#define IDD_TLYN_UPDATE_DIALOG 102
#define IDR_MAINFRAME 128

// Main dialog
#define IDC_BEGIN_UPDATE 1006
#define IDC_BOOTLOADER_LINE 1007
#define IDC_FIRMWARE_FILE_LINE 1008
#define IDC_FIRMWARE_VERSION_LINE 1009
#define IDC_PROGRESS_LINE 1010
#define IDC_RESULT_LINE 1011
#define IDC_REFRESH_PORTS 1012
#define IDC_CONTACT_INFO 1016
#define IDC_PRODUCT_LINE 1017
#define IDC_SUPPORT_BOX 1020
#define IDC_DETAILED_INSTRUCTIONS 1022
#define IDC_INSTRUCTIONS 1100
#define IDC_COM1 2001
#define IDC_COM22 2022

// About box
#define IDC_ABOUT_COPYRIGHT 1013
#define IDC_ABOUT_RELEASED 1014
#define IDC_ABOUT_VERSION 1015
#define IDC_ABOUT_CONTACT 1016
#define IDC_ABOUT_PURPOSE 1018
#define IDC_ABOUT_TITLE 1019
#define IDC_ABOUT_LABELS 1021

// System menu entry of the About box.
#define IDM_ABOUTBOX 0x0010
