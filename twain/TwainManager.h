// The TWAIN component: TTwainManager finds and loads the source manager library, opens the manager,
// lists its data sources (one TTwainSource each), and turns the images a source transfers into bitmaps
// handed out through OnTwainAcquire.
//
// Source events reach the sources through a hidden window of the component (the virtual window): its
// handle is the parent given to the manager and to every enabled source, and its window procedure hands
// each message to the open sources. Event handlers therefore run inside that window procedure and may call
// back into the component, even close the source or the manager that raised them.
#pragma once

#include "PointerList.h"
#include "TwainIdentity.h"
#include "TwainTypes.h"

#include <QString>

#include <memory>
#include <vector>

class TTwainManager : public TObject {
public:
    explicit TTwainManager(TObject* owner = nullptr);
    ~TTwainManager() override;
    TObject* Owner() const { return owner_; }
    TTwainManager(const TTwainManager&) = delete;
    TTwainManager& operator=(const TTwainManager&) = delete;

    TOnSourceNotify OnSourceDisable;
    TOnSourceNotify OnAcquireCancel;
    TOnTwainAcquire OnTwainAcquire;
    TOnSourceNotify OnSourceSetupFileXfer;
    TOnSourceFileTransfer OnSourceFileTransfer;
    TOnTwainError OnAcquireError;
    TOnAcquireProgress OnAcquireProgress;

    // The mechanism handed to sources when they are listed; sources listed before keep theirs.
    TTwainTransferMode TransferMode() const { return transferMode_; }
    void SetTransferMode(TTwainTransferMode value) { transferMode_ = value; }

    // The listed sources (the list is built on first use after the manager is opened); 0 when closed.
    int SourceCount();
    // Writing the count has no effect; the form's stored value lands here.
    void SetSourceCount(int value) { sourceCountSink_ = value; }

    TTwainIdentity& Info() { return *info_; }
    void SetInfo(const TTwainIdentity& value) { info_->Assign(value); }

    // Loads (finds, loads and takes the entry point of) or unloads the source manager library.
    bool LibraryLoaded() const { return libraryLoaded_; }
    void SetLibraryLoaded(bool value);
    // Opens or closes the source manager; needs the library.
    bool SourceManagerLoaded() const { return sourceManagerLoaded_; }
    void SetSourceManagerLoaded(bool value);

    // The source at a list position; -1 asks for the manager's default source. nullptr when none.
    TTwainSource* SourceAt(int index);
    // The list position of the manager's default source: -1 when it is not listed, 0 when unknown.
    int DefaultSourceIndex();
    // The lowest list position whose identity equals the record byte for byte, or -1.
    int IndexOfIdentity(const TW_IDENTITY& identity);
    // Runs the manager's selection dialog; the chosen source's position, or -1. A source the dialog
    // found that is not listed yet is added at the end of the list.
    int ChooseSource();

    bool Selecting() const { return selecting_; }
    int OpenedSourceCount() const { return openedSourceCount_; }
    TW_IDENTITY* AppIdentity() { return appIdentity_; }
    HWND VirtualWindow() const { return virtualWindow_; }

    // Calls the source manager's entry point with AppIdentity as origin. TWRC_FAILURE without a call
    // when no library is loaded. No exception crosses this call.
    TW_UINT16 CallSourceManager(TW_IDENTITY* destination, TW_UINT32 group, TW_UINT16 dataType,
                                TW_UINT16 message, TW_MEMREF data);

private:
    friend class TTwainSource;

    // While anything of the component is on the stack (a call into the manager, a message being handed
    // to sources), sources taken off the list and a library being unloaded are kept alive; they go
    // when the outermost operation returns.
    class TBusy {
    public:
        explicit TBusy(TTwainManager& manager) : manager_(manager) { ++manager_.busy_; }
        ~TBusy();
        TBusy(const TBusy&) = delete;
        TBusy& operator=(const TBusy&) = delete;

    private:
        TTwainManager& manager_;
    };

    bool ListSources();
    void ListNewSources();
    void FreeSourceList();
    void ReleaseRetired();
    static LRESULT VirtualWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    TObject* owner_;
    int openedSourceCount_ = 0;
    bool selecting_ = false;
    int sourceCountSink_ = 0;
    TPointerList sources_;
    TW_IDENTITY* appIdentity_ = nullptr;
    std::unique_ptr<TTwainIdentity> info_;
    HWND virtualWindow_ = nullptr;
    HMODULE library_ = nullptr;
    bool sourcesListed_ = false;
    DSMENTRYPROC entry_ = nullptr;
    TTwainTransferMode transferMode_ = ttmMemory;
    bool libraryLoaded_ = false;
    bool sourceManagerLoaded_ = false;

    int busy_ = 0;
    bool releasing_ = false;
    std::vector<std::unique_ptr<TTwainSource>> retiredSources_;
    std::vector<HMODULE> retiredLibraries_;
};

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
    void RaiseAcquire(TBitmap& image, bool& cancel);

    int index_ = 0;
    TTwainTransferMode transferMode_ = ttmNative;
    bool showUI_ = true;
    bool modal_ = true;
    bool enabled_ = false;
    bool loaded_ = false;
    TTwainManager* owner_;
    TW_USERINTERFACE userInterface_{}; // as sent with the last MSG_ENABLEDS
};
