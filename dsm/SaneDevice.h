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

// One entry of the dialog's source list: how the window names it and the device's own value.
struct TSourceChoice {
    QString label;
    std::string saneSource;
};

struct TDeviceLimits {
    std::vector<TModeChoice> modes;
    int minResolution = 0;
    int maxResolution = 0;
    std::vector<int> resolutions; // the device's list, when it has one
    bool hasArea = false;
    double minX = 0, minY = 0, maxX = 0, maxY = 0; // millimetres
    bool feeder = false;                           // the current source is a document feeder
    std::vector<TSourceChoice> sources;            // the device's "source" list, when it has one
    std::string currentSource;                     // the source the device is set to
};

// The settings of one scan. Empty or zero values leave the device's own; `extra` holds further options
// by name, set in the order given.
struct TScanSettings {
    std::string source;
    std::string mode;
    int depth = 0;
    int resolution = 0;
    bool hasArea = false;
    double left = 0, top = 0, width = 0, height = 0; // millimetres
    std::vector<std::pair<std::string, std::string>> extra;
    // The device's further options as chosen in "Дополнительно", in the order they were set; one the
    // device does not take (any more) is left out.
    std::vector<std::pair<std::string, std::string>> options;
};

TDeviceLimits ReadDeviceLimits(SANE_Handle handle);

// The settings the dialog starts with: the first mode of the device's list that is colour (else its
// first), 150 dpi or the nearest the device offers, and a full A4 sheet or the device's largest area.
TScanSettings DefaultSettings(const TDeviceLimits& limits);

// The settings of a preview: the whole bed at the resolution nearest below 75 dpi that the device
// offers (its lowest when it offers none that low), otherwise as given.
TScanSettings PreviewSettings(const TDeviceLimits& limits, TScanSettings settings);

// Sets an option from text: "yes"/"no" for switches, numbers for numeric options, the text itself for
// strings. Options the device does not have, or not at the moment, give SANE_STATUS_UNSUPPORTED.
SANE_Status SetOption(SANE_Handle handle, const std::string& name, const std::string& value);

// Applies every setting: source, mode, depth, the further options in their order, resolution, area. Mode,
// depth, resolution and area are left out where the device lacks them; a further option it lacks is refused.
// The first failure is returned.
SANE_Status ApplySettings(SANE_Handle handle, const TScanSettings& settings);

// The current value of a numeric option (integer or fixed), false when it is missing or inactive.
bool ReadNumber(SANE_Handle handle, const char* name, double& value);

// The current value of a string option, empty when it is missing or inactive.
std::string ReadString(SANE_Handle handle, const char* name);

// Whether the scan source named by the "source" option is a document feeder.
bool IsFeederSource(const std::string& source);

// How the window names a scan source: "Планшет", "Автоподатчик", "Автоподатчик, обе стороны", or the
// device's own name for anything else.
QString SourceLabel(const std::string& source);

// Held while SANE lists its devices, and while a device is opened, so that the two never meet inside
// a backend.
std::timed_mutex& SaneDeviceListLock();

// The list SANE gives for sane_get_devices(), copied (SANE's own list lasts only until the next call).
std::vector<TFoundDevice> ListSaneDevices();

// The sentence the dialog shows when a scan ends with this status.
QString ScanStatusText(SANE_Status status);
