// Every option a SANE device describes, read as plain values for the window to show, and an option set
// from text after the value was brought within the option's constraint. Reading and setting talk to the
// device, so both run on a source's worker, never on the user-interface thread.
#pragma once

#include <sane/sane.h>

#include <QString>

#include <string>
#include <vector>

struct TDeviceOption {
    std::string name;
    QString title;
    QString description;
    QString group; // the title of the SANE group the option belongs to
    SANE_Value_Type type = SANE_TYPE_INT;
    SANE_Unit unit = SANE_UNIT_NONE;
    int count = 1;      // elements of a numeric option (more than one: an array)
    bool active = true; // the device uses it at the moment
    bool settable = true;
    bool readable = true;
    SANE_Constraint_Type constraint = SANE_CONSTRAINT_NONE;
    double min = 0, max = 0, quant = 0; // a range
    std::vector<double> words;          // a word list
    std::vector<std::string> strings;   // a string list
    // The value as text: "yes"/"no" for switches, numbers separated by commas, the string itself.
    std::string value;
};

// The options the window shows besides its own fields (source, mode, depth, resolution and the area),
// in the device's order, each with the group it lies in.
std::vector<TDeviceOption> ReadDeviceOptions(SANE_Handle handle);

// The text brought within the option's constraint: a number into its range and onto its steps, or onto
// the nearest value of its list; a string not in its list, too long, or text that is no number is
// refused (false).
bool FitToConstraint(const TDeviceOption& option, std::string& value);

// Sets the option named `name` from text checked against its constraint. `info` receives what SANE
// said of the setting (SANE_INFO_INEXACT, SANE_INFO_RELOAD_OPTIONS). An option the device does not have,
// or not at the moment, gives SANE_STATUS_UNSUPPORTED; a value the constraint refuses SANE_STATUS_INVAL.
SANE_Status SetCheckedOption(SANE_Handle handle, const std::string& name, const std::string& value,
                             SANE_Int& info);

// What the window shows for a unit, after the value ("мм", "точек на дюйм", ...); empty for none.
QString UnitText(SANE_Unit unit);
