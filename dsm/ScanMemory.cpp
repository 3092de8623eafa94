#include "ScanMemory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

namespace {

// Anything larger is not a file this library wrote.
constexpr qint64 kMaxFileBytes = 1 << 20;
// Millimetres of rounding a device may apply to an area and still take it back.
constexpr double kAreaSlack = 0.05;

bool Finite(const QJsonValue& value) {
    return value.isDouble() && std::isfinite(value.toDouble());
}

// One device's entry, or nothing when the entry is damaged.
std::optional<TScanSettings> FromJson(const QJsonObject& entry) {
    TScanSettings settings;
    const QJsonValue mode = entry.value(QStringLiteral("mode"));
    const QJsonValue depth = entry.value(QStringLiteral("depth"));
    const QJsonValue resolution = entry.value(QStringLiteral("resolution"));
    if (!mode.isString() || !Finite(depth) || !Finite(resolution))
        return std::nullopt;
    settings.mode = mode.toString().toStdString();
    settings.source = entry.value(QStringLiteral("source")).toString().toStdString();
    settings.depth = std::clamp(depth.toInt(), 0, 64);
    settings.resolution = std::clamp(resolution.toInt(), 0, 1 << 20);
    for (const QJsonValue pair : entry.value(QStringLiteral("options")).toArray()) {
        const QJsonArray option = pair.toArray();
        if (option.size() == 2 && option[0].isString() && option[1].isString())
            settings.options.emplace_back(option[0].toString().toStdString(),
                                          option[1].toString().toStdString());
    }
    const QJsonValue area = entry.value(QStringLiteral("area"));
    if (area.isObject()) {
        const QJsonObject a = area.toObject();
        const QJsonValue left = a.value(QStringLiteral("left")), top = a.value(QStringLiteral("top")),
                         width = a.value(QStringLiteral("width")), height = a.value(QStringLiteral("height"));
        if (!Finite(left) || !Finite(top) || !Finite(width) || !Finite(height))
            return std::nullopt;
        settings.hasArea = true;
        settings.left = left.toDouble();
        settings.top = top.toDouble();
        settings.width = width.toDouble();
        settings.height = height.toDouble();
    }
    return settings;
}

QJsonObject ToJson(const TScanSettings& settings) {
    QJsonObject entry;
    entry.insert(QStringLiteral("mode"), QString::fromStdString(settings.mode));
    if (!settings.source.empty())
        entry.insert(QStringLiteral("source"), QString::fromStdString(settings.source));
    entry.insert(QStringLiteral("depth"), settings.depth);
    entry.insert(QStringLiteral("resolution"), settings.resolution);
    if (!settings.options.empty()) {
        QJsonArray options;
        for (const auto& [name, value] : settings.options)
            options.append(QJsonArray{QString::fromStdString(name), QString::fromStdString(value)});
        entry.insert(QStringLiteral("options"), options);
    }
    if (settings.hasArea) {
        QJsonObject area;
        area.insert(QStringLiteral("left"), settings.left);
        area.insert(QStringLiteral("top"), settings.top);
        area.insert(QStringLiteral("width"), settings.width);
        area.insert(QStringLiteral("height"), settings.height);
        entry.insert(QStringLiteral("area"), area);
    }
    return entry;
}

// The whole document of a file; empty when there is no readable file.
QJsonObject ReadDocument(const QString& path) {
    QFile file(path);
    if (path.isEmpty() || file.size() > kMaxFileBytes || !file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.read(kMaxFileBytes)).object();
}

} // namespace

TScanMemory::TScanMemory(QString file) : file_(std::move(file)) {}

QString TScanMemory::DefaultFile() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (folder.isEmpty())
        return {};
    return QDir(folder).filePath(QStringLiteral("zrk201/scanners.json"));
}

void TScanMemory::Load() {
    if (loaded_)
        return;
    loaded_ = true;
    const QJsonObject document = ReadDocument(file_);
    last_ = document.value(QStringLiteral("last")).toString().toStdString();
    const QJsonObject stored = document.value(QStringLiteral("devices")).toObject();
    for (auto it = stored.begin(); it != stored.end(); ++it)
        if (std::optional<TScanSettings> settings = FromJson(it.value().toObject()))
            devices_.emplace(it.key().toStdString(), *settings);
}

