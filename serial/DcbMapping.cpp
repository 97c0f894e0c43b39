#include "serial/DcbMapping.h"

#include <cstring>

static_assert(sizeof(DCB) == 28, "the settings record is 28 bytes long");

DCB ToDcb(const LineSettings& s) {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = s.baud;
    dcb.fBinary = s.binary;
    dcb.fParity = s.checkParity;
    dcb.fDtrControl = s.raiseDtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fTXContinueOnXoff = s.sendAfterXoff;
    dcb.fRtsControl = s.raiseRts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    dcb.XonLim = s.xonLimit;
    dcb.XoffLim = s.xoffLimit;
    dcb.ByteSize = s.dataBits;
    dcb.Parity = static_cast<BYTE>(s.parity);
    dcb.StopBits = static_cast<BYTE>(s.stopBits);
    dcb.XonChar = static_cast<char>(s.xonChar);
    dcb.XoffChar = static_cast<char>(s.xoffChar);
    dcb.ErrorChar = static_cast<char>(s.errorChar);
    dcb.EofChar = static_cast<char>(s.eofChar);
    dcb.EvtChar = static_cast<char>(s.eventChar);
    return dcb;
}
