#include "SaneDevice.h"

#include "DeviceOptions.h"

#include <sane/saneopts.h>

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// The option's index and descriptor, or -1 when the device has no active option of that name.
int FindOption(SANE_Handle handle, const std::string& name, const SANE_Option_Descriptor*& descriptor) {
    for (SANE_Int i = 1;; ++i) {
        const SANE_Option_Descriptor* d = sane_get_option_descriptor(handle, i);
        if (!d)
            return -1;
        if (d->name && name == d->name && SANE_OPTION_IS_ACTIVE(d->cap)) {
            descriptor = d;
            return i;
        }
    }
}

double ToDouble(const SANE_Option_Descriptor* d, SANE_Word word) {
    return d->type == SANE_TYPE_FIXED ? SANE_UNFIX(word) : double(word);
}

// The range's upper or lower end, or the list's largest or smallest value.
bool ConstraintEnd(const SANE_Option_Descriptor* d, bool upper, double& value) {
    if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
        value = ToDouble(d, upper ? d->constraint.range->max : d->constraint.range->min);
        return true;
    }
    if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list &&
        d->constraint.word_list[0] > 0) {
        const SANE_Word* list = d->constraint.word_list;
        value = ToDouble(d, list[1]);
        for (SANE_Int i = 2; i <= list[0]; ++i)
            value = upper ? std::max(value, ToDouble(d, list[i])) : std::min(value, ToDouble(d, list[i]));
        return true;
    }
    return false;
}

std::vector<std::string> StringList(const SANE_Option_Descriptor* d) {
    std::vector<std::string> list;
    if (d->type == SANE_TYPE_STRING && d->constraint_type == SANE_CONSTRAINT_STRING_LIST &&
        d->constraint.string_list)
        for (const SANE_String_Const* s = d->constraint.string_list; *s; ++s)
            list.emplace_back(*s);
    return list;
}

std::vector<int> WordList(const SANE_Option_Descriptor* d) {
    std::vector<int> list;
    if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list)
        for (SANE_Int i = 1; i <= d->constraint.word_list[0]; ++i)
            list.push_back(int(std::lround(ToDouble(d, d->constraint.word_list[i]))));
    return list;
}

bool ContainsNoCase(const std::string& text, const char* part) {
    return QString::fromStdString(text).contains(QLatin1String(part), Qt::CaseInsensitive);
}

} // namespace

