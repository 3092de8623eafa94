// One data source listed by the manager: opening, enabling, events, capabilities and transfers.
#pragma once

#include "TwainIdentity.h"
#include "TwainTypes.h"

class TTwainManager;

// One data source listed by the manager. Its identity record is the one the manager filled in.
class TTwainSource : public TTwainIdentity {
public:
    explicit TTwainSource(TTwainManager* owner);
    ~TTwainSource() override;

    int Index() const { return index_; }
    void SetIndex(int value) { index_ = value; }
    TTwainTransferMode TransferMode() const { return transferMode_; }
    void SetTransferMode(TTwainTransferMode value) { transferMode_ = value; }
    bool ShowUI() const { return showUI_; }
    void SetShowUI(bool value) { showUI_ = value; }
    bool Modal() const { return modal_; }
    void SetModal(bool value) { modal_ = value; }
    TTwainManager* Owner() const { return owner_; }

    // True opens the source, false closes it.
    bool Loaded() const { return loaded_; }
    void SetLoaded(bool value);
    // True enables the source (its dialog appears), false disables it; only while it is open.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);

    bool OpenDS();
    bool CloseDS();
    bool EnableDS(bool showUI, bool modal);
    bool DisableDS();

    // The condition code of the source's last operation; 0 when the source is not open.
    TW_UINT16 GetConditionCode();

    // On cpOk the caller owns the container handed back.
    TCapResult GetCapability(TW_UINT16 capability, HGLOBAL& container, TW_UINT16& containerType,
                             TCapQuery mode = cqGet);
    // Reads an enumeration (fetched, or the given container, which is freed afterwards) as texts.
    TCapResult GetEnumerationCap(TW_UINT16 capability, TW_UINT16& itemType, TGetCapabilityList& list,
                                 int& current, int& defaultIndex, TCapQuery mode = cqGet,
                                 HGLOBAL container = nullptr);
    // The text of one item and the size of an item type (0 for an unknown type).
    static QString ItemText(TW_UINT16 itemType, const void* item);
    static int ItemSize(TW_UINT16 itemType);
    // The unit and pixel flavor in use (or by default, for cqGetDefault); Supported gains every listed one.
    TCapResult ReadUnits(TUnitKind& value, TUnitKinds& supported, TCapQuery mode = cqGet);
    TCapResult ReadPixelFlavor(TFlavorKind& value, TFlavorKinds& supported, TCapQuery mode = cqGet);

    // Asks the source whether a message of the virtual window is its event, and acts on it.
    bool ProcessEvent(MSG* message);
    // Transfers every pending image (on MSG_XFERREADY).
    void RunTransfers();

    TW_UINT16 PrepareMemoryTransfer(HBITMAP& bitmap, TW_INT16& pixelType);
    TW_UINT16 MemoryTransfer(HBITMAP bitmap, TW_INT16 pixelType);
    void DeliverMemoryImage(HBITMAP bitmap, bool& cancel);
    void DeliverNativeImage(HGLOBAL dib, bool& cancel);
    void DeliverFileImage(const TW_STR255& fileName, TW_UINT16 format, bool& cancel);

private:
    TW_UINT16 Call(TW_UINT32 group, TW_UINT16 dataType, TW_UINT16 message, TW_MEMREF data);
    TCapResult ResultOf(TW_UINT16 returnCode);
    void RaiseError(TW_UINT16 code);
    void RaiseAcquire(HBITMAP bitmap, bool& cancel);

    int index_ = 0;
    TTwainTransferMode transferMode_ = ttmNative;
    bool showUI_ = true;
    bool modal_ = true;
    bool enabled_ = false;
    bool loaded_ = false;
    TTwainManager* owner_;
    TW_USERINTERFACE userInterface_{}; // as sent with the last MSG_ENABLEDS
};
