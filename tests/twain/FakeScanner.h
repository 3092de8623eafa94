// A scripted scanner behind the test source manager: a handful of sources, the TWAIN states of one open
// source, capabilities, and a queue of images sent in buffers of a chosen size. Each field is a knob a
// test turns to make the source behave well or badly.
#pragma once

#include "FakeDsm.h"
#include "WinTypes.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct TFakeImage {
    TW_IMAGEINFO Info{};
    // The rows as the source sends them: top row first, each padded to whole 32-bit words.
    std::vector<std::uint8_t> Data;
    // What the last buffer of the image answers.
    TW_UINT16 FinalCode = TWRC_XFERDONE;
};

// An image of the given size with a recognisable pattern in every byte, padding included.
TFakeImage PatternImage(int width, int height, int bitsPerPixel, TW_INT16 pixelType, unsigned seed = 1);
std::size_t RowBytesOf(int width, int bitsPerPixel);

// Capability containers as a source makes them (the caller of the capability frees them).
HGLOBAL MakeEnumeration(TW_UINT16 itemType, const std::vector<std::uint32_t>& items, TW_UINT32 current,
                        TW_UINT32 defaultIndex);
HGLOBAL MakeOneValue(TW_UINT16 itemType, TW_UINT32 item);

class TFakeScanner {
public:
    // Listed sources; source i gets Id i + 1.
    std::vector<std::string> Sources{"Scanner A"};
    int DefaultSource = -1;      // -1: MSG_GETDEFAULT fails
    int UserSelect = 0;          // -1: the user cancels the dialog
    TW_UINT32 SelectIdDelta = 0; // added to the chosen identity's Id

    TW_UINT16 OpenDsmResult = TWRC_SUCCESS;
    TW_UINT16 CloseDsmResult = TWRC_SUCCESS;
    TW_UINT16 OpenDsResult = TWRC_SUCCESS;
    std::optional<TW_UINT16> CloseDsResult; // default: refused unless the source is merely open
    TW_UINT16 EnableResult = TWRC_SUCCESS;
    bool SendReadyOnEnable = false; // sends MSG_XFERREADY to the parent from inside MSG_ENABLEDS
    bool RefuseDisableDuringTransfer = true;
    TW_UINT16 ConditionCode = TWCC_SUCCESS;

    // Capabilities by code; a missing one is unsupported.
    std::map<TW_UINT16, std::function<HGLOBAL()>> Capabilities;
    TW_UINT16 CapabilityContainerType = TWON_ENUMERATION;

    std::deque<TFakeImage> Images;
    TW_UINT32 Preferred = 4096;
    TW_UINT16 SetupResult = TWRC_SUCCESS;
    std::optional<TW_UINT32> SecondPreferred; // Preferred from the second request on
    std::optional<TW_UINT16> SecondSetupResult;
    std::size_t Chunk = 0;        // bytes per buffer; 0: the whole buffer
    std::size_t ClaimedExtra = 0; // added to BytesWritten beyond what was written
    std::optional<TW_PALETTE8> Palette;
    std::optional<TW_UINT16> PendingCountOverride; // Count reported by MSG_ENDXFER while images remain
    TW_UINT16 ResetResult = TWRC_SUCCESS;
    bool EndlessImages = false; // MSG_ENDXFER never takes an image off the queue
    std::optional<TW_UINT16> ImageInfoResult;
    std::optional<TW_UINT16> NativeResult;
    std::function<HGLOBAL()> NativeBlock;  // hands over this block instead of one made from the image
    std::optional<std::size_t> StallAfter; // after this many bytes, answers TWRC_SUCCESS with nothing
    std::optional<TW_UINT16> FileResult;
    std::string FileName = "/tmp/scan.tif";
    TW_UINT16 FileFormat = TWFF_TIFF;

    UINT EventMessage = 0x0400 + 42; // WM_USER + 42
    HWND Parent = nullptr;
    int State = 1;

    // Posts a TWAIN event to the parent window, as a source does.
    void Post(TW_UINT16 twainMessage);
    TFakeScript Script();

private:
    TW_UINT16 Answer(const TFakeCall& call, TW_MEMREF data);
    TW_UINT16 Fail(TW_UINT16 condition) {
        ConditionCode = condition;
        return TWRC_FAILURE;
    }
    void FillIdentity(int index, TW_IDENTITY& identity) const;

    int next_ = 0;
    int setupRequests_ = 0;
    std::size_t sent_ = 0;
};