TDeviceLimits ReadDeviceLimits(SANE_Handle handle) {
    TDeviceLimits limits;
    const SANE_Option_Descriptor* d = nullptr;

    std::vector<int> depths;
    if (FindOption(handle, SANE_NAME_BIT_DEPTH, d) >= 0)
        depths = WordList(d);
    const bool depth1 = std::find(depths.begin(), depths.end(), 1) != depths.end();
    const bool depth8 = std::find(depths.begin(), depths.end(), 8) != depths.end();

    std::vector<std::string> modes;
    if (FindOption(handle, SANE_NAME_SCAN_MODE, d) >= 0)
        modes = StringList(d);
    bool lineart = false;
    for (const std::string& mode : modes) {
        if (ContainsNoCase(mode, "lineart") || ContainsNoCase(mode, "binary") || mode == "Black & White") {
            if (!ContainsNoCase(mode, "color")) {
                limits.modes.push_back({QStringLiteral("Чёрно-белый"), mode, 0});
                lineart = true;
            }
        } else if (ContainsNoCase(mode, "gray") || ContainsNoCase(mode, "grey")) {
            if (!lineart && depth1)
                limits.modes.push_back({QStringLiteral("Чёрно-белый"), mode, 1});
            limits.modes.push_back({QStringLiteral("Оттенки серого"), mode, depth8 ? 8 : 0});
        } else if (ContainsNoCase(mode, "color") || ContainsNoCase(mode, "colour")) {
            limits.modes.push_back({QStringLiteral("Цветной"), mode, depth8 ? 8 : 0});
        } else {
            limits.modes.push_back({QString::fromStdString(mode), mode, 0});
        }
    }
    // Lineart first, then grey, then colour, whatever order the device lists its modes in.
    std::stable_sort(limits.modes.begin(), limits.modes.end(),
                     [](const TModeChoice& a, const TModeChoice& b) {
                         auto rank = [](const TModeChoice& m) {
                             return m.label == QStringLiteral("Чёрно-белый")      ? 0
                                    : m.label == QStringLiteral("Оттенки серого") ? 1
                                    : m.label == QStringLiteral("Цветной")        ? 2
                                                                                  : 3;
                         };
                         return rank(a) < rank(b);
                     });

    if (FindOption(handle, SANE_NAME_SCAN_RESOLUTION, d) >= 0) {
        limits.resolutions = WordList(d);
        double low = 0, high = 0;
        if (ConstraintEnd(d, false, low) && ConstraintEnd(d, true, high)) {
            limits.minResolution = int(std::ceil(low));
            limits.maxResolution = int(std::floor(high));
        }
    }

    double maxX = 0, maxY = 0, minX = 0, minY = 0;
    const SANE_Option_Descriptor* dx = nullptr;
    const SANE_Option_Descriptor* dy = nullptr;
    if (FindOption(handle, SANE_NAME_SCAN_BR_X, dx) >= 0 &&
        FindOption(handle, SANE_NAME_SCAN_BR_Y, dy) >= 0 && dx->unit == SANE_UNIT_MM &&
        dy->unit == SANE_UNIT_MM && ConstraintEnd(dx, true, maxX) && ConstraintEnd(dy, true, maxY)) {
        if (FindOption(handle, SANE_NAME_SCAN_TL_X, d) >= 0)
            ConstraintEnd(d, false, minX);
        if (FindOption(handle, SANE_NAME_SCAN_TL_Y, d) >= 0)
            ConstraintEnd(d, false, minY);
        limits.hasArea = maxX > minX && maxY > minY;
        limits.minX = minX;
        limits.minY = minY;
        limits.maxX = maxX;
        limits.maxY = maxY;
    }
    limits.currentSource = ReadString(handle, SANE_NAME_SCAN_SOURCE);
    limits.feeder = IsFeederSource(limits.currentSource);
    if (FindOption(handle, SANE_NAME_SCAN_SOURCE, d) >= 0 && SANE_OPTION_IS_SETTABLE(d->cap))
        for (const std::string& source : StringList(d)) {
            QString label = SourceLabel(source);
            // Two sources the window would name alike keep the device's own name beside.
            for (const TSourceChoice& taken : limits.sources)
                if (taken.label == label)
                    label += QStringLiteral(" (") + QString::fromStdString(source) + QLatin1Char(')');
            limits.sources.push_back({label, source});
        }
    return limits;
}

TScanSettings DefaultSettings(const TDeviceLimits& limits) {
    TScanSettings settings;
    if (!limits.sources.empty())
        settings.source = limits.currentSource;
    if (!limits.modes.empty()) {
        auto colour = std::find_if(limits.modes.begin(), limits.modes.end(),
                                   [](const TModeChoice& m) { return m.label == QStringLiteral("Цветной"); });
        const TModeChoice& mode = colour != limits.modes.end() ? *colour : limits.modes.front();
        settings.mode = mode.saneMode;
        settings.depth = mode.depth;
    }
    constexpr int kPreferredResolution = 150;
    if (!limits.resolutions.empty()) {
        settings.resolution =
            *std::min_element(limits.resolutions.begin(), limits.resolutions.end(), [](int a, int b) {
                return std::abs(a - kPreferredResolution) < std::abs(b - kPreferredResolution);
            });
    } else if (limits.maxResolution > 0) {
        settings.resolution = std::clamp(kPreferredResolution, limits.minResolution, limits.maxResolution);
    }
    if (limits.hasArea) {
        constexpr double kA4Width = 210.0, kA4Height = 297.0;
        settings.hasArea = true;
        settings.left = limits.minX;
        settings.top = limits.minY;
        settings.width = std::min(kA4Width, limits.maxX - limits.minX);
        settings.height = std::min(kA4Height, limits.maxY - limits.minY);
    }
    return settings;
}

