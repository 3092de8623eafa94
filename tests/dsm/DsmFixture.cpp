#include "DsmFixture.h"

#include "Gdi.h"
#include "GlobalMemory.h"
#include "Window.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using TSetOptions = int (*)(TW_UINT32, const char*);
using TLastMessage = int (*)(TW_UINT32, char*, int);
using TStuckWorkers = int (*)();

DSMENTRYPROC entry = nullptr;
TSetOptions setOptions = nullptr;
TLastMessage lastMessage = nullptr;
TStuckWorkers stuckWorkers = nullptr;

// What the source manager posts to the application's window.
constexpr UINT kSourceEvent = WM_USER + 0x2a5;
std::vector<MSG> posted;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kSourceEvent) {
        MSG msg;
        msg.hwnd = window;
        msg.message = message;
        msg.wParam = wParam;
        msg.lParam = lParam;
        posted.push_back(msg);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Bytes of a DIB (header, colour table, bottom-up rows) as a picture.
TPicture FromDib(const std::uint8_t* dib, std::size_t size) {
    TPicture picture;
    BITMAPINFOHEADER header;
    if (size < sizeof header)
        return picture;
    std::memcpy(&header, dib, sizeof header);
    const int colors =
        header.biBitCount <= 8 ? int(header.biClrUsed ? header.biClrUsed : 1u << header.biBitCount) : 0;
    const std::uint8_t* table = dib + header.biSize;
    const std::uint8_t* pixels = table + 4 * colors;
    const std::size_t row = DibRowBytes(header.biWidth, header.biBitCount);
    EXPECT_GT(header.biHeight, 0) << "rows are stored bottom-up";
    EXPECT_LE(std::size_t(pixels - dib) + row * std::size_t(header.biHeight), size);
    picture.width = header.biWidth;
    picture.height = header.biHeight;
    picture.bitsPerPixel = header.biBitCount;
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t* line = pixels + std::size_t(picture.height - 1 - y) * row;
        for (int x = 0; x < picture.width; ++x) {
            if (header.biBitCount == 24) {
                picture.rgb.insert(picture.rgb.end(), {line[3 * x + 2], line[3 * x + 1], line[3 * x]});
                continue;
            }
            const int index = header.biBitCount == 1 ? (line[x / 8] >> (7 - x % 8)) & 1 : line[x];
            const std::uint8_t* entry = table + 4 * index;
            picture.rgb.insert(picture.rgb.end(), {entry[2], entry[1], entry[0]});
        }
    }
    return picture;
}

} // namespace

// The test scanner keeps its options while the process runs: what earlier tests changed is set back.
const char* const kDeviceResets = "read-return-value=Default;source=Flatbed;hand-scanner=no;read-limit=no;"
                                  "ppl-loss=0;fuzzy-parameters=no;read-delay=no;test-picture=Color pattern";

std::string TScanRequest::HookOptions() const {
    std::string text = "mode=" + mode + ";depth=" + std::to_string(depth) +
                       ";resolution=" + std::to_string(resolution) +
                       ";tl-x=0;tl-y=0;br-x=" + std::to_string(widthMm) +
                       ";br-y=" + std::to_string(heightMm) + ";" + kDeviceResets;
    if (mode == "Color")
        text += ";three-pass=no";
    if (depth == 16)
        text += ";invert-endianess=no";
    for (const auto& [name, value] : extra)
        text += ";" + name + "=" + value;
    return text;
}

std::vector<std::string> TScanRequest::ScanimageArguments() const {
    std::vector<std::string> arguments = {"--mode=" + mode,
                                          "--depth=" + std::to_string(depth),
                                          "--resolution=" + std::to_string(resolution),
                                          "-l",
                                          "0",
                                          "-t",
                                          "0",
                                          "-x",
                                          std::to_string(widthMm),
                                          "-y",
                                          std::to_string(heightMm)};
    for (const auto& [name, value] : extra)
        arguments.push_back("--" + name + "=" + value);
    return arguments;
}

