// What the scanner's window remembers of each device: the mode, resolution and scan area of the last
// scan, for the rest of the run and in the source manager's settings file for later runs. The file is
// a small JSON document under the user's configuration folder; one that cannot be read is ignored and
// one that cannot be written only costs the next run its memory.
#pragma once

#include "SaneDevice.h"

#include <QImage>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <string>

class TScanMemory {
public:
    // Remembers in the given file; empty: in memory only.
    explicit TScanMemory(QString file);

    // "$XDG_CONFIG_HOME/zrk201/scanners.json" (the configuration folder defaults to ~/.config).
    static QString DefaultFile();

    // The settings last remembered for the device, from this run or from the file.
    std::optional<TScanSettings> Recall(const std::string& device);
    // Remembers the mode, depth, resolution and area of these settings for the device and writes the
    // file. False when the file could not be written (the run still remembers them).
    bool Remember(const std::string& device, const TScanSettings& settings);

    QString File() const { return file_; }

    // The device last opened, in this run or an earlier one; empty when none was.
    std::string LastDevice();
    bool RememberLastDevice(const std::string& device);

    // The last preview of the device's bed, kept for the run only (a null image: none).
    QImage Preview(const std::string& device) const;
    void KeepPreview(const std::string& device, const QImage& picture);

private:
    void Load();
    bool Store(const std::function<void(QJsonObject&)>& change);

    QString file_;
    bool loaded_ = false;
    std::map<std::string, TScanSettings> devices_;
    std::map<std::string, QImage> previews_;
    std::string last_;
};

// The remembered settings as the device can take them now: the mode when the device still offers it,
// the resolution when it lies in the device's range or list, and the area when it lies on the glass.
// Whatever does not fit is taken from `defaults`, so a device that changed never gets settings it refuses.
TScanSettings FitToDevice(const TScanSettings& remembered, const TDeviceLimits& limits,
                          const TScanSettings& defaults);
