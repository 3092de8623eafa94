// The TWAIN component: TTwainManager finds and loads the source manager library, opens the manager,
// lists its data sources (one TTwainSource each), and turns the images a source transfers into bitmaps
// handed out through OnTwainAcquire.
//
// Source events reach the sources through a hidden window of the component (the virtual window): its
// handle is the parent given to the manager and to every enabled source, and its window procedure hands
// each message to the open sources. Event handlers therefore run inside that window procedure and may call
// back into the component, even close the source or the manager that raised them.
#pragma once

#include "KeepAlive.h"
#include "PointerList.h"
#include "TwainIdentity.h"
#include "TwainSource.h"
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

    bool ListSources();
    void ListNewSources();
    void FreeSourceList();
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

    TKeepAlive keepAlive_;
};
