// The test source manager: records each call, then lets the test's script answer it.
#include "FakeDsm.h"

#include "WinTypes.h"

#include <cstring>

namespace {

std::string TextOf(const TW_STR32& field) {
    return std::string(field, strnlen(field, sizeof field));
}

void RecordInput(TFakeCall& call, TW_MEMREF data) {
    if (!data)
        return;
    switch (call.DAT) {
    case DAT_CAPABILITY: {
        TW_CAPABILITY cap;
        std::memcpy(&cap, data, sizeof cap);
        call.Cap = cap.Cap;
        call.ConType = cap.ConType;
        break;
    }
    case DAT_USERINTERFACE: {
        TW_USERINTERFACE ui;
        std::memcpy(&ui, data, sizeof ui);
        call.ShowUI = ui.ShowUI;
        call.ModalUI = ui.ModalUI;
        call.Parent = ui.hParent;
        break;
    }
    case DAT_PARENT:
        std::memcpy(&call.Parent, data, sizeof call.Parent);
        break;
    case DAT_EVENT: {
        TW_EVENT event;
        std::memcpy(&event, data, sizeof event);
        if (event.pEvent)
            call.WindowMessage = static_cast<const MSG*>(event.pEvent)->message;
        break;
    }
    case DAT_IMAGEMEMXFER: {
        TW_IMAGEMEMXFER transfer;
        std::memcpy(&transfer, data, sizeof transfer);
        call.MemoryFlags = transfer.Memory.Flags;
        call.MemoryLength = transfer.Memory.Length;
        call.Memory = transfer.Memory.TheMem;
        call.BytesWrittenIn = transfer.BytesWritten;
        break;
    }
    default:
        break;
    }
}

void RecordOutput(TFakeCall& call, TW_MEMREF data) {
    if (!data)
        return;
    if (call.DAT == DAT_PENDINGXFERS) {
        TW_PENDINGXFERS pending;
        std::memcpy(&pending, data, sizeof pending);
        call.PendingCount = pending.Count;
    } else if (call.DAT == DAT_EVENT) {
        TW_EVENT event;
        std::memcpy(&event, data, sizeof event);
        call.EventMessage = event.TWMessage;
    }
}

} // namespace

extern "C" __attribute__((visibility("default"))) TFakeDsmControl* FakeDsmControl() {
    static TFakeDsmControl control;
    return &control;
}

extern "C" __attribute__((visibility("default"))) TW_UINT16 DSM_Entry(TW_IDENTITY* pOrigin,
                                                                      TW_IDENTITY* pDest, TW_UINT32 DG,
                                                                      TW_UINT16 DAT, TW_UINT16 MSG,
                                                                      TW_MEMREF pData) {
    // Nothing thrown by the script may leave through this C entry point.
    try {
        TFakeDsmControl& control = *FakeDsmControl();
        TFakeCall call;
        call.DG = DG;
        call.DAT = DAT;
        call.MSG = MSG;
        call.HasDestination = pDest != nullptr;
        if (pDest) {
            call.DestinationId = pDest->Id;
            call.DestinationName = TextOf(pDest->ProductName);
        }
        if (pOrigin)
            call.OriginName = TextOf(pOrigin->ProductName);
        call.DataNull = pData == nullptr;
        RecordInput(call, pData);
        const std::size_t slot = control.Calls.size();
        control.Calls.push_back(call);
        // The script may call back into the program, which may call here again: the record is
        // completed through its position, not a reference that a later call could move.
        const TW_UINT16 result = control.Script ? control.Script(call, pOrigin, pDest, pData) : TWRC_FAILURE;
        control.Calls[slot].Result = result;
        RecordOutput(control.Calls[slot], pData);
        return result;
    } catch (...) {
        return TWRC_FAILURE;
    }
}