std::optional<TScanSettings> TScanMemory::Recall(const std::string& device) {
    Load();
    const auto found = devices_.find(device);
    if (found == devices_.end())
        return std::nullopt;
    return found->second;
}

bool TScanMemory::Remember(const std::string& device, const TScanSettings& settings) {
    Load();
    TScanSettings kept;
    kept.source = settings.source;
    kept.options = settings.options;
    kept.mode = settings.mode;
    kept.depth = settings.depth;
    kept.resolution = settings.resolution;
    kept.hasArea = settings.hasArea;
    if (kept.hasArea) {
        kept.left = settings.left;
        kept.top = settings.top;
        kept.width = settings.width;
        kept.height = settings.height;
    }
    devices_[device] = kept;

    return Store([&](QJsonObject& document) {
        QJsonObject devices = document.value(QStringLiteral("devices")).toObject();
        devices.insert(QString::fromStdString(device), ToJson(kept));
        document.insert(QStringLiteral("devices"), devices);
    });
}

std::string TScanMemory::LastDevice() {
    Load();
    return last_;
}

bool TScanMemory::RememberLastDevice(const std::string& device) {
    Load();
    if (device == last_)
        return true;
    last_ = device;
    return Store([&](QJsonObject& document) {
        document.insert(QStringLiteral("last"), QString::fromStdString(device));
    });
}

bool TScanMemory::Store(const std::function<void(QJsonObject&)>& change) {
    if (file_.isEmpty())
        return false;
    // What other runs wrote meanwhile stays; only what changed here is written over.
    QJsonObject document = ReadDocument(file_);
    change(document);
    if (!QDir().mkpath(QFileInfo(file_).absolutePath()))
        return false;
    QSaveFile file(file_);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(document).toJson(QJsonDocument::Indented));
    return file.commit();
}

QImage TScanMemory::Preview(const std::string& device) const {
    const auto found = previews_.find(device);
    return found == previews_.end() ? QImage() : found->second;
}

void TScanMemory::KeepPreview(const std::string& device, const QImage& picture) {
    previews_[device] = picture;
}

TScanSettings FitToDevice(const TScanSettings& remembered, const TDeviceLimits& limits,
                          const TScanSettings& defaults) {
    TScanSettings fitted = defaults;
    fitted.options = remembered.options; // each is tried when set, and left out when refused
    if (std::any_of(limits.sources.begin(), limits.sources.end(),
                    [&](const TSourceChoice& source) { return source.saneSource == remembered.source; }))
        fitted.source = remembered.source;
    const bool modeOffered =
        std::any_of(limits.modes.begin(), limits.modes.end(), [&](const TModeChoice& mode) {
            return mode.saneMode == remembered.mode && mode.depth == remembered.depth;
        });
    if (modeOffered) {
        fitted.mode = remembered.mode;
        fitted.depth = remembered.depth;
    }
    const int dpi = remembered.resolution;
    const bool resolutionOffered =
        !limits.resolutions.empty()
            ? std::find(limits.resolutions.begin(), limits.resolutions.end(), dpi) != limits.resolutions.end()
            : limits.maxResolution > 0 && dpi >= limits.minResolution && dpi <= limits.maxResolution;
    if (resolutionOffered && dpi > 0)
        fitted.resolution = dpi;
    const bool areaFits = limits.hasArea && remembered.hasArea && remembered.width > 0 &&
                          remembered.height > 0 && remembered.left >= limits.minX - kAreaSlack &&
                          remembered.top >= limits.minY - kAreaSlack &&
                          remembered.left + remembered.width <= limits.maxX + kAreaSlack &&
                          remembered.top + remembered.height <= limits.maxY + kAreaSlack;
    if (areaFits) {
        fitted.hasArea = true;
        fitted.left = std::max(remembered.left, limits.minX);
        fitted.top = std::max(remembered.top, limits.minY);
        fitted.width = std::min(remembered.width, limits.maxX - fitted.left);
        fitted.height = std::min(remembered.height, limits.maxY - fitted.top);
    }
    return fitted;
}