TPicture Scanimage(const TScanRequest& request) {
    std::string command = "scanimage -d test:0 --format=pnm";
    for (const std::string& argument : request.ScanimageArguments())
        command += " '" + argument + "'";
    command += " 2>/dev/null";
    TPicture picture;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return picture;
    std::vector<std::uint8_t> bytes;
    char buffer[65536];
    std::size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    pclose(pipe);

    // Header: magic, width, height and (except for bitmaps) the largest value, separated by white space.
    std::size_t at = 0;
    auto token = [&] {
        std::string text;
        while (at < bytes.size() && (std::isspace(bytes[at]) || bytes[at] == '#')) {
            if (bytes[at] == '#')
                while (at < bytes.size() && bytes[at] != '\n')
                    ++at;
            else
                ++at;
        }
        while (at < bytes.size() && !std::isspace(bytes[at]))
            text += char(bytes[at++]);
        return text;
    };
    const std::string magic = token();
    picture.width = std::atoi(token().c_str());
    picture.height = std::atoi(token().c_str());
    const int maxValue = magic == "P4" ? 1 : std::atoi(token().c_str());
    ++at; // the single white-space byte before the samples
    const int sampleBytes = maxValue > 255 ? 2 : 1;
    const int channels = magic == "P6" ? 3 : 1;
    const std::size_t bitRow = (std::size_t(picture.width) + 7) / 8;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            for (int c = 0; c < 3; ++c) {
                std::uint8_t value = 0;
                if (magic == "P4") {
                    const std::size_t i = at + std::size_t(y) * bitRow + std::size_t(x) / 8;
                    value = i < bytes.size() && ((bytes[i] >> (7 - x % 8)) & 1) ? 0 : 255;
                } else {
                    const std::size_t i =
                        at + ((std::size_t(y) * std::size_t(picture.width) + std::size_t(x)) * channels +
                              std::size_t(channels == 3 ? c : 0)) *
                                 sampleBytes;
                    value = i < bytes.size() ? bytes[i] : 0; // 16-bit samples: the high byte comes first
                }
                picture.rgb.push_back(value);
            }
    picture.bitsPerPixel = magic == "P4" ? 1 : magic == "P5" ? 8 : 24;
    return picture;
}

void DsmTest::SetUpTestSuite() {
    if (entry)
        return;
    setenv("SANE_CONFIG_DIR", SaneFolder().c_str(), 1);
    void* library = dlopen(ZRK_DSM_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    entry = reinterpret_cast<DSMENTRYPROC>(dlsym(library, "DSM_Entry"));
    setOptions = reinterpret_cast<TSetOptions>(dlsym(library, "ZrkDsm_SetScanOptions"));
    lastMessage = reinterpret_cast<TLastMessage>(dlsym(library, "ZrkDsm_LastScanMessage"));
    stuckWorkers = reinterpret_cast<TStuckWorkers>(dlsym(library, "ZrkDsm_StuckWorkers"));
    ASSERT_TRUE(entry && setOptions && lastMessage && stuckWorkers);
    WNDCLASSA windowClass;
    windowClass.lpfnWndProc = &RecordingProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "DSM_TEST_APPLICATION";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
}

std::string DsmTest::SaneFolder() {
    const char* chosen = std::getenv("ZRK_DSM_SANE_FOLDER");
    return chosen ? chosen : ZRK_DSM_TEST_SANE;
}

void DsmTest::SetUp() {
    ASSERT_NE(entry, nullptr);
    posted.clear();
    window_ = CreateWindowExA(0, "DSM_TEST_APPLICATION", "application", 0, 0, 0, 10, 10, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
    std::strcpy(app_.ProductName, "DSM test");
    app_.ProtocolMajor = 1;
    app_.ProtocolMinor = 9;
    app_.SupportedGroups = DG_CONTROL | DG_IMAGE;
    ASSERT_EQ(Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &window_), TWRC_SUCCESS);
    managerOpen_ = true;
}

void DsmTest::TearDown() {
    if (managerOpen_) {
        EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &window_), TWRC_SUCCESS);
    }
    DestroyWindow(window_);
}