TScanSettings PreviewSettings(const TDeviceLimits& limits, TScanSettings settings) {
    constexpr int kPreviewResolution = 75;
    if (!limits.resolutions.empty()) {
        int best = *std::min_element(limits.resolutions.begin(), limits.resolutions.end());
        for (int value : limits.resolutions)
            if (value <= kPreviewResolution && value > best)
                best = value;
        settings.resolution = best;
    } else if (limits.maxResolution > 0) {
        settings.resolution = std::clamp(kPreviewResolution, limits.minResolution, limits.maxResolution);
    }
    if (limits.hasArea) {
        settings.hasArea = true;
        settings.left = limits.minX;
        settings.top = limits.minY;
        settings.width = limits.maxX - limits.minX;
        settings.height = limits.maxY - limits.minY;
    }
    return settings;
}

SANE_Status SetOption(SANE_Handle handle, const std::string& name, const std::string& value) {
    SANE_Int info = 0;
    return SetCheckedOption(handle, name, value, info);
}

SANE_Status ApplySettings(SANE_Handle handle, const TScanSettings& settings) {
    // The mode first (it decides which depths exist), then the further options (they may switch
    // options such as the scan area on or off), then resolution and area. Of these, the ones the
    // device does not have at the moment are left out.
    auto set = [&](const char* name, const std::string& value) {
        const SANE_Status status = SetOption(handle, name, value);
        return status == SANE_STATUS_UNSUPPORTED ? SANE_STATUS_GOOD : status;
    };
    SANE_Status status = SANE_STATUS_GOOD;
    // The source first: a feeder may offer other modes or another area than the glass. A device keeps
    // its sheets only while its source is left as it is, so the same source is not set again.
    if (!settings.source.empty() && ReadString(handle, SANE_NAME_SCAN_SOURCE) != settings.source)
        status = set(SANE_NAME_SCAN_SOURCE, settings.source);
    if (status == SANE_STATUS_GOOD && !settings.mode.empty())
        status = set(SANE_NAME_SCAN_MODE, settings.mode);
    if (status == SANE_STATUS_GOOD && settings.depth > 0)
        status = set(SANE_NAME_BIT_DEPTH, std::to_string(settings.depth));
    for (const auto& [name, value] : settings.options)
        if (status == SANE_STATUS_GOOD)
            SetOption(handle, name, value);
    for (const auto& [name, value] : settings.extra)
        if (status == SANE_STATUS_GOOD)
            status =
                SetOption(handle, name, value) == SANE_STATUS_GOOD ? SANE_STATUS_GOOD : SANE_STATUS_INVAL;
    if (status == SANE_STATUS_GOOD && settings.resolution > 0)
        status = set(SANE_NAME_SCAN_RESOLUTION, std::to_string(settings.resolution));
    if (status == SANE_STATUS_GOOD && settings.hasArea) {
        // The near corner first, then the far corner.
        auto text = [](double mm) { return QByteArray::number(mm, 'f', 3).toStdString(); };
        const std::pair<const char*, double> corners[] = {
            {SANE_NAME_SCAN_TL_X, settings.left},
            {SANE_NAME_SCAN_TL_Y, settings.top},
            {SANE_NAME_SCAN_BR_X, settings.left + settings.width},
            {SANE_NAME_SCAN_BR_Y, settings.top + settings.height}};
        for (const auto& [name, value] : corners)
            if (status == SANE_STATUS_GOOD)
                status = set(name, text(value));
    }
    return status;
}

bool ReadNumber(SANE_Handle handle, const char* name, double& value) {
    const SANE_Option_Descriptor* d = nullptr;
    const int index = FindOption(handle, name, d);
    if (index < 0 || (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED) ||
        d->size < SANE_Int(sizeof(SANE_Word)))
        return false;
    std::vector<SANE_Word> words(std::size_t(d->size) / sizeof(SANE_Word));
    if (sane_control_option(handle, index, SANE_ACTION_GET_VALUE, words.data(), nullptr) != SANE_STATUS_GOOD)
        return false;
    value = ToDouble(d, words[0]);
    return true;
}

