#include "DeviceOptions.h"

#include <sane/saneopts.h>

#include <QByteArray>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// The window's own fields; everything else is the device's further options.
bool ShownByTheWindow(const char* name) {
    static const char* const own[] = {SANE_NAME_SCAN_SOURCE,     SANE_NAME_SCAN_MODE, SANE_NAME_BIT_DEPTH,
                                      SANE_NAME_SCAN_RESOLUTION, SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y,
                                      SANE_NAME_SCAN_BR_X,       SANE_NAME_SCAN_BR_Y};
    return std::any_of(std::begin(own), std::end(own),
                       [&](const char* n) { return std::strcmp(n, name) == 0; });
}

double ToNumber(SANE_Value_Type type, SANE_Word word) {
    return type == SANE_TYPE_FIXED ? SANE_UNFIX(word) : double(word);
}

SANE_Word ToWord(SANE_Value_Type type, double value) {
    if (type == SANE_TYPE_FIXED)
        return SANE_FIX(std::clamp(value, -32768.0, 32767.99998));
    return SANE_Word(std::clamp(std::round(value), double(std::numeric_limits<SANE_Word>::min()),
                                double(std::numeric_limits<SANE_Word>::max())));
}

std::string NumberText(double value) {
    return QByteArray::number(value, 'g', 10).toStdString();
}

// The numbers of a text: one or more, separated by commas; false when one is no number.
bool ParseNumbers(const std::string& text, std::vector<double>& numbers) {
    numbers.clear();
    for (const QString& part : QString::fromStdString(text).split(QLatin1Char(','))) {
        bool ok = false;
        const double number = part.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(number))
            return false;
        numbers.push_back(number);
    }
    return !numbers.empty();
}

TDeviceOption Describe(const SANE_Option_Descriptor& d) {
    TDeviceOption option;
    option.name = d.name ? d.name : "";
    option.title = QString::fromUtf8(d.title && *d.title ? d.title : option.name.c_str());
    option.description = QString::fromUtf8(d.desc ? d.desc : "");
    option.type = d.type;
    option.unit = d.unit;
    option.active = SANE_OPTION_IS_ACTIVE(d.cap);
    option.settable = SANE_OPTION_IS_SETTABLE(d.cap);
    option.readable = (d.cap & SANE_CAP_SOFT_DETECT) != 0;
    if (d.type == SANE_TYPE_INT || d.type == SANE_TYPE_FIXED)
        option.count = std::max<int>(1, d.size / SANE_Int(sizeof(SANE_Word)));
    option.constraint = d.constraint_type;
    if (d.constraint_type == SANE_CONSTRAINT_RANGE && d.constraint.range) {
        option.min = ToNumber(d.type, d.constraint.range->min);
        option.max = ToNumber(d.type, d.constraint.range->max);
        option.quant = ToNumber(d.type, d.constraint.range->quant);
    } else if (d.constraint_type == SANE_CONSTRAINT_WORD_LIST && d.constraint.word_list) {
        for (SANE_Int i = 1; i <= d.constraint.word_list[0]; ++i)
            option.words.push_back(ToNumber(d.type, d.constraint.word_list[i]));
    } else if (d.constraint_type == SANE_CONSTRAINT_STRING_LIST && d.constraint.string_list) {
        for (const SANE_String_Const* s = d.constraint.string_list; *s; ++s)
            option.strings.emplace_back(*s);
    } else {
        option.constraint = SANE_CONSTRAINT_NONE;
    }
    return option;
}

std::string ReadValue(SANE_Handle handle, SANE_Int index, const SANE_Option_Descriptor& d) {
    if (d.type == SANE_TYPE_BUTTON || d.type == SANE_TYPE_GROUP || d.size <= 0 ||
        !SANE_OPTION_IS_ACTIVE(d.cap) || !(d.cap & SANE_CAP_SOFT_DETECT))
        return {};
    // Room for what the device says its value takes, and a little more for a device that writes past it.
    std::vector<SANE_Word> buffer(std::size_t(d.size) / sizeof(SANE_Word) + 2, 0);
    if (sane_control_option(handle, index, SANE_ACTION_GET_VALUE, buffer.data(), nullptr) != SANE_STATUS_GOOD)
        return {};
    if (d.type == SANE_TYPE_STRING) {
        const char* text = reinterpret_cast<const char*>(buffer.data());
        return std::string(text, strnlen(text, std::size_t(d.size)));
    }
    if (d.type == SANE_TYPE_BOOL)
        return buffer[0] ? "yes" : "no";
    std::string text;
    for (std::size_t i = 0; i < std::size_t(d.size) / sizeof(SANE_Word); ++i)
        text += (i ? "," : "") + NumberText(ToNumber(d.type, buffer[i]));
    return text;
}

