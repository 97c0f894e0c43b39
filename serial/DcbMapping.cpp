#include "serial/DcbMapping.h"

#include <cstring>

static_assert(sizeof(DCB) == 28, "the settings record is 28 bytes long");

DCB ToDcb(const LineSettings& s) {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = s.DCBlength;
    dcb.BaudRate = s.BaudRate;
    dcb.fBinary = s.fBinary;
    dcb.fParity = s.fParity;
    dcb.fOutxCtsFlow = s.fOutxCtsFlow;
    dcb.fOutxDsrFlow = s.fOutxDsrFlow;
    dcb.fDtrControl = s.fDtrControl;
    dcb.fDsrSensitivity = s.fDsrSensitivity;
    dcb.fTXContinueOnXoff = s.fTXContinueOnXoff;
    dcb.fOutX = s.fOutX;
    dcb.fInX = s.fInX;
    dcb.fErrorChar = s.fErrorChar;
    dcb.fNull = s.fNull;
    dcb.fRtsControl = s.fRtsControl;
    dcb.fAbortOnError = s.fAbortOnError;
    dcb.fDummy2 = s.fDummy2;
    dcb.wReserved = s.wReserved;
    dcb.XonLim = s.XonLim;
    dcb.XoffLim = s.XoffLim;
    dcb.ByteSize = s.ByteSize;
    dcb.Parity = s.Parity;
    dcb.StopBits = s.StopBits;
    dcb.XonChar = static_cast<char>(s.XonChar);
    dcb.XoffChar = static_cast<char>(s.XoffChar);
    dcb.ErrorChar = static_cast<char>(s.ErrorChar);
    dcb.EofChar = static_cast<char>(s.EofChar);
    dcb.EvtChar = static_cast<char>(s.EvtChar);
    dcb.wReserved1 = s.wReserved1;
    return dcb;
}