std::string ReadString(SANE_Handle handle, const char* name) {
    const SANE_Option_Descriptor* d = nullptr;
    const int index = FindOption(handle, name, d);
    if (index < 0 || d->type != SANE_TYPE_STRING || d->size <= 0)
        return {};
    std::vector<char> text(std::size_t(d->size) + 1, '\0');
    if (sane_control_option(handle, index, SANE_ACTION_GET_VALUE, text.data(), nullptr) != SANE_STATUS_GOOD)
        return {};
    return std::string(text.data());
}

bool IsFeederSource(const std::string& source) {
    return ContainsNoCase(source, "feeder") || ContainsNoCase(source, "adf") ||
           ContainsNoCase(source, "duplex") || ContainsNoCase(source, "automatic");
}

QString SourceLabel(const std::string& source) {
    if (ContainsNoCase(source, "flatbed") || ContainsNoCase(source, "glass") ||
        ContainsNoCase(source, "platen"))
        return QStringLiteral("Планшет");
    if (IsFeederSource(source))
        return ContainsNoCase(source, "duplex") ? QStringLiteral("Автоподатчик, обе стороны")
                                                : QStringLiteral("Автоподатчик");
    return QString::fromStdString(source);
}

std::timed_mutex& SaneDeviceListLock() {
    static auto* lock = new std::timed_mutex; // never destroyed: an abandoned search may still hold it
    return *lock;
}

std::vector<TFoundDevice> ListSaneDevices() {
    std::vector<TFoundDevice> found;
    const std::lock_guard<std::timed_mutex> hold(SaneDeviceListLock());
    const SANE_Device** list = nullptr;
    if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || !list)
        return found;
    for (const SANE_Device** d = list; *d; ++d) {
        const SANE_Device& device = **d;
        if (!device.name || !*device.name)
            continue;
        found.push_back({device.name, device.vendor ? device.vendor : "", device.model ? device.model : "",
                         device.type ? device.type : ""});
    }
    return found;
}

QString ScanStatusText(SANE_Status status) {
    switch (status) {
    case SANE_STATUS_GOOD:
        return {};
    case SANE_STATUS_CANCELLED:
        return QStringLiteral("Сканирование прервано.");
    case SANE_STATUS_DEVICE_BUSY:
        return QStringLiteral("Сканер занят. Подождите, пока он освободится, и повторите сканирование.");
    case SANE_STATUS_JAMMED:
        return QStringLiteral(
            "В сканере застряла бумага. Извлеките застрявший лист и повторите сканирование.");
    case SANE_STATUS_NO_DOCS:
        return QStringLiteral("В автоподатчике нет листов. Положите листы в лоток и повторите сканирование.");
    case SANE_STATUS_COVER_OPEN:
        return QStringLiteral("Крышка сканера открыта. Закройте её и повторите сканирование.");
    case SANE_STATUS_IO_ERROR:
        return QStringLiteral(
            "Ошибка связи со сканером. Проверьте кабель и питание сканера и повторите сканирование.");
    case SANE_STATUS_NO_MEM:
        return QStringLiteral("Не хватает памяти. Уменьшите разрешение или область сканирования.");
    case SANE_STATUS_ACCESS_DENIED:
        return QStringLiteral("Нет доступа к сканеру. Проверьте права доступа к устройству.");
    case SANE_STATUS_INVAL:
        return QStringLiteral(
            "Сканер не принял выбранные настройки. Измените режим, разрешение или область.");
    case SANE_STATUS_UNSUPPORTED:
        return QStringLiteral("Сканер не поддерживает эту операцию.");
    case SANE_STATUS_EOF:
        return QStringLiteral("Сканер не передал изображение. Повторите сканирование.");
    }
    return QStringLiteral("Сканирование не удалось. Повторите сканирование.");
}