double FitNumber(const TDeviceOption& option, double value) {
    if (option.constraint == SANE_CONSTRAINT_RANGE) {
        value = std::clamp(value, option.min, option.max);
        if (option.quant > 0) {
            value = option.min + std::round((value - option.min) / option.quant) * option.quant;
            if (value > option.max)
                value -= option.quant;
        }
    } else if (option.constraint == SANE_CONSTRAINT_WORD_LIST && !option.words.empty()) {
        value = *std::min_element(option.words.begin(), option.words.end(), [&](double a, double b) {
            return std::abs(a - value) < std::abs(b - value);
        });
    }
    return value;
}

} // namespace

std::vector<TDeviceOption> ReadDeviceOptions(SANE_Handle handle) {
    std::vector<TDeviceOption> options;
    QString group;
    for (SANE_Int i = 1;; ++i) {
        const SANE_Option_Descriptor* d = sane_get_option_descriptor(handle, i);
        if (!d)
            break;
        if (d->type == SANE_TYPE_GROUP) {
            group = QString::fromUtf8(d->title ? d->title : "");
            continue;
        }
        if (!d->name || !*d->name || ShownByTheWindow(d->name))
            continue;
        TDeviceOption option = Describe(*d);
        option.group = group;
        option.value = ReadValue(handle, i, *d);
        options.push_back(std::move(option));
    }
    return options;
}

bool FitToConstraint(const TDeviceOption& option, std::string& value) {
    switch (option.type) {
    case SANE_TYPE_BOOL:
        value = value == "yes" || value == "true" || value == "1" || value == "on" ? "yes" : "no";
        return true;
    case SANE_TYPE_INT:
    case SANE_TYPE_FIXED: {
        std::vector<double> numbers;
        if (!ParseNumbers(value, numbers))
            return false;
        // One number sets every element of an array.
        if (numbers.size() == 1)
            numbers.assign(std::size_t(option.count), numbers.front());
        if (numbers.size() != std::size_t(option.count))
            return false;
        value.clear();
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            double number = FitNumber(option, numbers[i]);
            if (option.type == SANE_TYPE_INT)
                number = std::round(number);
            value += (i ? "," : "") + NumberText(number);
        }
        return true;
    }
    case SANE_TYPE_STRING:
        return option.constraint != SANE_CONSTRAINT_STRING_LIST ||
               std::find(option.strings.begin(), option.strings.end(), value) != option.strings.end();
    case SANE_TYPE_BUTTON:
        return true;
    default:
        return false;
    }
}

SANE_Status SetCheckedOption(SANE_Handle handle, const std::string& name, const std::string& value,
                             SANE_Int& info) {
    info = 0;
    SANE_Int index = 1;
    const SANE_Option_Descriptor* d = nullptr;
    for (;; ++index) {
        d = sane_get_option_descriptor(handle, index);
        if (!d)
            return SANE_STATUS_UNSUPPORTED;
        if (d->name && name == d->name && SANE_OPTION_IS_ACTIVE(d->cap))
            break;
    }
    if (!SANE_OPTION_IS_SETTABLE(d->cap))
        return SANE_STATUS_UNSUPPORTED;
    const TDeviceOption option = Describe(*d);
    std::string fitted = value;
    if (!FitToConstraint(option, fitted))
        return SANE_STATUS_INVAL;
    switch (d->type) {
    case SANE_TYPE_BOOL: {
        SANE_Bool word = fitted == "yes" ? SANE_TRUE : SANE_FALSE;
        return sane_control_option(handle, index, SANE_ACTION_SET_VALUE, &word, &info);
    }
    case SANE_TYPE_INT:
    case SANE_TYPE_FIXED: {
        std::vector<double> numbers;
        ParseNumbers(fitted, numbers);
        std::vector<SANE_Word> words(numbers.size());
        std::transform(numbers.begin(), numbers.end(), words.begin(),
                       [&](double number) { return ToWord(d->type, number); });
        return sane_control_option(handle, index, SANE_ACTION_SET_VALUE, words.data(), &info);
    }
    case SANE_TYPE_STRING: {
        if (d->size <= 0 || fitted.size() >= std::size_t(d->size))
            return SANE_STATUS_INVAL;
        std::vector<char> text(std::size_t(d->size), '\0');
        std::memcpy(text.data(), fitted.data(), fitted.size());
        return sane_control_option(handle, index, SANE_ACTION_SET_VALUE, text.data(), &info);
    }
    case SANE_TYPE_BUTTON:
        return sane_control_option(handle, index, SANE_ACTION_SET_VALUE, nullptr, &info);
    default:
        return SANE_STATUS_INVAL;
    }
}

QString UnitText(SANE_Unit unit) {
    switch (unit) {
    case SANE_UNIT_PIXEL:
        return QStringLiteral("точек");
    case SANE_UNIT_BIT:
        return QStringLiteral("бит");
    case SANE_UNIT_MM:
        return QStringLiteral("мм");
    case SANE_UNIT_DPI:
        return QStringLiteral("точек на дюйм");
    case SANE_UNIT_PERCENT:
        return QStringLiteral("%");
    case SANE_UNIT_MICROSECOND:
        return QStringLiteral("мкс");
    default:
        return {};
    }
}
