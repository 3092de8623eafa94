// The source manager library loaded from the build, a message window standing for the application's
// window, and helpers that drive a source through a scan and each transfer mechanism.
#pragma once

#include "Twain.h"
#include "WinTypes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A picture as plain RGB triples, top row first, whatever the transfer delivered.
struct TPicture {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    std::vector<std::uint8_t> rgb;
    bool operator==(const TPicture&) const = default;
};

// What a scan asks for: a mode, a depth, a resolution, an area from the top left corner, and further
// SANE options of the test backend.
struct TScanRequest {
    std::string mode = "Color";
    int depth = 8;
    int resolution = 72;
    int widthMm = 25;
    int heightMm = 20;
    std::vector<std::pair<std::string, std::string>> extra;

    std::string HookOptions() const;
    std::vector<std::string> ScanimageArguments() const;
};

// A small grey scan, with further options of the test backend.
inline TScanRequest SmallGreyScan(std::vector<std::pair<std::string, std::string>> extra = {}) {
    TScanRequest request;
    request.mode = "Gray";
    request.extra = std::move(extra);
    return request;
}

enum class TMechanism { memory, native, file };

class DsmTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    TW_UINT16 Call(TW_IDENTITY* destination, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, void* data);
    TW_UINT16 Condition(TW_IDENTITY* destination);
    // Every source listed by MSG_GETFIRST / MSG_GETNEXT.
    std::vector<TW_IDENTITY> List();
    // The first listed source, opened.
    TW_IDENTITY OpenFirst();
    TW_UINT16 Enable(TW_IDENTITY& source, bool showUI);
    TW_UINT16 Disable(TW_IDENTITY& source);
    // Delivers posted messages until the source posts its event; the event MSG_PROCESSEVENT hands back,
    // or MSG_NULL when nothing came within the time.
    TW_UINT16 WaitForEvent(TW_IDENTITY& source, int milliseconds = 20000);
    // Opens the first source, scans without its window and waits for its event.
    TW_UINT16 ScanHeadless(TW_IDENTITY& source, const TScanRequest& request);

    TPicture Transfer(TW_IDENTITY& source, TMechanism mechanism, TW_UINT32 bufferBytes = 0);
    TW_UINT16 EndTransfer(TW_IDENTITY& source, TW_UINT16& count);

    static std::string LastMessage(const TW_IDENTITY& source);
    // Workers the source manager gave up on that still wait for their device.
    static int StuckWorkers();
    static int setOptionsFor(const TW_IDENTITY& source, const TScanRequest& request);
    // The options of the next scan as "name=value;name=value", nothing else changed.
    static int setOptionsText(const TW_IDENTITY& source, const std::string& options);
    // Sets back the test scanner's options that tests change, leaving the dialog's choices alone.
    static void ResetDevice(const TW_IDENTITY& source);
    // The SANE configuration of this process: the tests' own folder unless ZRK_DSM_SANE_FOLDER names another.
    static std::string SaneFolder();
    static void Pump(int milliseconds);

    HWND window_ = nullptr;
    TW_IDENTITY app_{};
    bool managerOpen_ = false;
};

// What scanimage writes for the same request, as a picture.
TPicture Scanimage(const TScanRequest& request);
