// The source manager: its own states (closed, open), the list of sources (one per SANE device), the
// selection dialog and the default source, and the routing of every other triplet to an open source.
#include "DataSource.h"
#include "DeviceList.h"
#include "DeviceSearch.h"
#include "DialogOwner.h"
#include "ScanMemory.h"
#include "SelectDialog.h"
#include "Twain.h"

#include <sane/sane.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QStringList>

#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#define ZRK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// One device as the manager lists it: however many backends reach it, one source.
struct TDevice {
    std::string name;               // what the device is known by (see TScanner::Key)
    std::vector<std::string> names; // SANE's names that reach it, the one to open first at the front
    TW_IDENTITY identity;
};

struct TManager {
    bool open = false;
    bool saneReady = false; // sane_init succeeded; never undone
    TW_UINT16 condition = TWCC_SUCCESS;
    TW_UINT32 applicationId = 0;
    std::vector<TDevice> devices;
    std::size_t nextListed = 0;
    std::map<std::string, TW_UINT32> ids; // stable Ids per device name while the process runs
    TW_UINT32 nextId = 1;
    std::string defaultDevice;
    std::map<TW_UINT32, std::unique_ptr<TDataSource>> sources;
    TDeviceSearch search{ListSaneDevices};
    std::uint64_t sessionStart = 0; // the last search that had ended when the manager was opened
    std::uint64_t listed = 0;       // the search `devices` was built from
    std::unique_ptr<TScanMemory> memory;
    // Devices whose source was closed while set to their feeder, still open: the sheets left in the
    // feeder stay where they are for the next page (a device opened afresh may start its run anew).
    std::map<std::string, std::pair<std::string, SANE_Handle>> parked; // by device: SANE's name, handle
    QPointer<TSelectDialog> selecting;                                 // the selection dialog while it shows
    std::vector<std::string> shown; // the devices of its rows, in row order
};

// Never destroyed: at process exit nothing of Qt or SANE may be touched any more.
TManager& Manager() {
    static TManager* manager = new TManager;
    return *manager;
}

TW_UINT16 Fail(TW_UINT16 condition) {
    Manager().condition = condition;
    return TWRC_FAILURE;
}

void CopyText(char (&field)[34], const std::string& text) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), std::min(text.size(), sizeof field - 1));
}

// The library's own file, for finding what is installed beside it.
QString LibraryFile() {
    Dl_info info{};
    static const int anchor = 0;
    if (dladdr(&anchor, &info) == 0 || !info.dli_fname)
        return {};
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).canonicalFilePath();
}

// Where SANE finds the program's configuration (the virtual test scanner and the network scanners
// next to the system's backends) when the environment does not say: installed, it lies in the
// program's data folder, found from this library's own folder; in the build, beside the library.
void ChooseSaneConfiguration() {
    if (std::getenv("SANE_CONFIG_DIR"))
        return;
    const QString library = LibraryFile();
    if (library.isEmpty())
        return;
    const QDir folder = QFileInfo(library).dir();
    for (const QString& candidate : {folder.filePath(QStringLiteral(ZRK_SANE_CONFIG_FROM_LIBRARY)),
                                     folder.filePath(QStringLiteral("sane"))}) {
        const QDir config(candidate);
        if (config.exists(QStringLiteral("dll.conf"))) {
            // The trailing separator keeps the system's folders in the search.
            const QByteArray path = QFile::encodeName(config.canonicalPath()) + ':';
            setenv("SANE_CONFIG_DIR", path.constData(), 1);
            return;
        }
    }
}

// The manager's list of sources from one search: stable Ids per device name while the process runs.
void BuildDevices(const TSearchResult& result) {
    TManager& m = Manager();
    m.devices.clear();
    m.nextListed = 0;
    m.listed = result.number;
    for (const TScanner& scanner : MergeDevices(result.devices)) {
        TDevice entry;
        entry.name = scanner.Key();
        entry.names = scanner.names;
        auto [it, added] = m.ids.emplace(entry.name, m.nextId);
        if (added)
            ++m.nextId;
        TW_IDENTITY& id = entry.identity;
        std::memset(&id, 0, sizeof id);
        id.Id = it->second;
        id.Version.MajorNum = 1;
        id.Version.MinorNum = 0;
        id.Version.Language = TW_UINT16(TWLG_RUSSIAN);
        id.Version.Country = TWCY_RUSSIA;
        CopyText(id.Version.Info, "SANE " + scanner.names.front());
        id.ProtocolMajor = 1;
        id.ProtocolMinor = 9;
        id.SupportedGroups = DG_CONTROL | DG_IMAGE;
        // Two devices of the same make and model are told apart by their address (or SANE's name).
        std::string model = scanner.model;
        if (!scanner.distinction.empty())
            model += " (" + scanner.distinction + ")";
        CopyText(id.Manufacturer, scanner.vendor);
        CopyText(id.ProductFamily, scanner.type);
        CopyText(id.ProductName, model);
        m.devices.push_back(entry);
    }
}

