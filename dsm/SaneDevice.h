// What a SANE device offers and how this source sets it: the choices shown in the scan dialog, the
// settings of one scan, and reading and writing options by name.
#pragma once

#include <sane/sane.h>

#include "DeviceSearch.h"

#include <QString>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

// One entry of the dialog's mode list: the device's own mode and, where the device has a depth option,
// the depth that goes with it (lineart on a device without a lineart mode is grey at depth 1).
struct TModeChoice {
    QString label;
    std::string saneMode;
    int depth = 0; // 0: the device's own choice
};

struct TDeviceLimits {
    std::vector<TModeChoice> modes;
    int minResolution = 0;
    int maxResolution = 0;
    std::vector<int> resolutions; // the device's list, when it has one
    bool hasArea = false;
    double minX = 0, minY = 0, maxX = 0, maxY = 0; // millimetres
    bool feeder = false;                           // the current source is a document feeder
};

// The settings of one scan. Empty or zero values leave the device's own; `extra` holds further options
// by name, set in the order given.
struct TScanSettings {
    std::string mode;
    int depth = 0;
    int resolution = 0;
    bool hasArea = false;
    double left = 0, top = 0, width = 0, height = 0; // millimetres
    std::vector<std::pair<std::string, std::string>> extra;
};

TDeviceLimits ReadDeviceLimits(SANE_Handle handle);

// The settings the dialog starts with: the first mode of the device's list that is colour (else its
// first), 150 dpi or the nearest the device offers, and a full A4 sheet or the device's largest area.
TScanSettings DefaultSettings(const TDeviceLimits& limits);

// Sets an option from text: "yes"/"no" for switches, numbers for numeric options, the text itself for
// strings. Options the device does not have, or not at the moment, give SANE_STATUS_UNSUPPORTED.
SANE_Status SetOption(SANE_Handle handle, const std::string& name, const std::string& value);

// Applies every setting: mode, depth, the further options in their order, resolution, area. Mode, depth,
// resolution and area are left out where the device lacks them; a further option it lacks is refused.
// The first failure is returned.
SANE_Status ApplySettings(SANE_Handle handle, const TScanSettings& settings);

// The current value of a numeric option (integer or fixed), false when it is missing or inactive.
bool ReadNumber(SANE_Handle handle, const char* name, double& value);

// The current value of a string option, empty when it is missing or inactive.
std::string ReadString(SANE_Handle handle, const char* name);

// Whether the scan source named by the "source" option is a document feeder.
bool IsFeederSource(const std::string& source);

// Held while SANE lists its devices, and while a device is opened, so that the two never meet inside
// a backend.
std::timed_mutex& SaneDeviceListLock();

// The list SANE gives for sane_get_devices(), copied (SANE's own list lasts only until the next call).
std::vector<TFoundDevice> ListSaneDevices();

// The sentence the dialog shows when a scan ends with this status.
QString ScanStatusText(SANE_Status status);