TW_UINT16 DsmTest::Call(TW_IDENTITY* destination, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, void* data) {
    return entry(&app_, destination, group, dat, msg, data);
}

TW_UINT16 DsmTest::Condition(TW_IDENTITY* destination) {
    TW_STATUS status{};
    status.ConditionCode = 0xbeef;
    EXPECT_EQ(Call(destination, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
    return status.ConditionCode;
}

std::vector<TW_IDENTITY> DsmTest::List() {
    std::vector<TW_IDENTITY> sources;
    TW_IDENTITY identity{};
    for (TW_UINT16 msg = MSG_GETFIRST;
         Call(nullptr, DG_CONTROL, DAT_IDENTITY, msg, &identity) == TWRC_SUCCESS; msg = MSG_GETNEXT)
        sources.push_back(identity);
    return sources;
}

TW_IDENTITY DsmTest::OpenFirst() {
    const std::vector<TW_IDENTITY> sources = List();
    TW_IDENTITY source{};
    EXPECT_FALSE(sources.empty());
    if (sources.empty())
        return source;
    source = sources.front();
    EXPECT_EQ(Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source), TWRC_SUCCESS);
    return source;
}

TW_UINT16 DsmTest::Enable(TW_IDENTITY& source, bool showUI) {
    TW_USERINTERFACE ui{};
    ui.ShowUI = showUI ? 0xffff : 0;
    ui.ModalUI = 0xffff; // as the program asks; the source's window is never modal
    ui.hParent = window_;
    return Call(&source, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
}

TW_UINT16 DsmTest::Disable(TW_IDENTITY& source) {
    TW_USERINTERFACE ui{};
    ui.hParent = window_;
    return Call(&source, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
}

void DsmTest::Pump(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
}

TW_UINT16 DsmTest::WaitForEvent(TW_IDENTITY& source, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        for (auto it = posted.begin(); it != posted.end(); ++it) {
            if (it->wParam != source.Id)
                continue;
            MSG message = *it;
            posted.erase(it);
            TW_EVENT event{};
            event.pEvent = &message;
            event.TWMessage = 0xffff;
            EXPECT_EQ(Call(&source, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_DSEVENT);
            return event.TWMessage;
        }
        QThread::msleep(2);
    }
    return MSG_NULL;
}

TW_UINT16 DsmTest::ScanHeadless(TW_IDENTITY& source, const TScanRequest& request) {
    source = OpenFirst();
    EXPECT_EQ(setOptions(+source.Id, request.HookOptions().c_str()), 1);
    EXPECT_EQ(Enable(source, false), TWRC_SUCCESS);
    return WaitForEvent(source);
}

int DsmTest::setOptionsFor(const TW_IDENTITY& source, const TScanRequest& request) {
    return setOptions(source.Id, request.HookOptions().c_str());
}

int DsmTest::StuckWorkers() {
    return stuckWorkers();
}

int DsmTest::setOptionsText(const TW_IDENTITY& source, const std::string& options) {
    return setOptions(source.Id, options.c_str());
}

void DsmTest::ResetDevice(const TW_IDENTITY& source) {
    EXPECT_EQ(setOptions(+source.Id, kDeviceResets), 1);
}

std::string DsmTest::LastMessage(const TW_IDENTITY& source) {
    char text[1024];
    return lastMessage(source.Id, text, sizeof text) >= 0 ? std::string(text) : std::string();
}

TW_UINT16 DsmTest::EndTransfer(TW_IDENTITY& source, TW_UINT16& count) {
    TW_PENDINGXFERS pending{};
    pending.Count = 0xabcd;
    const TW_UINT16 answer = Call(&source, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    count = pending.Count;
    return answer;
}

TPicture DsmTest::Transfer(TW_IDENTITY& source, TMechanism mechanism, TW_UINT32 bufferBytes) {
    TPicture picture;
    TW_IMAGEINFO info{};
    EXPECT_EQ(Call(&source, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    if (mechanism == TMechanism::native) {
        TW_HANDLE handle = nullptr;
        EXPECT_EQ(Call(&source, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle), TWRC_XFERDONE);
        auto* block = static_cast<HGLOBAL>(handle);
        if (auto* dib = static_cast<const std::uint8_t*>(GlobalLock(block))) {
            picture = FromDib(dib, GlobalSize(block));
            GlobalUnlock(block);
        }
        EXPECT_EQ(GlobalFree(block), nullptr);
        return picture;
    }
    if (mechanism == TMechanism::file) {
        TW_SETUPFILEXFER setup{};
        const std::string path = std::string(ZRK_DSM_TEMP) + "/scan.bmp";
        QFile::remove(QString::fromStdString(path));
        std::strcpy(setup.FileName, path.c_str());
        setup.Format = TWFF_BMP;
        EXPECT_EQ(Call(&source, DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
        EXPECT_EQ(Call(&source, DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
        QFile file(QString::fromStdString(path));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_GT(bytes.size(), 54);
        EXPECT_TRUE(bytes.startsWith("BM"));
        if (bytes.size() > 54)
            picture = FromDib(reinterpret_cast<const std::uint8_t*>(bytes.constData()) + 14,
                              std::size_t(bytes.size()) - 14);
        return picture;
    }

    TW_SETUPMEMXFER setup{};
    EXPECT_EQ(Call(&source, DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
    const std::size_t row = DibRowBytes(info.ImageWidth, info.BitsPerPixel);
    EXPECT_GE(+setup.Preferred, row);
    EXPECT_EQ(+setup.MinBufSize, row);
    std::vector<std::uint8_t> buffer(bufferBytes ? bufferBytes : setup.Preferred);
    std::vector<std::uint8_t> data;
    TW_UINT16 answer = TWRC_SUCCESS;
    while (answer == TWRC_SUCCESS) {
        TW_IMAGEMEMXFER xfer;
        std::memset(&xfer, 0xff, sizeof xfer);
        xfer.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
        xfer.Memory.Length = TW_UINT32(buffer.size());
        xfer.Memory.TheMem = buffer.data();
        answer = Call(&source, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
        if (answer != TWRC_SUCCESS && answer != TWRC_XFERDONE)
            break;
        EXPECT_EQ(+xfer.BytesPerRow, row);
        EXPECT_EQ(xfer.YOffset * row, data.size());
        EXPECT_LE(+xfer.BytesWritten, buffer.size());
        data.insert(data.end(), buffer.begin(), buffer.begin() + xfer.BytesWritten);
    }
    EXPECT_EQ(answer, TWRC_XFERDONE);
    EXPECT_EQ(data.size(), row * std::size_t(+info.ImageLength));
    picture.width = info.ImageWidth;
    picture.height = int(data.size() / std::max<std::size_t>(row, 1));
    picture.bitsPerPixel = info.BitsPerPixel;
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t* line = data.data() + std::size_t(y) * row;
        for (int x = 0; x < picture.width; ++x) {
            if (info.PixelType == TWPT_RGB)
                picture.rgb.insert(picture.rgb.end(), {line[3 * x], line[3 * x + 1], line[3 * x + 2]});
            else if (info.PixelType == TWPT_GRAY)
                picture.rgb.insert(picture.rgb.end(), 3, line[x]);
            else // black and white, chocolate: a set bit is white
                picture.rgb.insert(picture.rgb.end(), 3, ((line[x / 8] >> (7 - x % 8)) & 1) ? 255 : 0);
        }
    }
    return picture;
}

// Under the leak checker: SANE's backends keep some of what they allocate (the test backend the buffers
// of a cancelled scan's reader, others their configuration strings and device lists); that memory is
// theirs, not this library's.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libsane-\nleak:libsane.so\n";
}