// The number of a list made on the calling thread, when no worker could be started.
constexpr std::uint64_t kListedHere = ~std::uint64_t(0);

// Makes sure the list of sources comes from a search made since the manager was opened. When none has
// ended yet, one is started (or the running one joined) and waited for; a search that does not end in
// time leaves the list empty rather than the program frozen.
void EnsureListed() {
    TManager& m = Manager();
    if (m.listed > m.sessionStart)
        return;
    if (m.search.Last().number <= m.sessionStart) {
        constexpr auto kLongestWait = std::chrono::seconds(30);
        const bool cursor = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
        if (cursor)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        const bool started = m.search.Start();
        if (started)
            m.search.WaitBeyond(m.sessionStart, kLongestWait);
        if (cursor)
            QGuiApplication::restoreOverrideCursor();
        if (!started) {
            BuildDevices({kListedHere, ListSaneDevices()}); // no thread to be had: look here
            return;
        }
    }
    const TSearchResult last = m.search.Last();
    if (last.number > m.sessionStart)
        BuildDevices(last);
}

const TDevice* FindDevice(const TW_IDENTITY& wanted) {
    TManager& m = Manager();
    EnsureListed();
    for (const TDevice& device : m.devices)
        if (wanted.Id != 0 && device.identity.Id == wanted.Id)
            return &device;
    for (const TDevice& device : m.devices)
        if (wanted.Id == 0 && std::strncmp(device.identity.ProductName, wanted.ProductName, 34) == 0)
            return &device;
    return nullptr;
}

const TDevice* DefaultDevice() {
    TManager& m = Manager();
    EnsureListed();
    for (const TDevice& device : m.devices)
        if (device.name == m.defaultDevice)
            return &device;
    return m.devices.empty() ? nullptr : &m.devices.front();
}

TW_UINT16 OpenManager(TW_IDENTITY* origin, TW_MEMREF data) {
    TManager& m = Manager();
    if (m.open)
        return Fail(TWCC_SEQERROR);
    if (!data)
        return Fail(TWCC_BADVALUE);
    if (!m.saneReady) {
        ChooseSaneConfiguration();
        SANE_Int version = 0;
        if (sane_init(&version, nullptr) != SANE_STATUS_GOOD)
            return Fail(TWCC_BUMMER);
        m.saneReady = true;
    }
    if (!m.memory)
        m.memory = std::make_unique<TScanMemory>(TScanMemory::DefaultFile());
    // The device used last, also in an earlier run, is where the selection starts.
    if (m.defaultDevice.empty())
        m.defaultDevice = m.memory->LastDevice();
    m.open = true;
    m.devices.clear();
    m.nextListed = 0;
    m.listed = 0;
    m.sessionStart = m.search.Last().number;
    m.applicationId = 1;
    if (origin)
        origin->Id = m.applicationId;
    m.condition = TWCC_SUCCESS;
    return TWRC_SUCCESS;
}

TW_UINT16 CloseManager() {
    TManager& m = Manager();
    if (!m.open)
        return Fail(TWCC_SEQERROR);
    // Sources the application left open are closed with the manager, so nothing of theirs outlives it.
    m.sources.clear();
    for (const auto& [device, handle] : m.parked)
        sane_close(handle.second);
    m.parked.clear();
    m.devices.clear();
    m.listed = 0;
    // SANE stays initialised until the process ends: some backends keep reader threads that outlive a
    // cancelled scan for a moment, and unloading the backends under them would pull their code away.
    // SANE reads its configuration only once per process anyway.
    m.open = false;
    return TWRC_SUCCESS;
}

// A source goes. A device set to its feeder stays open, so that the sheets left stay in the feeder.
void DropSource(std::map<TW_UINT32, std::unique_ptr<TDataSource>>::iterator source) {
    TManager& m = Manager();
    if (source->second->FeederChosen())
        if (SANE_Handle handle = source->second->HandOver())
            m.parked[source->second->MemoryKey()] = {source->second->DeviceName(), handle};
    m.sources.erase(source);
}

