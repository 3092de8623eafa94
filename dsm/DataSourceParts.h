// What the parts of the data source share: reading and writing the records an application hands
// over, and the default target of file transfers.
#pragma once

#include "Twain.h"

#include <cstring>
#include <string>

template <typename T> bool Read(TW_MEMREF data, T& record) {
    if (!data)
        return false;
    std::memcpy(&record, data, sizeof record);
    return true;
}

template <typename T> void Write(TW_MEMREF data, const T& record) {
    std::memcpy(data, &record, sizeof record);
}

// The default target of file transfers: "TWAIN.BMP" in a folder of this process's own, made with no
// access for anyone else in the temporary folder when first needed and removed when the process ends.
// Nobody else can place a file or a link there. Empty when no such folder can be made.
std::string DefaultTransferFile();
