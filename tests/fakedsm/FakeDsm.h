// A source manager library for tests. Its DSM_Entry records every call and answers through a script
// that the test installs; the test reaches the library's control block through FakeDsmControl.
#pragma once

#include "Twain.h"

#include <functional>
#include <string>
#include <vector>

// One call into DSM_Entry, with the fields of its data that the tests look at.
struct TFakeCall {
    TW_UINT32 DG = 0;
    TW_UINT16 DAT = 0;
    TW_UINT16 MSG = 0;
    bool HasDestination = false;
    TW_UINT32 DestinationId = 0;
    std::string DestinationName;
    std::string OriginName;
    bool DataNull = true;

    // Fields sent with the call.
    TW_UINT16 Cap = 0;            // DAT_CAPABILITY
    TW_UINT16 ConType = 0;        // DAT_CAPABILITY
    TW_BOOL ShowUI = 0;           // DAT_USERINTERFACE
    TW_BOOL ModalUI = 0;          // DAT_USERINTERFACE
    void* Parent = nullptr;       // DAT_USERINTERFACE hParent, DAT_PARENT window
    unsigned WindowMessage = 0;   // DAT_EVENT: the window message handed over
    TW_UINT32 MemoryFlags = 0;    // DAT_IMAGEMEMXFER
    TW_UINT32 MemoryLength = 0;   // DAT_IMAGEMEMXFER
    const void* Memory = nullptr; // DAT_IMAGEMEMXFER: the buffer handed over
    TW_UINT32 BytesWrittenIn = 0; // DAT_IMAGEMEMXFER

    // What came back.
    TW_UINT16 Result = 0;
    TW_UINT16 PendingCount = 0; // DAT_PENDINGXFERS
    TW_UINT16 EventMessage = 0; // DAT_EVENT

    // "CONTROL/USERINTERFACE/DISABLEDS" and the like.
    std::string Name() const;
};

// The script answers a call; `call` already holds the recorded input fields.
using TFakeScript = std::function<TW_UINT16(const TFakeCall& call, TW_IDENTITY* origin,
                                            TW_IDENTITY* destination, TW_MEMREF data)>;

struct TFakeDsmControl {
    TFakeScript Script;
    std::vector<TFakeCall> Calls;
};

extern "C" TFakeDsmControl* FakeDsmControl();

// Names of the codes the tests meet, for readable call lists.
inline std::string FakeDatName(TW_UINT16 dat) {
    switch (dat) {
    case DAT_CAPABILITY:
        return "CAPABILITY";
    case DAT_EVENT:
        return "EVENT";
    case DAT_IDENTITY:
        return "IDENTITY";
    case DAT_PARENT:
        return "PARENT";
    case DAT_PENDINGXFERS:
        return "PENDINGXFERS";
    case DAT_SETUPMEMXFER:
        return "SETUPMEMXFER";
    case DAT_SETUPFILEXFER:
        return "SETUPFILEXFER";
    case DAT_STATUS:
        return "STATUS";
    case DAT_USERINTERFACE:
        return "USERINTERFACE";
    case DAT_IMAGEINFO:
        return "IMAGEINFO";
    case DAT_IMAGEMEMXFER:
        return "IMAGEMEMXFER";
    case DAT_IMAGENATIVEXFER:
        return "IMAGENATIVEXFER";
    case DAT_IMAGEFILEXFER:
        return "IMAGEFILEXFER";
    case DAT_PALETTE8:
        return "PALETTE8";
    default:
        return std::to_string(dat);
    }
}

inline std::string FakeMsgName(TW_UINT16 msg) {
    switch (msg) {
    case MSG_GET:
        return "GET";
    case MSG_GETCURRENT:
        return "GETCURRENT";
    case MSG_GETDEFAULT:
        return "GETDEFAULT";
    case MSG_GETFIRST:
        return "GETFIRST";
    case MSG_GETNEXT:
        return "GETNEXT";
    case MSG_SET:
        return "SET";
    case MSG_RESET:
        return "RESET";
    case MSG_OPENDSM:
        return "OPENDSM";
    case MSG_CLOSEDSM:
        return "CLOSEDSM";
    case MSG_OPENDS:
        return "OPENDS";
    case MSG_CLOSEDS:
        return "CLOSEDS";
    case MSG_USERSELECT:
        return "USERSELECT";
    case MSG_DISABLEDS:
        return "DISABLEDS";
    case MSG_ENABLEDS:
        return "ENABLEDS";
    case MSG_PROCESSEVENT:
        return "PROCESSEVENT";
    case MSG_ENDXFER:
        return "ENDXFER";
    default:
        return std::to_string(msg);
    }
}

inline std::string TFakeCall::Name() const {
    return std::string(DG == DG_IMAGE ? "IMAGE" : "CONTROL") + "/" + FakeDatName(DAT) + "/" +
           FakeMsgName(MSG);
}