TW_UINT16 OpenSource(TW_IDENTITY* identity) {
    TManager& m = Manager();
    const TDevice* device = FindDevice(*identity);
    if (!device)
        return Fail(TWCC_NODS);
    auto open = m.sources.find(device->identity.Id);
    if (open != m.sources.end()) {
        // The application lost track of a source it opened (its close was refused during a transfer):
        // it starts again from a fresh source.
        DropSource(open);
    }
    // Not while SANE lists its devices (a search nobody waits for may still run): backends keep their
    // device lists for both. A search that hangs must not hang the program with it.
    std::unique_lock<std::timed_mutex> listing(SaneDeviceListLock(), std::defer_lock);
    if (!listing.try_lock_for(std::chrono::seconds(10)))
        return Fail(TWCC_BUMMER);
    SANE_Handle handle = nullptr;
    SANE_Status status = SANE_STATUS_INVAL;
    std::string opened;
    if (const auto parked = m.parked.find(device->name); parked != m.parked.end()) {
        std::tie(opened, handle) = parked->second;
        status = SANE_STATUS_GOOD;
        m.parked.erase(parked);
    } else {
        // The first backend that opens the device is the one it is scanned through.
        for (const std::string& name : device->names) {
            status = sane_open(name.c_str(), &handle);
            if (status == SANE_STATUS_GOOD && handle) {
                opened = name;
                break;
            }
        }
    }
    listing.unlock();
    if (status != SANE_STATUS_GOOD || !handle) {
        return Fail(status == SANE_STATUS_DEVICE_BUSY     ? TWCC_MAXCONNECTIONS
                    : status == SANE_STATUS_ACCESS_DENIED ? TWCC_DENIED
                                                          : TWCC_OPERATIONERROR);
    }
    m.sources[device->identity.Id] =
        std::make_unique<TDataSource>(device->identity, handle, opened, m.memory.get(), device->name);
    m.defaultDevice = device->name;
    m.memory->RememberLastDevice(device->name);
    std::memcpy(identity, &device->identity, sizeof *identity);
    return TWRC_SUCCESS;
}

TW_UINT16 CloseSource(const TW_IDENTITY& identity) {
    TManager& m = Manager();
    auto open = m.sources.find(identity.Id);
    if (open == m.sources.end())
        return Fail(TWCC_NODS);
    if (open->second->State() != TSourceState::Open) {
        open->second->RefuseClose();
        return Fail(TWCC_SEQERROR);
    }
    DropSource(open);
    return TWRC_SUCCESS;
}

// Shows the current list in the selection dialog, starting at the default source.
void ShowInSelection() {
    TManager& m = Manager();
    if (!m.selecting)
        return;
    QStringList rows;
    int preselected = 0;
    m.shown.clear();
    for (const TDevice& device : m.devices) {
        m.shown.push_back(device.name);
        if (device.name == m.defaultDevice)
            preselected = int(rows.size());
        rows << QString::fromUtf8(device.identity.ProductName) + QStringLiteral(" — ") +
                    QString::fromUtf8(device.identity.Manufacturer);
    }
    m.selecting->ShowDevices(rows, preselected);
}

// On the user-interface thread, whenever a search ends: the newest list becomes the manager's, and a
// selection dialog that is waiting shows it.
void SearchEnded() {
    TManager& m = Manager();
    const TSearchResult last = m.search.Last();
    if (m.open && last.number > m.sessionStart && last.number != m.listed)
        BuildDevices(last);
    if (m.listed == last.number && last.number > m.sessionStart)
        ShowInSelection();
}

// Receives the workers' news on the user-interface thread; made there, never destroyed.
QObject* SearchNews() {
    static QObject* news = new QObject;
    return news;
}

void StartSearch() {
    QObject* news = SearchNews();
    const bool started = Manager().search.Start([news] {
        QMetaObject::invokeMethod(
            news, [] { SearchEnded(); }, Qt::QueuedConnection);
    });
    if (!started) {
        // No thread to be had: look here, the old way.
        BuildDevices({kListedHere, ListSaneDevices()});
        ShowInSelection();
    }
}

TW_UINT16 UserSelect(TW_IDENTITY* identity) {
    TManager& m = Manager();
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return Fail(TWCC_BUMMER);
    if (m.selecting)
        return Fail(TWCC_SEQERROR); // one selection at a time
    // The dialog shows at once; the list follows when SANE has answered. Each selection looks anew.
    QWidget* owner = ProgramWindow();
    TSelectDialog dialog(owner);
    PlaceOver(&dialog, owner);
    m.selecting = &dialog;
    dialog.onSearchAgain = [&dialog] {
        dialog.ShowLooking();
        StartSearch();
    };
    SearchNews();
    StartSearch();
    const bool accepted = dialog.exec() == QDialog::Accepted;
    m.selecting.clear();
    const int chosen = accepted ? dialog.ChosenRow() : -1;
    const TDevice* device = nullptr;
    if (chosen >= 0 && std::size_t(chosen) < m.shown.size())
        for (const TDevice& listed : m.devices)
            if (listed.name == m.shown[std::size_t(chosen)])
                device = &listed;
    if (!device) {
        if (!dialog.Looking() && dialog.RowCount() == 0)
            return Fail(TWCC_NODS);
        return TWRC_CANCEL;
    }
    m.defaultDevice = device->name;
    std::memcpy(identity, &device->identity, sizeof *identity);
    return TWRC_SUCCESS;
}

