// The scanners as a person knows them: one entry per device, however many of SANE's backends reach it.
// A network device is met through SANE's eSCL backends, a vendor's backend, or SANE's net backend from
// a scanner server; the same machine's devices come back through a net backend talking to the local
// server. Entries of one maker and model from different backends are one device unless their network
// addresses differ; two of one backend are always two devices.
#pragma once

#include "DeviceSearch.h"

#include <string>
#include <vector>

struct TScanner {
    std::string vendor;
    std::string model;
    std::string type;
    // The device's network address, empty for one on this machine or one whose address no backend says.
    std::string address;
    // SANE's names that reach the device, the one to open first at the front: a backend of this
    // machine before a scanner server, and otherwise in the order SANE listed them.
    std::vector<std::string> names;
    // How the device is told apart from others of its maker and model: its address, or SANE's name
    // where nothing else tells them apart; empty when it is the only one.
    std::string distinction;

    // What remembers the device across runs: maker, model and what tells it from others alike, never
    // the backend's name of a network device, which may change between runs.
    std::string Key() const;
};

std::vector<TScanner> MergeDevices(const std::vector<TFoundDevice>& found);

// The network address in SANE's name of a device, when the name holds one: the host of SANE's net
// backend, of an eSCL address, or an IPv4 address anywhere in it.
std::string NetworkAddress(const std::string& saneName);