TW_UINT16 IdentityEntry(TW_UINT16 msg, TW_IDENTITY* identity) {
    TManager& m = Manager();
    if (!identity)
        return Fail(TWCC_BADVALUE);
    switch (msg) {
    case MSG_GETFIRST:
        // The list of the last search since the manager was opened (the selection dialog's, usually).
        EnsureListed();
        m.nextListed = 0;
        [[fallthrough]];
    case MSG_GETNEXT:
        if (m.nextListed >= m.devices.size())
            return TWRC_ENDOFLIST;
        std::memcpy(identity, &m.devices[m.nextListed++].identity, sizeof *identity);
        return TWRC_SUCCESS;
    case MSG_GETDEFAULT: {
        const TDevice* device = DefaultDevice();
        if (!device)
            return Fail(TWCC_NODS);
        std::memcpy(identity, &device->identity, sizeof *identity);
        return TWRC_SUCCESS;
    }
    case MSG_USERSELECT:
        return UserSelect(identity);
    case MSG_OPENDS:
        return OpenSource(identity);
    case MSG_CLOSEDS:
        return CloseSource(*identity);
    default:
        return Fail(TWCC_BADPROTOCOL);
    }
}

TW_UINT16 Entry(TW_IDENTITY* origin, TW_IDENTITY* destination, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg,
                TW_MEMREF data) {
    TManager& m = Manager();
    if (group == DG_CONTROL && dat == DAT_PARENT) {
        if (msg == MSG_OPENDSM)
            return OpenManager(origin, data);
        if (msg == MSG_CLOSEDSM)
            return CloseManager();
        return Fail(TWCC_BADPROTOCOL);
    }
    if (!m.open)
        return Fail(TWCC_SEQERROR);
    if (!destination) {
        if (group == DG_CONTROL && dat == DAT_IDENTITY)
            return IdentityEntry(msg, static_cast<TW_IDENTITY*>(data));
        if (group == DG_CONTROL && dat == DAT_STATUS && msg == MSG_GET) {
            if (!data)
                return Fail(TWCC_BADVALUE);
            TW_STATUS status{};
            status.ConditionCode = m.condition;
            std::memcpy(data, &status, sizeof status);
            m.condition = TWCC_SUCCESS;
            return TWRC_SUCCESS;
        }
        return Fail(TWCC_BADPROTOCOL);
    }
    auto source = m.sources.find(destination->Id);
    if (source == m.sources.end())
        return Fail(TWCC_BADDEST);
    const TW_UINT16 answer = source->second->Entry(group, dat, msg, data);
    if (source->second->CloseDue())
        DropSource(source);
    return answer;
}

} // namespace

ZRK_EXPORT TW_UINT16 DSM_Entry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT,
                               TW_UINT16 MSG, TW_MEMREF pData) {
    try {
        return Entry(pOrigin, pDest, DG, DAT, MSG, pData);
    } catch (const std::bad_alloc&) {
        return Fail(TWCC_LOWMEMORY);
    } catch (...) {
        return Fail(TWCC_BUMMER);
    }
}

// For tests and scripted use: the options of the next scan of an open source, as "name=value" pairs
// separated by ';' with SANE's option names and values. "mode", "depth", "resolution" and the corners
// "tl-x", "tl-y", "br-x", "br-y" (millimetres) replace the source's defaults; other options are set in
// the order given, after the mode. A source enabled without its window scans with these at once.
// 1 on success, 0 when the source is not open.
ZRK_EXPORT int ZrkDsm_SetScanOptions(TW_UINT32 sourceId, const char* options) {
    try {
        auto source = Manager().sources.find(sourceId);
        if (source == Manager().sources.end() || !options)
            return 0;
        source->second->SetScanOptions(options);
        return 1;
    } catch (...) {
        return 0;
    }
}

// The sentence the source last showed (or would have shown) about a scan that failed, in UTF-8; the
// length written, without the terminating zero, or -1 when the source is not open.
ZRK_EXPORT int ZrkDsm_LastScanMessage(TW_UINT32 sourceId, char* buffer, int size) {
    try {
        auto source = Manager().sources.find(sourceId);
        if (source == Manager().sources.end() || !buffer || size <= 0)
            return -1;
        const QByteArray text = source->second->LastMessage().toUtf8();
        const int length = std::min<int>(int(text.size()), size - 1);
        std::memcpy(buffer, text.constData(), std::size_t(length));
        buffer[length] = '\0';
        return length;
    } catch (...) {
        return -1;
    }
}
